// Clip rows of the join list through the window: what a row shows and keeps, the checks
// before rows come in and before a join, and the file a join of clips gives.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>

#include "controls/check_list.h"
#include "tests/ui/job_choice.h"
#include "tests/ui/segment_media.h"
#include "ui/join_clips.h"
#include "ui/segment_list.h"

using namespace ulvane;
using namespace ulvane::test;

TEST(JoinClips, ClipRowsShowTheirTimesAndLabelAndKeepThemThroughMoves) {
    Harness h;
    const QString source = TenSeconds();
    h.Add({source});  // the cut source
    h.window->SelectTab(1);
    h.Add({Av("j1.mp4", "25")});
    h.window->joinTab()->AddJoinClips(source, {Seconds(1, 3, "Intro"), Seconds(5, 6.5)});
    auto* list = h.window->ItemAs<CCheckListCtrl>(main_id::kSourceList);
    ASSERT_EQ(list->rowCount(), 3);
    const auto cell = [&](int row, int column) { return list->item(row, column)->text().toStdString(); };
    EXPECT_EQ(cell(0, source_column::kLength), "00:00:02.000");  // a whole file, as before
    EXPECT_EQ(cell(1, source_column::kPath), "export_ten.mp4 \u00b7 Intro");
    EXPECT_EQ(cell(1, source_column::kLength), "00:00:01.000\u201300:00:03.000");
    EXPECT_EQ(cell(2, source_column::kPath), "export_ten.mp4");
    EXPECT_EQ(cell(2, source_column::kLength), "00:00:05.000\u201300:00:06.500");
    EXPECT_TRUE(list->IsChecked(1) && list->IsChecked(2));
    EXPECT_EQ(h.window->joinTab()->RowPath(2), source);
    EXPECT_TRUE(list->item(2, source_column::kPath)->toolTip().contains("00:00:01.500")) << "the clip's length";
    // The whole length column shows both times.
    EXPECT_GE(list->columnWidth(source_column::kLength),
              QFontMetrics(list->font()).horizontalAdvance(QString::fromStdString(cell(2, source_column::kLength))));
    // Moved up, a clip row keeps its clip.
    list->selectRow(2);
    h.window->joinTab()->MoveSelectedSource(-1);
    h.window->joinTab()->MoveSelectedSource(-1);
    ASSERT_TRUE(ClipOfRow(*list, 0).has_value());
    EXPECT_EQ(*ClipOfRow(*list, 0), Seconds(5, 6.5));
    EXPECT_FALSE(ClipOfRow(*list, 1).has_value());
    EXPECT_EQ(ClipOfRow(*list, 2)->label, "Intro");
    // A clip row describes its file as a whole row does, and the clip besides.
    const JoinFile whole = JoinFileOfRow(*list, 1), clip = JoinFileOfRow(*list, 0);
    EXPECT_FALSE(whole.clipped);
    EXPECT_TRUE(clip.clipped);
    EXPECT_EQ(clip.startMicros, 5 * kSecond);
    EXPECT_EQ(clip.endMicros, 6500000);
    EXPECT_NEAR(static_cast<double>(clip.lengthMicros), 10.0 * kSecond, 0.1 * kSecond) << "the file's length";
    EXPECT_EQ(clip.type, whole.type);
    EXPECT_EQ(clip.videoCodec, "h264");
    EXPECT_EQ(clip.audioCodec, "aac");
}

TEST(JoinClips, ClipsTheFileCannotGiveAreRefusedBeforeAnyRowComesIn) {
    struct Case {
        const char* what;
        std::vector<Segment> clips;
        const char* named;  // in the message
    };
    const Case cases[] = {
        {"an end before its start", {Seconds(1, 2), Seconds(4, 3)}, "Segment 2 cannot be used"},
        {"past the file's end", {Seconds(8, 12)}, "Segment 1 cannot be used"},
        {"empty", {Seconds(1, 2), Seconds(2, 3), Seconds(5, 5)}, "Segment 3 cannot be used"},
    };
    Harness h;
    const QString source = TenSeconds();
    h.Add({source});
    h.window->SelectTab(1);
    auto* list = h.window->ItemAs<CCheckListCtrl>(main_id::kSourceList);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        h.messages.shown.clear();
        h.window->joinTab()->AddJoinClips(source, c.clips);
        EXPECT_EQ(list->rowCount(), 0);
        ASSERT_EQ(h.messages.shown.size(), 1);
        EXPECT_TRUE(h.messages.shown[0].startsWith(c.named)) << h.messages.shown[0].toStdString();
    }
    // A file that is not the cut source is probed; one that cannot be opened is named.
    h.messages.shown.clear();
    TempDir other;
    WriteFileBytes(other / "broken.mp4", "not a video");
    h.window->joinTab()->AddJoinClips(QString::fromStdString(other / "broken.mp4"), {Seconds(0, 1)});
    EXPECT_EQ(list->rowCount(), 0);
    ASSERT_EQ(h.messages.shown.size(), 1);
    EXPECT_TRUE(h.messages.shown[0].contains("broken.mp4"));
    h.window->joinTab()->AddJoinClips(Av("j1.mp4", "25"), {Seconds(0.5, 1.5)});
    EXPECT_EQ(list->rowCount(), 1);
}

