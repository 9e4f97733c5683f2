// Segments through the window: the cut settings' export choices, clip rows of the join list,
// the records their launches fill, and the files a user gets from them.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QRadioButton>
#include <sstream>

#include "controls/check_list.h"
#include "controls/label.h"
#include "core/ini_file.h"
#include "core/language_table.h"
#include "tests/ui/window_harness.h"
#include "ui/control_ids.h"
#include "ui/join_clips.h"
#include "ui/progress_dialog.h"

using namespace ulvane;
using namespace ulvane::test;

namespace {

// Moving pictures (a key frame each second) and a tone, for `seconds`.
QString PicturesAndTone(const char* name, int seconds) {
    return QString::fromStdString(Fixture(name, {"-f",       "lavfi",
                                                 "-i",       "testsrc2=size=320x240:rate=25",
                                                 "-f",       "lavfi",
                                                 "-i",       "sine=frequency=440:sample_rate=44100",
                                                 "-t",       std::to_string(seconds),
                                                 "-c:v",     "libx264",
                                                 "-preset",  "veryfast",
                                                 "-g",       "25",
                                                 "-pix_fmt", "yuv420p",
                                                 "-c:a",     "aac",
                                                 "-shortest"}));
}

QString TenSeconds() {
    return PicturesAndTone("export_ten.mp4", 10);
}

constexpr int64_t kSecond = 1000000;

Segment Seconds(double from, double to, std::string label = {}) {
    return {static_cast<int64_t>(from * kSecond), static_cast<int64_t>(to * kSecond), std::move(label)};
}

// The keys of the EXPORT section the window and its dialogs read.
constexpr const char* kExportKeys[] = {"dcfs",  "mdyg",   "hbwy", "cwhb", "mdzj", "mwzj", "dnz", "bfnz", "dcwc",
                                       "dhbwc", "wbhbwc", "dcbf", "dcsb", "dcyc", "mydc", "pd",  "pdyc"};

bool Enabled(const OutputSettingsDialog& d, int id) {
    return d.Item(id)->isEnabled();
}

}  // namespace

TEST(ExportSettings, TheChoicesOpenOnlyForSeveralSegmentsAndChaptersOnlyForAMerge) {
    Harness h;
    SettingsStore store(h.dir / "setting.ini");
    struct Case {
        int segments;
        ExportMode mode;
        bool modesOpen, chaptersOpen;
    };
    const Case cases[] = {
        {0, ExportMode::Merge, false, false},      {1, ExportMode::Merge, false, false},
        {2, ExportMode::Separate, true, false},    {2, ExportMode::Merge, true, true},
        {5, ExportMode::MergeOutside, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.segments) + " segments, mode " + std::to_string(static_cast<int>(c.mode)));
        CFileInfomation cut(store, h.window->languageTable(), h.messages, {}, "clip");
        cut.OfferExport(c.segments);
        cut.SetExportMode(c.mode);
        // Shown always, whatever the count.
        for (int id :
             {export_id::kSeparateRadio, export_id::kMergeRadio, export_id::kOutsideRadio, export_id::kChaptersCheck}) {
            EXPECT_TRUE(cut.Item(id)->isVisibleTo(&cut)) << id;
        }
        EXPECT_EQ(Enabled(cut, export_id::kSeparateRadio), c.modesOpen);
        EXPECT_EQ(Enabled(cut, export_id::kOutsideRadio), c.modesOpen);
        EXPECT_EQ(Enabled(cut, export_id::kChaptersCheck), c.chaptersOpen);
        EXPECT_EQ(cut.exportMode(), c.mode);
    }
    // The mode's radios are a choice of their own: the method's stay as they were.
    CFileInfomation cut(store, h.window->languageTable(), h.messages, {}, "clip");
    cut.OfferExport(3);
    cut.SetDirect(false);
    cut.ItemAs<QRadioButton>(export_id::kMergeRadio)->click();
    EXPECT_TRUE(cut.ItemAs<QRadioButton>(settings_id::kIndirectRadio)->isChecked());
    EXPECT_EQ(cut.exportMode(), ExportMode::Merge);
    // The join dialog has only the chapters box, open with any number of files.
    CSettings join(store, h.window->languageTable(), h.messages, {});
    EXPECT_EQ(join.Item(export_id::kSeparateRadio), nullptr);
    EXPECT_TRUE(Enabled(join, export_id::kChaptersCheck));
}