TEST(JoinClips, TheProgressLineNamesTheClipInWorkByItsTimes) {
    Harness h;
    TempDir out;
    h.window->SelectTab(1);
    h.window->joinTab()->AddJoinClips(LongSource(), {Seconds(0, 6), Seconds(10, 16)});
    h.settings = [&](OutputSettingsDialog& d) {
        d.SetDirect(false);
        d.ItemAs<QLineEdit>(settings_id::kFolderBox)->setText(QString::fromStdString(out.path().string()));
        d.Start();
    };
    const QStringList lines = FileLinesDuring(h, [&] { h.window->joinTab()->LaunchJoin(); });
    ASSERT_FALSE(lines.isEmpty());
    const QStringList known = {LongSource() + " 00:00:00.000\u201300:00:06.000",
                               LongSource() + " 00:00:10.000\u201300:00:16.000"};
    for (const QString& line : lines) EXPECT_TRUE(known.contains(line)) << line.toStdString();
}

TEST(JoinClips, AJoinOfClipRowsGivesTheClipsLengthsAndTheirChapters) {
    Harness h;
    TempDir out;
    const QString source = TenSeconds();
    const QString whole = PicturesAndTone("export_two.mp4", 2);
    h.window->SelectTab(1);
    h.Add({whole});
    h.window->joinTab()->AddJoinClips(source, {Seconds(2, 4, "Middle"), Seconds(7, 8)});
    h.settings = [&](OutputSettingsDialog& d) {
        d.ItemAs<QCheckBox>(export_id::kChaptersCheck)->setChecked(true);
        d.ItemAs<QLineEdit>(settings_id::kFolderBox)->setText(QString::fromStdString(out.path().string()));
        d.ItemAs<QLineEdit>(settings_id::kNameBox)->setText("joined");
        d.Start();
    };
    h.window->joinTab()->LaunchJoin();
    const ConversionJob* job = h.window->launcher()->job();
    ASSERT_NE(job, nullptr);
    ASSERT_EQ(job->inputCount, 3);
    EXPECT_FALSE(job->segmentUsed[0]);
    EXPECT_TRUE(job->segmentUsed[1] && job->segmentUsed[2]);
    EXPECT_DOUBLE_EQ(job->segmentStart[1], 2.0);
    EXPECT_DOUBLE_EQ(job->segmentEnd[2], 8.0);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(job->inputStatus[i].load(), kInputDone) << job->inputError[i];
    const std::string file = out / "joined.mp4";
    EXPECT_EQ(Problems(Inspect(file), true, true, 5.0, 0.1, 0.1, 0.15), "");
    // The clip at 2-4 s of its file, then the one at 7-8 s.
    const std::string from = source.toStdString();
    EXPECT_GT(PsnrAt(file, 2.5, from, 2.5), PsnrAt(file, 2.5, from, 0.5) + 5);
    EXPECT_GT(PsnrAt(file, 4.5, from, 7.5), PsnrAt(file, 4.5, from, 4.5) + 5);
    // A whole file's chapter, or a clip's without a label, is named by its file.
    ExpectChapters(file, {{0, "export_two"}, {2, "Middle"}, {4, "export_ten"}});
}