TEST(ExportSettings, TheChoicesAreKeptInTheSettingsFileForTheNextDialog) {
    Harness h;
    SettingsStore store(h.dir / "setting.ini");
    const std::string folder = h.dir.path().string();
    const auto start = [&](OutputSettingsDialog& d) {
        d.ItemAs<QLineEdit>(settings_id::kFolderBox)->setText(QString::fromStdString(folder));
        d.Start();
        return d.result() == QDialog::Accepted;
    };
    struct Case {
        ExportMode mode;
        bool cutChapters, joinChapters;
        const char* exportText;  // as setting.ini holds them
    };
    for (const Case c : {Case{ExportMode::MergeOutside, true, false, "2"}, Case{ExportMode::Separate, false, true, "0"},
                         Case{ExportMode::Merge, true, true, "1"}}) {
        SCOPED_TRACE(c.exportText);
        CFileInfomation cut(store, h.window->languageTable(), h.messages, {}, "clip");
        cut.OfferExport(3);
        cut.SetExportMode(c.mode);
        cut.ItemAs<QCheckBox>(export_id::kChaptersCheck)->setChecked(c.cutChapters);
        ASSERT_TRUE(start(cut));
        CSettings join(store, h.window->languageTable(), h.messages, {});
        join.ItemAs<QCheckBox>(export_id::kChaptersCheck)->setChecked(c.joinChapters);
        ASSERT_TRUE(start(join));
        EXPECT_EQ(ini::ReadString(store.path(), "CUT", "export", ""), c.exportText);
        EXPECT_EQ(ini::ReadString(store.path(), "CUT", "chapters", ""), c.cutChapters ? "1" : "0");
        EXPECT_EQ(ini::ReadString(store.path(), "JOIN", "chapters", ""), c.joinChapters ? "1" : "0");
        // The next dialogs open on them.
        CFileInfomation again(store, h.window->languageTable(), h.messages, {}, "clip");
        EXPECT_EQ(again.exportMode(), c.mode);
        EXPECT_EQ(again.ItemAs<QCheckBox>(export_id::kChaptersCheck)->isChecked(), c.cutChapters);
        CSettings joinAgain(store, h.window->languageTable(), h.messages, {});
        EXPECT_EQ(joinAgain.chapters(), c.joinChapters);
    }
    // A value no mode has opens on the first.
    ini::WriteString(store.path(), "CUT", "export", "7");
    EXPECT_EQ(CFileInfomation(store, h.window->languageTable(), h.messages, {}, "clip").exportMode(),
              ExportMode::Separate);
}

TEST(ExportSettings, EveryLanguageHasItsOwnWordsForTheExport) {
    Harness h;
    const std::string folder = (h.dir.path() / "languages").string();
    const auto read = [&](std::string_view file, const char* key) {
        return ini::ReadString(folder + "/" + std::string(file), "EXPORT", key, "");
    };
    for (const char* key : kExportKeys) {
        SCOPED_TRACE(key);
        const std::string english = read("english.ini", key);
        EXPECT_NE(english, "");
        for (std::string_view file : kLanguageFiles) {
            const std::string text = read(file, key);
            EXPECT_NE(text, "") << file;
            // Translated.
            if (file != "english.ini") {
                EXPECT_NE(text, english) << file;
            }
            // A text with places for values keeps every one of them.
            for (const char* place : {"%1", "%2", "%3"})
                EXPECT_EQ(text.find(place) == std::string::npos, english.find(place) == std::string::npos)
                    << file << " " << place;
        }
    }
    // The cut dialog shows the active language's words.
    h.window->SelectLanguage(*LanguagePosition("german.ini"));
    SettingsStore store(h.dir / "setting.ini");
    CFileInfomation cut(store, h.window->languageTable(), h.messages, {}, "clip");
    EXPECT_EQ(cut.ItemAs<QRadioButton>(export_id::kSeparateRadio)->text().toStdString(), read("german.ini", "mdyg"));
}

TEST(JoinClips, ClipRowsShowTheirTimesAndLabelAndKeepThemThroughMoves) {
    Harness h;
    const QString source = TenSeconds();
    h.Add({source});  // the cut source
    h.window->SelectTab(1);
    h.Add({Av("j1.mp4", "25")});
    h.window->AddJoinClips(source, {Seconds(1, 3, "Intro"), Seconds(5, 6.5)});
    auto* list = h.window->ItemAs<CCheckListCtrl>(main_id::kSourceList);
    ASSERT_EQ(list->rowCount(), 3);
    const auto cell = [&](int row, int column) { return list->item(row, column)->text().toStdString(); };
    EXPECT_EQ(cell(0, source_column::kLength), "00:00:02.000");  // a whole file, as before
    EXPECT_EQ(cell(1, source_column::kPath), "export_ten.mp4 \u00b7 Intro");
    EXPECT_EQ(cell(1, source_column::kLength), "00:00:01.000\u201300:00:03.000");
    EXPECT_EQ(cell(2, source_column::kPath), "export_ten.mp4");
    EXPECT_EQ(cell(2, source_column::kLength), "00:00:05.000\u201300:00:06.500");
    EXPECT_TRUE(list->IsChecked(1) && list->IsChecked(2));
    EXPECT_EQ(h.window->RowPath(2), source);
    EXPECT_TRUE(list->item(2, source_column::kPath)->toolTip().contains("00:00:01.500")) << "the clip's length";
    // The whole length column shows both times.
    EXPECT_GE(list->columnWidth(source_column::kLength),
              QFontMetrics(list->font()).horizontalAdvance(QString::fromStdString(cell(2, source_column::kLength))));
    // Moved up, a clip row keeps its clip.
    list->selectRow(2);
    h.window->MoveSelectedSource(-1);
    h.window->MoveSelectedSource(-1);
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
        h.window->AddJoinClips(source, c.clips);
        EXPECT_EQ(list->rowCount(), 0);
        ASSERT_EQ(h.messages.shown.size(), 1);
        EXPECT_TRUE(h.messages.shown[0].startsWith(c.named)) << h.messages.shown[0].toStdString();
    }
    // A file that is not the cut source is probed; one that cannot be opened is named.
    h.messages.shown.clear();
    TempDir other;
    WriteFileBytes(other / "broken.mp4", "not a video");
    h.window->AddJoinClips(QString::fromStdString(other / "broken.mp4"), {Seconds(0, 1)});
    EXPECT_EQ(list->rowCount(), 0);
    ASSERT_EQ(h.messages.shown.size(), 1);
    EXPECT_TRUE(h.messages.shown[0].contains("broken.mp4"));
    h.window->AddJoinClips(Av("j1.mp4", "25"), {Seconds(0.5, 1.5)});
    EXPECT_EQ(list->rowCount(), 1);
}