// Three takes marked 2-6, 2-6 and 0.5-3 s in a file with a key frame every 4 s. A direct join
// would start each at 0 s (15 s in all): it names where each really starts and asks first.
// Clips join exact unless the user chooses otherwise: 10.5 s, each from its marked picture.
TEST(JoinClips, ClipsJoinExactByDefaultAndADirectJoinSaysFirstWhereEachStarts) {
    Harness h;
    TempDir out;
    const std::string take = PicturesAndTone("join_takes.mp4", 10, 100).toStdString();  // key frames at 0, 4, 8 s
    h.window->SelectTab(1);
    h.window->joinTab()->AddJoinClips(QString::fromStdString(take), {Seconds(2, 6), Seconds(2, 6), Seconds(0.5, 3)});
    bool openedExact = false;
    h.settings = [&](OutputSettingsDialog& d) {
        openedExact = d.ItemAs<QRadioButton>(settings_id::kJoinExactRadio)->isChecked();
        d.ItemAs<QLineEdit>(settings_id::kFolderBox)->setText(QString::fromStdString(out.path().string()));
        d.ItemAs<QLineEdit>(settings_id::kNameBox)->setText("exact");
        d.Start();
    };
    h.window->joinTab()->LaunchJoin();
    EXPECT_TRUE(openedExact) << "the first join of clips";
    EXPECT_TRUE(h.messages.asked.empty()) << "an exact join asks nothing";
    const ConversionJob* job = h.window->launcher()->job();
    ASSERT_NE(job, nullptr);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(job->inputStatus[i].load(), kInputDone) << job->inputError[i];
    const std::string file = out / "exact.mp4";
    EXPECT_EQ(Problems(Inspect(file), true, true, 10.5, 0.1), "");
    // Each clip's first picture is the one marked, not its key frame's at 0 s.
    for (const auto& [at, from] : {std::pair{0.0, 2.0}, {4.0, 2.0}, {8.0, 0.5}}) {
        EXPECT_GT(PsnrAt(file, at + 0.02, take, from + 0.02), 35) << at;
        EXPECT_LT(PsnrAt(file, at + 0.02, take, 0.02), 30) << at;
    }
    // Chosen direct, it names where each clip really starts first; answered No, it makes nothing.
    auto* list = h.window->ItemAs<CCheckListCtrl>(main_id::kSourceList);
    for (int r = 0; r < 3; ++r) list->SetChecked(r, true);  // joined rows come back unticked
    Choice direct;
    direct.folder = QString::fromStdString(out.path().string());
    h.settings = Fill(direct);
    h.window->joinTab()->LaunchJoin();
    ASSERT_EQ(h.messages.asked.size(), 1);
    const QString row = QString::fromStdString(h.window->languageTable().ReadFromFile("EXPORT", "pdcd"));
    for (const auto& [number, marked] : {std::pair{1, "00:00:02.000"}, {2, "00:00:02.000"}, {3, "00:00:00.500"}})
        EXPECT_TRUE(h.messages.asked[0].contains(row.arg(number).arg("join_takes.mp4", marked, "00:00:00.000")))
            << h.messages.asked[0].toStdString();
    EXPECT_EQ(FilesIn(out.path()), std::vector<std::string>{"exact.mp4"}) << "answered No: nothing is joined";
}

TEST(JoinClips, ADirectJoinChecksAClipAsItChecksAFile) {
    Harness h;
    TempDir out;
    h.window->SelectTab(1);
    h.Add({Av("j1.mp4", "25")});  // pictures without sound
    h.window->joinTab()->AddJoinClips(TenSeconds(), {Seconds(1, 3)});
    h.settings = [&](OutputSettingsDialog& d) {
        d.ItemAs<QLineEdit>(settings_id::kFolderBox)->setText(QString::fromStdString(out.path().string()));
        d.Start();
    };
    // The clip brings sound the first file lacks: named, and nothing is made.
    h.window->joinTab()->LaunchJoin();
    ASSERT_EQ(h.messages.asked.size(), 1);
    const QString question = h.messages.asked[0];
    EXPECT_TRUE(question.contains("export_ten.mp4") && question.contains("j1.mp4")) << question.toStdString();
    EXPECT_TRUE(question.contains(QString::fromStdString(h.window->languageTable().Text("JIEMIAN", "ypbm"))));
    EXPECT_TRUE(FilesIn(out.path()).empty());
    // Re-encoded, the two join: 2 s of the file and the clip's 2 s.
    h.messages.answer = true;
    h.window->joinTab()->LaunchJoin();
    ASSERT_NE(h.window->launcher()->job(), nullptr);
    EXPECT_TRUE(h.window->launcher()->job()->reencode);
    ASSERT_EQ(FilesIn(out.path()).size(), 1u);
    EXPECT_NEAR(Inspect(out / FilesIn(out.path())[0]).video.end, 4.0, 0.1);
}

TEST(JoinClips, TheSegmentListSendsItsSegmentsAsClipRows) {
    Harness h;
    h.Add({TenSeconds()});
    LoadSegments(h, "start,end,label\n00:00:01.000,00:00:03.000,Intro\n00:00:05.000,00:00:06.000,\n");
    // As the program sets it up.
    h.window->cutTab()->SetSendToJoinList([&](const QString& source, const std::vector<Segment>& segments) {
        h.window->joinTab()->AddJoinClips(source, segments);
    });
    h.window->cutTab()->segmentList()->sendAllAction()->trigger();
    auto* list = h.window->ItemAs<CCheckListCtrl>(main_id::kSourceList);
    ASSERT_EQ(list->rowCount(), 2);
    EXPECT_EQ(*ClipOfRow(*list, 0), Seconds(1, 3, "Intro"));
    EXPECT_EQ(*ClipOfRow(*list, 1), Seconds(5, 6));
    EXPECT_EQ(h.window->joinTab()->RowPath(1), TenSeconds());
}