namespace {

enum class Method { kExact, kDirect, kReencode };

const char* MethodName(Method m) {
    return m == Method::kExact ? "exact" : m == Method::kDirect ? "direct" : "re-encoding";
}

// Chooses the method, the export mode and chapters, the folder and the name, then starts.
struct ExportChoice {
    Method method = Method::kExact;
    ExportMode mode = ExportMode::Separate;
    bool chapters = false;
    QString folder, name = "part";
};

std::function<void(OutputSettingsDialog&)> Choose(const ExportChoice& c) {
    return [c](OutputSettingsDialog& d) {
        if (c.method == Method::kExact) d.SetExact();
        if (c.method != Method::kExact) d.SetDirect(c.method == Method::kDirect);
        // Re-encoding: H.264 and AAC in MP4, 640*480, the rest as stored.
        d.ItemAs<QComboBox>(settings_id::kFormatList)->setCurrentIndex(1);
        d.ItemAs<QComboBox>(settings_id::kCutSizeList)->setCurrentIndex(1);
        d.SetExportMode(c.mode);
        d.ItemAs<QCheckBox>(export_id::kChaptersCheck)->setChecked(c.chapters);
        d.ItemAs<QLineEdit>(settings_id::kFolderBox)->setText(c.folder);
        d.ItemAs<QLineEdit>(settings_id::kNameBox)->setText(c.name);
        d.Start();
    };
}

struct Chapter {
    double start;
    std::string title;
};

// The chapters of a file as ffprobe reads them.
std::vector<Chapter> ChaptersOf(const std::string& path) {
    const std::string csv = Run({"ffprobe", "-v", "error", "-show_entries", "chapter=start_time:chapter_tags=title",
                                 "-of", "csv=p=0", path})
                                .out;
    std::vector<Chapter> chapters;
    std::istringstream lines(csv);
    for (std::string line; std::getline(lines, line);) {
        const size_t comma = line.find(',');
        if (comma != std::string::npos) chapters.push_back({std::stod(line.substr(0, comma)), line.substr(comma + 1)});
    }
    return chapters;
}

// Each chapter's title, and its start within a sound frame or two of `starts`.
void ExpectChapters(const std::string& path, const std::vector<Chapter>& expected) {
    const std::vector<Chapter> chapters = ChaptersOf(path);
    ASSERT_EQ(chapters.size(), expected.size());
    for (size_t k = 0; k < chapters.size(); ++k) {
        EXPECT_EQ(chapters[k].title, expected[k].title) << k;
        EXPECT_NEAR(chapters[k].start, expected[k].start, 0.05) << k;
    }
}

// Whole seconds, so that a direct cut starting on a key frame is as long as asked.
const std::vector<Segment> kThree = {Seconds(1, 3, "Intro"), Seconds(5, 6), Seconds(8, 9)};

}  // namespace

TEST(ExportLaunch, TheRecordTakesEverySegmentInTheModeChosen) {
    struct Case {
        ExportMode mode;
        std::vector<Segment> segments;
        bool separate;
        std::vector<std::pair<double, double>> inputs;  // each input's part of the source, seconds
        std::vector<std::string> outputs;               // the files' names
    };
    const Case cases[] = {
        {ExportMode::Separate, kThree, true, {{1, 3}, {5, 6}, {8, 9}}, {"part Intro.mp4", "part 2.mp4", "part 3.mp4"}},
        // In list order, not in time order.
        {ExportMode::Merge,
         {Seconds(5, 6), Seconds(1, 3, "Intro"), Seconds(8, 9)},
         false,
         {{5, 6}, {1, 3}, {8, 9}},
         {"part.mp4"}},
        {ExportMode::MergeOutside, {Seconds(5, 6), Seconds(1, 3)}, false, {{0, 1}, {3, 5}, {6, 10}}, {"part.mp4"}},
    };
    Harness h;
    h.Add({TenSeconds()});
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.mode));
        TempDir out;
        ExportChoice choice;
        choice.mode = c.mode;
        choice.method = Method::kDirect;
        choice.folder = QString::fromStdString(out.path().string());
        h.settings = Choose(choice);
        h.window->LaunchExport(c.segments);
        const ConversionJob* job = h.window->job();
        ASSERT_NE(job, nullptr);
        EXPECT_EQ(job->separateOutputs, c.separate);
        ASSERT_EQ(job->inputCount, static_cast<int>(c.inputs.size()));
        for (size_t i = 0; i < c.inputs.size(); ++i) {
            EXPECT_EQ(job->inputPaths[i], TenSeconds().toStdString());
            EXPECT_TRUE(job->segmentUsed[i]) << i;
            EXPECT_NEAR(job->segmentStart[i], c.inputs[i].first, 1e-6) << i;
            EXPECT_NEAR(job->segmentEnd[i], c.inputs[i].second, 1e-6) << i;
        }
        std::vector<std::string> names;
        for (size_t i = 0; i < (c.separate ? c.inputs.size() : 1); ++i)
            names.push_back(fs::path(job->outputPaths[i]).filename().string());
        EXPECT_EQ(names, c.outputs);
    }
}

TEST(ExportLaunch, ABadSegmentOrNothingToExportIsToldAndNothingIsMade) {
    struct Case {
        const char* what;
        ExportMode mode;
        std::vector<Segment> segments;
        const char* starts;  // the message's start, "" for the whole "nothing to export" text
    };
    const Case cases[] = {
        {"a segment past the end", ExportMode::Merge, {Seconds(1, 2), Seconds(8, 12)}, "Segment 2 cannot be used: "},
        {"a reversed segment", ExportMode::Separate, {Seconds(3, 1), Seconds(5, 6)}, "Segment 1 cannot be used: "},
        {"overlapping, outside",
         ExportMode::MergeOutside,
         {Seconds(1, 4), Seconds(3, 5)},
         "Segment 2 cannot be used: "},
        {"nothing outside", ExportMode::MergeOutside, {Seconds(0, 6), Seconds(6, 10)}, ""},
    };
    Harness h;
    h.Add({TenSeconds()});
    const QString nothing = QString::fromStdString(h.window->languageTable().ReadFromFile("EXPORT", "mydc"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir out;
        ExportChoice choice;
        choice.mode = c.mode;
        choice.folder = QString::fromStdString(out.path().string());
        h.settings = Choose(choice);
        h.messages.shown.clear();
        h.window->LaunchExport(c.segments);
        ASSERT_EQ(h.messages.shown.size(), 1);
        const QString message = h.messages.shown[0];
        if (*c.starts) {
            EXPECT_TRUE(message.startsWith(c.starts)) << message.toStdString();
            EXPECT_GT(message.size(), QString(c.starts).size()) << "the reason follows";
        } else {
            EXPECT_EQ(message, nothing);
        }
        EXPECT_TRUE(FilesIn(out.path()).empty());
    }
}

TEST(ExportLaunch, OneSegmentCutsAsBefore) {
    Harness h;
    TempDir out;
    h.Add({TenSeconds()});
    h.window->ItemAs<QLineEdit>(main_id::kStartBox)->setText("00:00:02.000");
    h.window->ItemAs<QLineEdit>(main_id::kEndBox)->setText("00:00:04.000");
    ExportChoice choice;
    choice.method = Method::kDirect;
    choice.mode = ExportMode::Merge;
    choice.folder = QString::fromStdString(out.path().string());
    bool offered = true;
    h.settings = [&](OutputSettingsDialog& d) {
        offered = d.Item(export_id::kMergeRadio)->isEnabled();
        Choose(choice)(d);
    };
    h.window->LaunchExport({Seconds(6, 7)});  // one segment: the marks in the boxes are cut
    EXPECT_FALSE(offered);
    ASSERT_NE(h.window->job(), nullptr);
    EXPECT_FALSE(h.window->job()->separateOutputs);
    EXPECT_EQ(h.window->job()->inputCount, 1);
    EXPECT_DOUBLE_EQ(h.window->job()->segmentStart[0], 2.0);
    EXPECT_EQ(FilesIn(out.path()), std::vector<std::string>{"part.mp4"});
}

// The files a user gets, by every method in every mode.
TEST(ExportFiles, EachModeGivesTheFilesOfTheSegmentsByEveryMethod) {
    struct Mode {
        ExportMode mode;
        // The files made, by name: their lengths, and where in the source their first second is.
        std::vector<std::tuple<std::string, double, double>> files;
    };
    const Mode modes[] = {
        {ExportMode::Separate, {{"part 2.mp4", 1, 5}, {"part 3.mp4", 1, 8}, {"part Intro.mp4", 2, 1}}},
        {ExportMode::Merge, {{"part.mp4", 4, 1}}},
        {ExportMode::MergeOutside, {{"part.mp4", 6, 0}}},  // 0-1, 3-5, 6-8, 9-10
    };
    Harness h;
    const QString source = TenSeconds();
    h.Add({source});
    for (const Method method : {Method::kExact, Method::kDirect, Method::kReencode})
        for (const Mode& m : modes) {
            SCOPED_TRACE(std::string(MethodName(method)) + ", mode " + std::to_string(static_cast<int>(m.mode)));
            TempDir out;
            ExportChoice choice;
            choice.method = method;
            choice.mode = m.mode;
            choice.folder = QString::fromStdString(out.path().string());
            h.settings = Choose(choice);
            h.messages.shown.clear();
            h.window->LaunchExport(kThree);
            const ConversionJob* job = h.window->job();
            ASSERT_NE(job, nullptr);
            for (int i = 0; i < job->inputCount; ++i)
                ASSERT_EQ(job->inputStatus[i].load(), kInputDone) << i << ": " << job->inputError[i];
            std::vector<std::string> names;
            for (const auto& file : m.files) names.push_back(std::get<0>(file));
            ASSERT_EQ(FilesIn(out.path()), names);
            // The message names every file made, under its own name.
            ASSERT_EQ(h.messages.shown.size(), 1);
            for (const auto& [name, length, from] : m.files) {
                SCOPED_TRACE(name);
                EXPECT_TRUE(h.messages.shown[0].contains(QString::fromStdString(out / name)));
                EXPECT_EQ(Problems(Inspect(out / name), true, true, length, 0.1, 0.1, 0.15), "");
                EXPECT_GT(PsnrAt(out / name, 0.5, source.toStdString(), from + 0.5), 30.0);
            }
        }
}

TEST(ExportFiles, AMergeFollowsTheListsOrderAndWritesAChapterPerSegment) {
    Harness h;
    TempDir out;
    const QString source = TenSeconds();
    h.Add({source});
    ExportChoice choice;
    choice.method = Method::kDirect;
    choice.mode = ExportMode::Merge;
    choice.chapters = true;
    choice.folder = QString::fromStdString(out.path().string());
    h.settings = Choose(choice);
    h.window->LaunchExport({Seconds(5, 6), Seconds(1, 3, "Intro")});
    const std::string file = out / "part.mp4";
    ASSERT_EQ(FilesIn(out.path()), std::vector<std::string>{"part.mp4"});
    EXPECT_EQ(Problems(Inspect(file), true, true, 3.0, 0.1, 0.1, 0.15), "");
    // 5-6 s of the source first, then 1-3 s.
    const std::string from = source.toStdString();
    EXPECT_GT(PsnrAt(file, 0.5, from, 5.5), 30.0);
    EXPECT_GT(PsnrAt(file, 0.5, from, 5.5), PsnrAt(file, 0.5, from, 1.5) + 5);
    EXPECT_GT(PsnrAt(file, 2.0, from, 2.0), 30.0);
    EXPECT_GT(PsnrAt(file, 2.0, from, 2.0), PsnrAt(file, 2.0, from, 6.0) + 5);
    ExpectChapters(file, {{0, "Segment 1"}, {1, "Intro"}});
}

namespace {

// 30 s of large pictures: a re-encoding of some seconds of it runs long enough to be watched.
QString LongSource() {
    return QString::fromStdString(
        Fixture("j_long.mp4", {"-f", "lavfi", "-i", "testsrc2=size=640x480:rate=25", "-t", "30", "-c:v", "libx264",
                               "-preset", "ultrafast", "-pix_fmt", "yuv420p"}));
}

// The progress dialog's file lines (without the percentage) while `launch` runs, each once.
QStringList FileLinesDuring(Harness& h, const std::function<void()>& launch) {
    QStringList lines;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QString line = qobject_cast<CLabel*>(h.window->progressDialog()->Item(progress_id::kCurrentLine))->text();
        line = line.left(line.indexOf("   "));
        if (!line.isEmpty() && !lines.contains(line)) lines << line;
    });
    poll.start(50);
    launch();
    return lines;
}

}  // namespace

TEST(ExportFiles, TheProgressLineNamesTheSegmentInWork) {
    Harness h;
    TempDir out;
    h.Add({LongSource()});
    ExportChoice choice;
    choice.method = Method::kReencode;
    choice.folder = QString::fromStdString(out.path().string());
    h.settings = Choose(choice);
    const QStringList lines = FileLinesDuring(h, [&] {
        h.window->LaunchExport({Seconds(0, 6), Seconds(10, 16, "Middle"), Seconds(20, 26)});
    });
    ASSERT_FALSE(lines.isEmpty());
    const QStringList known = {LongSource() + ", segment 1 of 3", LongSource() + ", segment 2 of 3 (Middle)",
                               LongSource() + ", segment 3 of 3"};
    for (const QString& line : lines) EXPECT_TRUE(known.contains(line)) << line.toStdString();
    EXPECT_EQ(FilesIn(out.path()).size(), 3u);
}

TEST(JoinClips, TheProgressLineNamesTheClipInWorkByItsTimes) {
    Harness h;
    TempDir out;
    h.window->SelectTab(1);
    h.window->AddJoinClips(LongSource(), {Seconds(0, 6), Seconds(10, 16)});
    h.settings = [&](OutputSettingsDialog& d) {
        d.SetDirect(false);
        d.ItemAs<QLineEdit>(settings_id::kFolderBox)->setText(QString::fromStdString(out.path().string()));
        d.Start();
    };
    const QStringList lines = FileLinesDuring(h, [&] { h.window->LaunchJoin(); });
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
    h.window->AddJoinClips(source, {Seconds(2, 4, "Middle"), Seconds(7, 8)});
    h.settings = [&](OutputSettingsDialog& d) {
        d.ItemAs<QCheckBox>(export_id::kChaptersCheck)->setChecked(true);
        d.ItemAs<QLineEdit>(settings_id::kFolderBox)->setText(QString::fromStdString(out.path().string()));
        d.ItemAs<QLineEdit>(settings_id::kNameBox)->setText("joined");
        d.Start();
    };
    h.window->LaunchJoin();
    const ConversionJob* job = h.window->job();
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

TEST(JoinClips, ADirectJoinChecksAClipAsItChecksAFile) {
    Harness h;
    TempDir out;
    h.window->SelectTab(1);
    h.Add({Av("j1.mp4", "25")});  // pictures without sound
    h.window->AddJoinClips(TenSeconds(), {Seconds(1, 3)});
    h.settings = [&](OutputSettingsDialog& d) {
        d.ItemAs<QLineEdit>(settings_id::kFolderBox)->setText(QString::fromStdString(out.path().string()));
        d.Start();
    };
    // The clip brings sound the first file lacks: named, and nothing is made.
    h.window->LaunchJoin();
    ASSERT_EQ(h.messages.asked.size(), 1);
    const QString question = h.messages.asked[0];
    EXPECT_TRUE(question.contains("export_ten.mp4") && question.contains("j1.mp4")) << question.toStdString();
    EXPECT_TRUE(question.contains(QString::fromStdString(h.window->languageTable().Text("JIEMIAN", "ypbm"))));
    EXPECT_TRUE(FilesIn(out.path()).empty());
    // Re-encoded, the two join: 2 s of the file and the clip's 2 s.
    h.messages.answer = true;
    h.window->LaunchJoin();
    ASSERT_NE(h.window->job(), nullptr);
    EXPECT_TRUE(h.window->job()->reencode);
    ASSERT_EQ(FilesIn(out.path()).size(), 1u);
    EXPECT_NEAR(Inspect(out / FilesIn(out.path())[0]).video.end, 4.0, 0.1);
}
