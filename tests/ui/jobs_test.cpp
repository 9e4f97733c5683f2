// Jobs from the window: the settings dialogs, the launches' job fields, and whole cut and
// join jobs through the real window, checked with ffprobe.
#include <gtest/gtest.h>

#include <tuple>

#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <fstream>
#include <functional>
#include <memory>

extern "C" {
#include <libavcodec/codec_id.h>
}

#include "controls/check_list.h"
#include "core/language_table.h"
#include "tests/support/content.h"
#include "tests/support/eventually.h"
#include "tests/ui/job_choice.h"
#include "tests/ui/window_harness.h"
#include "ui/control_ids.h"
#include "ui/progress_dialog.h"

using namespace ulvane;
using namespace ulvane::test;

namespace {

std::string Probe(const std::string& path, const char* what) {
    return Run({"ffprobe", "-v", "error", "-show_entries", what, "-of", "csv=p=0", path}).out;
}

}  // namespace

TEST(SettingsDialogs, OpenOnTheStoredRowsInDirectMode) {
    Harness h;
    SettingsStore store(h.dir / "setting.ini");
    store.WriteRows(Dialog::Cut, {3, 10, 6, 13, 7, 3});
    store.WriteRows(Dialog::Join, {6, 0, 1, 9, 99, 0});  // 99: outside the list
    store.WriteOutputFolder("/some/where");
    CFileInfomation cut(store, h.window->languageTable(), h.messages, {}, "clip");
    EXPECT_EQ(cut.ItemAs<QComboBox>(settings_id::kFormatList)->currentIndex(), 3);
    EXPECT_EQ(cut.ItemAs<QComboBox>(settings_id::kCutQualityList)->currentText(), "20000 kbps");
    EXPECT_EQ(cut.ItemAs<QComboBox>(settings_id::kFrameRateList)->count(), 14);
    EXPECT_EQ(cut.ItemAs<QComboBox>(settings_id::kFrameRateList)->itemText(0), "Same as source");
    EXPECT_EQ(cut.ItemAs<QComboBox>(settings_id::kFrameRateList)->currentText(), "60.0 fps");
    EXPECT_EQ(cut.ItemAs<QComboBox>(settings_id::kCutSampleRateList)->currentText(), "48000 Hz");
    EXPECT_EQ(cut.ItemAs<QLineEdit>(settings_id::kFolderBox)->text(), "/some/where");
    EXPECT_EQ(cut.ItemAs<QLineEdit>(settings_id::kNameBox)->text(), "clip");
    // A cut opens on the exact direct cut.
    EXPECT_TRUE(cut.ItemAs<QRadioButton>(settings_id::kCutExactRadio)->isChecked());
    EXPECT_FALSE(cut.ItemAs<QRadioButton>(settings_id::kCutDirectRadio)->isChecked());
    EXPECT_FALSE(cut.ItemAs<QComboBox>(settings_id::kFormatList)->isEnabled());  // copied: lists disabled
    cut.SetDirect(false);
    EXPECT_TRUE(cut.ItemAs<QComboBox>(settings_id::kFormatList)->isEnabled());
    EXPECT_FALSE(cut.ItemAs<QRadioButton>(settings_id::kCutExactRadio)->isChecked());
    EXPECT_EQ(cut.ItemAs<QComboBox>(settings_id::kFormatList)->currentIndex(), 3);  // switching keeps the choice
    cut.ItemAs<QRadioButton>(settings_id::kCutExactRadio)->click();
    EXPECT_FALSE(cut.ItemAs<QComboBox>(settings_id::kFormatList)->isEnabled());
    cut.ItemAs<QLineEdit>(settings_id::kFolderBox)->setText(QString::fromStdString(h.dir.path().string()));
    cut.Start();
    EXPECT_TRUE(cut.choice().exact && cut.choice().direct);
    CSettings join(store, h.window->languageTable(), h.messages, {});
    EXPECT_EQ(join.ItemAs<QComboBox>(settings_id::kFrameRateList)->count(), 11);
    EXPECT_EQ(join.ItemAs<QComboBox>(settings_id::kFrameRateList)->currentText(), "60.0 fps");
    EXPECT_EQ(join.ItemAs<QComboBox>(settings_id::kJoinAudioQualityList)->currentIndex(), -1);  // no selection
    EXPECT_EQ(join.ItemAs<QComboBox>(settings_id::kJoinSampleRateList)->currentText(), "44100 Hz");
    EXPECT_EQ(join.ItemAs<QComboBox>(settings_id::kJoinChannelList)->currentIndex(), 1);
    EXPECT_FALSE(join.Item(settings_id::kJoinChannelList)->isVisibleTo(&join));
    EXPECT_EQ(join.ItemAs<QLineEdit>(settings_id::kNameBox)->text(), "Joined video");
}

// Each dialog opens on the method chosen in it last: an export chosen direct stays direct. A
// join of clips keeps its own: the exact join at first, as a cut's.
TEST(SettingsDialogs, OpenOnTheMethodChosenLast) {
    Harness h;
    SettingsStore store(h.dir / "setting.ini");
    TempDir out;
    const auto method = [](const OutputSettingsDialog& d) {
        using namespace settings_id;
        if (d.ItemAs<QRadioButton>(d.kind() == Dialog::Cut ? kCutExactRadio : kJoinExactRadio)->isChecked()) return 1;
        return d.ItemAs<QRadioButton>(d.kind() == Dialog::Cut ? kCutDirectRadio : kJoinDirectRadio)->isChecked() ? 2
                                                                                                                 : 3;
    };
    const LanguageTable& table = h.window->languageTable();
    EXPECT_EQ(method(CFileInfomation(store, table, h.messages, {}, "clip")), 1) << "a first cut is exact";
    for (const auto& [direct, exact, chosen] : {std::tuple{false, false, 3}, {true, false, 2}, {true, true, 1}}) {
        Choice c;
        c.direct = direct;
        c.exact = exact;
        c.folder = QString::fromStdString(out.path().string());
        {
            CFileInfomation cut(store, table, h.messages, {}, "clip");
            Fill(c)(cut);
            ASSERT_EQ(cut.result(), QDialog::Accepted);
        }
        EXPECT_EQ(method(CFileInfomation(store, table, h.messages, {}, "clip")), chosen);
        EXPECT_EQ(method(CSettings(store, table, h.messages, {})), 2) << "the join keeps its own";
    }
    const auto clipJoin = [&] {
        auto join = std::make_unique<CSettings>(store, table, h.messages, FolderPicker());
        join->OfferClips();
        return join;
    };
    EXPECT_EQ(method(*clipJoin()), 1) << "a first join of clips is exact";
    Choice reencode;
    reencode.direct = false;
    reencode.folder = QString::fromStdString(out.path().string());
    Fill(reencode)(*clipJoin());
    EXPECT_EQ(method(*clipJoin()), 3);
    EXPECT_EQ(method(CSettings(store, table, h.messages, {})), 2) << "whole files join as before";
}

TEST(SettingsDialogs, StartStoresTheRowsThenTestsTheFolder) {
    Harness h;
    SettingsStore store(h.dir / "setting.ini");
    CFileInfomation cut(store, h.window->languageTable(), h.messages, {}, "clip");
    const int joinFormat = store.ReadRows(Dialog::Join).format;  // the cut's start leaves it alone
    Choice c;
    c.direct = false;
    c.rows = {2, 3, 6, 9, 3, 3};
    c.folder = QString::fromStdString(h.dir / "missing");
    Fill(c)(cut);
    // The folder is missing: the message, the dialog stays open, the rows are stored anyway.
    EXPECT_NE(cut.result(), QDialog::Accepted);
    ASSERT_EQ(h.messages.shown.size(), 1);
    EXPECT_EQ(h.messages.shown[0], QString::fromStdString(h.window->languageTable().ReadFromFile("TISHI", "mlbcz")));
    EXPECT_EQ(store.ReadRows(Dialog::Cut).format, 2);
    EXPECT_EQ(store.ReadRows(Dialog::Join).format, joinFormat);
    // A folder that holds the probe file already: it is the user's, and stays.
    TempDir out;
    std::ofstream(out / "jlewhqlhqwenqfwk.mp4") << "mine";
    c.folder = QString::fromStdString(out.path().string());
    c.name = "a:b*c?@d";
    Fill(c)(cut);
    EXPECT_EQ(cut.result(), QDialog::Accepted);
    EXPECT_EQ(cut.fileName(), "abcd");
    const OutputChoice& choice = cut.choice();
    EXPECT_FALSE(choice.direct);
    EXPECT_EQ(choice.rows.format, 2);
    EXPECT_EQ(choice.rows.samplerate, 3);
    EXPECT_EQ(choice.folder, out.path().string());
    EXPECT_TRUE(fs::exists(out / "jlewhqlhqwenqfwk.mp4"));
    const ResolvedPreset resolved = ResolveOutput(Dialog::Cut, choice.rows, OutputParameters{});
    EXPECT_EQ(resolved.extension, ".avi");
    EXPECT_EQ(resolved.parameters.videoCodecId, AV_CODEC_ID_MPEG4);
    EXPECT_EQ(resolved.parameters.audioCodecId, AV_CODEC_ID_MP3);
    EXPECT_EQ(resolved.parameters.videoBitRate, 3000000);
    EXPECT_EQ(resolved.parameters.outputWidth, 1280);
    EXPECT_EQ(resolved.parameters.outputFrameRate, 25.0);
    EXPECT_EQ(resolved.parameters.sampleRate, 48000);
    EXPECT_EQ(resolved.parameters.channels, 2);
    // A folder the test made a probe file in is left without it.
    TempDir clean;
    c.folder = QString::fromStdString(clean.path().string());
    Fill(c)(cut);
    EXPECT_TRUE(FilesIn(clean.path()).empty());
}

TEST(SettingsDialogs, JoinRefusesAnEmptyNameBeforeStoringAnything) {
    Harness h;
    SettingsStore store(h.dir / "setting.ini");
    CSettings join(store, h.window->languageTable(), h.messages, {});
    const int stored = store.ReadRows(Dialog::Join).format;
    Choice c;
    c.rows = {4};
    c.name = "";
    c.folder = QString::fromStdString(h.dir.path().string());
    Fill(c)(join);
    EXPECT_NE(join.result(), QDialog::Accepted);
    EXPECT_NE(stored, 4);
    EXPECT_EQ(store.ReadRows(Dialog::Join).format, stored);
    EXPECT_EQ(h.messages.shown.size(), 1);
}

TEST(SettingsDialogs, BothRefuseANameThatCleansToNothingOrIsTooLongForTheFolder) {
    Harness h;
    SettingsStore store(h.dir / "setting.ini");
    const std::pair<QString, const char*> cases[] = {
        {"", "xsrwjm"}, {"???", "xsrwjm"}, {"<|>", "xsrwjm"}, {"..", "xsrwjm"}, {QString(300, 'n'), "wjmtc"}};
    for (const auto& [name, key] : cases) {
        SCOPED_TRACE(name.toStdString());
        const QString message = QString::fromStdString(h.window->languageTable().ReadFromFile("TISHI", key));
        h.messages.shown.clear();
        CFileInfomation cut(store, h.window->languageTable(), h.messages, {}, "clip");
        Choice c;
        c.name = name;
        c.folder = QString::fromStdString(h.dir.path().string());
        Fill(c)(cut);
        EXPECT_NE(cut.result(), QDialog::Accepted);
        CSettings join(store, h.window->languageTable(), h.messages, {});
        Fill(c)(join);
        EXPECT_NE(join.result(), QDialog::Accepted);
        EXPECT_EQ(h.messages.shown, QStringList({message, message}));
    }
}

TEST(SettingsDialogs, AFirstJobIsOfferedTheSourcesFolderAndATypedFolderIsKept) {
    Harness h;
    SettingsStore store(h.dir / "setting.ini");
    ASSERT_EQ(store.OutputFolder(), "") << "the shipped settings store no folder";
    // The shipped settings open the lists on H.264 in MP4, the source's size (0 x 0) and rate (0),
    // 128 kbps, 44100 Hz.
    const ResolvedPreset cut = ResolveOutput(Dialog::Cut, store.ReadRows(Dialog::Cut), OutputParameters{});
    EXPECT_EQ(cut.extension, ".mp4");
    EXPECT_EQ(cut.parameters.outputWidth, 0);
    EXPECT_EQ(cut.parameters.outputFrameRate, 0.0);
    EXPECT_EQ(cut.parameters.audioBitRate, 128000);
    EXPECT_EQ(cut.parameters.sampleRate, 44100);
    const ResolvedPreset join = ResolveOutput(Dialog::Join, store.ReadRows(Dialog::Join), OutputParameters{});
    EXPECT_EQ(join.parameters.outputHeight, 0);
    EXPECT_EQ(join.parameters.outputFrameRate, 0.0);
    EXPECT_EQ(join.parameters.audioBitRate, 128000);
    EXPECT_EQ(join.parameters.sampleRate, 44100);

    // Through the window: the folder box offers the source's folder, and the cut succeeds.
    h.Add({Colours()});
    QString offered;
    h.settings = [&](OutputSettingsDialog& d) {
        offered = d.ItemAs<QLineEdit>(settings_id::kFolderBox)->text();
        d.Start();
    };
    h.window->cutTab()->LaunchCut();
    h.window->launcher()->WaitForWorker();
    EXPECT_EQ(offered, QFileInfo(Colours()).absolutePath());

    // A typed folder is tested at start, used, and offered next time.
    TempDir typed;
    CFileInfomation dialog(store, h.window->languageTable(), h.messages, {}, "clip");
    dialog.ProposeFolder("/somewhere/else");  // a stored folder wins over a proposal
    EXPECT_EQ(dialog.ItemAs<QLineEdit>(settings_id::kFolderBox)->text(), offered);
    auto* box = dialog.ItemAs<QLineEdit>(settings_id::kFolderBox);
    EXPECT_FALSE(box->isReadOnly());
    box->setText(QString::fromStdString(typed.path().string()));
    dialog.Start();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.choice().folder, typed.path().string());
    EXPECT_EQ(store.OutputFolder(), typed.path().string());
}

TEST(SettingsDialogs, EnterStartsEscapeAndCancelCloseAndTheTitleSaysWhich) {
    Harness h;
    SettingsStore store(h.dir / "setting.ini");
    store.WriteOutputFolder(h.dir.path().string());
    const auto text = [&](const char* key) {
        return QString::fromStdString(h.window->languageTable().ReadFromFile("JIEMIAN", key));
    };
    const auto make = [&](Dialog kind) -> std::unique_ptr<OutputSettingsDialog> {
        if (kind == Dialog::Cut)
            return std::make_unique<CFileInfomation>(store, h.window->languageTable(), h.messages, nullptr, "clip");
        return std::make_unique<CSettings>(store, h.window->languageTable(), h.messages, nullptr);
    };
    for (const Dialog kind : {Dialog::Cut, Dialog::Join}) {
        SCOPED_TRACE(kind == Dialog::Cut ? "cut" : "join");
        EXPECT_EQ(make(kind)->windowTitle(), text(kind == Dialog::Cut ? "jqszbt" : "hbszbt"));
        // Enter in the name box starts; Escape and the cancel button close without a choice.
        const std::function<void(OutputSettingsDialog&)> keys[] = {
            [](OutputSettingsDialog& d) { QTest::keyClick(d.Item(settings_id::kNameBox), Qt::Key_Return); },
            [](OutputSettingsDialog& d) { QTest::keyClick(d.Item(settings_id::kNameBox), Qt::Key_Escape); },
            [](OutputSettingsDialog& d) { d.ItemAs<QPushButton>(settings_id::kCancelButton)->click(); },
        };
        for (size_t k = 0; k < std::size(keys); ++k) {
            auto d = make(kind);
            d->show();
            d->Item(settings_id::kNameBox)->setFocus();
            keys[k](*d);
            EXPECT_FALSE(d->isVisible()) << k;
            EXPECT_EQ(d->result(), k == 0 ? QDialog::Accepted : QDialog::Rejected) << k;
            EXPECT_EQ(d->fileName(), k == 0 ? (kind == Dialog::Cut ? "clip" : text("hbhwj")) : QString()) << k;
        }
        EXPECT_EQ(make(kind)->ItemAs<QPushButton>(settings_id::kCancelButton)->text(), text("qx"));
    }
}

TEST(SettingsDialogs, BrowseRetriesAnInvalidFolder) {
    Harness h;
    SettingsStore store(h.dir / "setting.ini");
    QStringList picks = {"/no/such/folder", QString::fromStdString(h.dir.path().string())};
    CFileInfomation cut(
        store, h.window->languageTable(), h.messages,
        [&](QWidget*, const QString&) { return picks.isEmpty() ? QString() : picks.takeFirst(); }, "x");
    cut.Browse();
    EXPECT_EQ(h.messages.shown, QStringList{"The output folder name is invalid!"});
    EXPECT_EQ(cut.ItemAs<QLineEdit>(settings_id::kFolderBox)->text(), QString::fromStdString(h.dir.path().string()));
    EXPECT_EQ(store.OutputFolder(), h.dir.path().string());
}

TEST(Launches, NothingToCutOrTooFewToJoinSayWhy) {
    Harness h;
    h.window->cutTab()->LaunchCut();
    h.window->SelectTab(1);
    h.window->joinTab()->LaunchJoin();
    h.Add({Av("j1.mp4", "25")});
    h.window->joinTab()->LaunchJoin();
    const auto t = [&](const char* k) { return QString::fromStdString(h.window->languageTable().Text("TISHI", k)); };
    EXPECT_EQ(h.messages.shown, (QStringList{t("qxtjsp"), t("qxtjsp"), t("zslgwj")}));
}

TEST(Launches, ADirectCutThroughTheWindow) {
    Harness h;
    TempDir out;
    WriteFileBytes(out / "window_colours.mp4", "the user's own");  // the cut gets another name
    h.Add({Colours()});
    h.window->ItemAs<QLineEdit>(main_id::kStartBox)->setText("00:00:01.000");
    h.window->ItemAs<QLineEdit>(main_id::kEndBox)->setText("00:00:02.000");
    Choice c;
    c.folder = QString::fromStdString(out.path().string());
    c.keepName = true;  // the source's name
    h.settings = Fill(c);
    h.window->cutTab()->LaunchCut();
    const ConversionJob* job = h.window->launcher()->job();
    ASSERT_NE(job, nullptr);
    EXPECT_FALSE(job->joinMode);
    EXPECT_FALSE(job->reencode);
    EXPECT_DOUBLE_EQ(job->segmentStart[0], 1.0);
    EXPECT_DOUBLE_EQ(job->segmentEnd[0], 2.0);
    EXPECT_DOUBLE_EQ(job->segmentLength[0], 1.0);
    const std::string made = job->outputPaths[0];
    EXPECT_NE(made, out / "window_colours.mp4");
    EXPECT_EQ(ReadFileBytes(out / "window_colours.mp4"), "the user's own");
    EXPECT_EQ(job->inputStatus[0].load(), kInputDone) << job->inputError[0];
    EXPECT_EQ(job->currentInput.load(), 2);  // reported
    // The message names the new file; closed, nothing opens.
    ASSERT_FALSE(h.messages.shown.isEmpty());
    EXPECT_EQ(h.messages.shown.last().toStdString(), "The segment was cut into this file:\n" + made);
    EXPECT_TRUE(h.opened.isEmpty());
    EXPECT_FALSE(h.window->launcher()->progressDialog()->isVisible());
    EXPECT_EQ(Problems(Inspect(made), true, false, 1.0, 0.1), "");
    // Its buttons open the file, or its folder.
    for (int choice : {0, 1}) {
        h.messages.choice = choice;
        h.window->cutTab()->LaunchCut();
        const std::string again = h.window->launcher()->job()->outputPaths[0];
        EXPECT_NE(again, made);
        ASSERT_FALSE(h.opened.isEmpty());
        EXPECT_EQ(h.opened.last().toStdString(), choice == 0 ? again : out.path().string());
    }
}

// A job that ends while the settings of the next one are open says so once they have closed.
TEST(Launches, AFinishedJobsMessageWaitsForAnOpenSettingsDialog) {
    Harness h;
    TempDir out;
    h.Add({Colours()});
    Choice c;
    c.folder = QString::fromStdString(out.path().string());
    int launches = 0;
    qsizetype shownWhileOpen = -1;
    h.settings = [&](OutputSettingsDialog& d) {
        if (launches++ == 0) {
            // The convert button again while the job runs: its dialog stays open past the job's end.
            QTimer::singleShot(0, [&] { h.window->cutTab()->LaunchCut(); });
            return Fill(c)(d);
        }
        d.setWindowModality(Qt::ApplicationModal);
        d.show();
        EXPECT_TRUE(Eventually([&] { return !h.window->launcher()->progressDialog()->isVisible(); }, 30000));
        shownWhileOpen = h.messages.shown.size();
        d.reject();
    };
    h.window->cutTab()->LaunchCut();
    EXPECT_EQ(launches, 2);
    EXPECT_EQ(shownWhileOpen, 0) << "the message came over the open dialog";
    ASSERT_EQ(h.messages.shown.size(), 1);
    EXPECT_TRUE(h.messages.shown[0].startsWith("The segment was cut into this file:"))
        << h.messages.shown[0].toStdString();
}

TEST(Launches, AnIndirectCutWritesThePresetsParameters) {
    Harness h;
    TempDir out;
    h.Add({Av("j1.mp4", "25")});
    h.window->ItemAs<QLineEdit>(main_id::kStartBox)->setText("00:00:00.500");
    h.window->ItemAs<QLineEdit>(main_id::kEndBox)->setText("00:00:01.500");
    Choice c;
    c.direct = false;
    c.rows = {6, 1, 1, 5, 2, 2};  // MKV H.264 + Vorbis, 2000 kbps, 640*480, 15 fps, 96 kbps, 44100 Hz
    c.folder = QString::fromStdString(out.path().string());
    c.name = "short";
    h.settings = Fill(c);
    h.window->cutTab()->LaunchCut();
    const ConversionJob* job = h.window->launcher()->job();
    EXPECT_TRUE(job->reencode);
    EXPECT_EQ(job->videoCodecId, AV_CODEC_ID_H264);
    EXPECT_EQ(job->audioCodecId, AV_CODEC_ID_VORBIS);
    EXPECT_EQ(job->videoBitRate, 2000000);
    EXPECT_EQ(job->outputWidth, 640);
    EXPECT_EQ(job->outputHeight, 480);
    EXPECT_EQ(job->outputFrameRate, 15.0);
    EXPECT_EQ(job->audioBitRate, 96000);
    EXPECT_EQ(job->sampleRate, 44100);
    EXPECT_EQ(job->channels, 2);
    EXPECT_EQ(job->outputPaths[0], out / "short.mkv");
    EXPECT_EQ(job->inputStatus[0].load(), kInputDone) << job->inputError[0];
    EXPECT_EQ(Probe(job->outputPaths[0], "stream=codec_name,width"), "h264,640\n");
}

TEST(Launches, AJoinOfThreeThroughTheWindow) {
    Harness h;
    TempDir out;
    h.window->SelectTab(1);
    h.Add({Av("j1.mp4", "25"), Av("j2.mp4", "25"), Av("j3.mp4", "25")});
    Choice c;
    c.folder = QString::fromStdString(out.path().string());
    c.name = "all";
    h.settings = Fill(c);
    h.window->joinTab()->LaunchJoin();
    const ConversionJob* job = h.window->launcher()->job();
    ASSERT_NE(job, nullptr);
    EXPECT_TRUE(job->joinMode);
    EXPECT_EQ(job->inputCount, 3);
    EXPECT_EQ(job->joinTotalSeconds, 6);
    EXPECT_EQ(h.window->joinTab()->joinRows(), (std::vector<int>{0, 1, 2}));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(job->inputStatus[i].load(), kInputDone) << job->inputError[i];
    EXPECT_EQ(h.messages.shown.last().toStdString(), "The files were joined into this file:\n" + job->outputPaths[0]);
    auto* list = h.window->ItemAs<CCheckListCtrl>(main_id::kSourceList);
    for (int r = 0; r < 3; ++r) {
        EXPECT_EQ(list->item(r, source_column::kStatus)->text().toStdString(),
                  h.window->languageTable().Text("TISHI", "wc"));
        EXPECT_FALSE(list->IsChecked(r));
    }
    EXPECT_EQ(job->outputPaths[0], out / "all.mp4");
    EXPECT_EQ(Problems(Inspect(job->outputPaths[0]), true, false, 6.0, 0.1), "");
}

namespace {

// Lists `files` on the join tab, sets the output folder and launches a direct join whose
// question is declined: the question asked (empty if none or more than one was asked).
QString DeclinedJoinQuestion(Harness& h, const QStringList& files, const TempDir& out) {
    h.window->SelectTab(1);
    h.Add(files);
    Choice c;
    c.folder = QString::fromStdString(out.path().string());
    h.settings = Fill(c);
    h.messages.answer = false;
    h.window->joinTab()->LaunchJoin();
    return h.messages.asked.size() == 1 ? h.messages.asked.last() : QString();
}

}  // namespace

TEST(Launches, ADirectJoinOfUnlikeFilesNamesTheFileAndOffersToReEncode) {
    Harness h;
    TempDir out;
    const QString other =
        QString::fromStdString(Fixture("j_big.mp4", {"-f", "lavfi", "-i", "testsrc2=size=640x480:rate=25", "-t", "1",
                                                     "-c:v", "libx264", "-pix_fmt", "yuv420p"}));
    // Declined: nothing is made, and the question named the file and the picture sizes.
    const QString question = DeclinedJoinQuestion(h, {Av("j1.mp4", "25"), other}, out);
    ASSERT_EQ(h.messages.asked.size(), 1);
    EXPECT_TRUE(question.contains("j_big.mp4")) << question.toStdString();
    EXPECT_TRUE(question.contains("j1.mp4")) << question.toStdString();
    EXPECT_TRUE(question.contains(QString::fromStdString(h.window->languageTable().Text("JIEMIAN", "spdx"))));
    EXPECT_TRUE(question.contains("640*480")) << question.toStdString();
    EXPECT_TRUE(FilesIn(out.path()).empty());
    // Accepted: the same files join with re-encoding, at the dialog's rows.
    h.messages.answer = true;
    h.window->joinTab()->LaunchJoin();
    EXPECT_EQ(h.messages.asked.size(), 2);
    ASSERT_NE(h.window->launcher()->job(), nullptr);
    EXPECT_TRUE(h.window->launcher()->job()->reencode);
    EXPECT_EQ(h.window->launcher()->job()->inputStatus[1].load(), kInputDone);
    EXPECT_EQ(FilesIn(out.path()).size(), 1u);
}

TEST(Launches, ADirectJoinOfFilesWithOtherTracksNamesTheTracks) {
    Harness h;
    TempDir out;
    const std::string film = FilmWithTracksFixture();
    const QString bare =
        QString::fromStdString(Fixture("j_film_bare.mkv", {"-i", film, "-map", "0:v", "-map", "0:a", "-c", "copy"}));
    const QString question = DeclinedJoinQuestion(h, {QString::fromStdString(film), bare}, out);
    ASSERT_EQ(h.messages.asked.size(), 1);
    EXPECT_TRUE(question.contains("j_film_bare.mkv")) << question.toStdString();
    EXPECT_TRUE(question.contains(QString::fromStdString(h.window->languageTable().Text("JIEMIAN", "qtgd"))))
        << question.toStdString();
    EXPECT_TRUE(question.contains("aac, subrip")) << question.toStdString();
    EXPECT_TRUE(FilesIn(out.path()).empty());
}

TEST(Launches, TheStopButtonStopsTheJobAndSaysSo) {
    Harness h;
    TempDir out;
    LoadLongReEncodingCut(h, out);
    // Press stop as soon as the progress dialog is up.
    QTimer::singleShot(300, [&] {
        auto* stop = qobject_cast<QPushButton*>(h.window->launcher()->progressDialog()->Item(progress_id::kStopButton));
        stop->click();
    });
    h.window->cutTab()->LaunchCut();
    EXPECT_EQ(h.messages.shown.join("|").toStdString(), h.window->languageTable().Text("TISHI", "rwytz"));
    EXPECT_TRUE(h.opened.isEmpty());
    h.window->launcher()->WaitForWorker();
    EXPECT_EQ(h.window->launcher()->job()->inputStatus[0].load(), kInputPending);
    EXPECT_FALSE(h.window->launcher()->progressDialog()->isVisible());
    EXPECT_TRUE(FilesIn(out.path()).empty());
}

TEST(Launches, AStoppedJoinMarksTheFileInWorkAndNothingElseAsDone) {
    Harness h;
    TempDir out;
    h.window->SelectTab(1);
    const QString longer = QString::fromStdString(
        Fixture("j_long.mp4", {"-f", "lavfi", "-i", "testsrc2=size=640x480:rate=25", "-t", "30", "-c:v", "libx264",
                               "-preset", "ultrafast", "-pix_fmt", "yuv420p"}));
    h.Add({Av("j1.mp4", "25"), longer, Av("j2.mp4", "25")});
    auto* list = h.window->ItemAs<CCheckListCtrl>(main_id::kSourceList);
    const auto status = [&](int row) { return list->item(row, source_column::kStatus)->text().toStdString(); };
    const auto t = [&](const char* s, const char* k) { return h.window->languageTable().Text(s, k); };
    h.window->joinTab()->ShowRowStatus(2, RowStatus::kDone);  // left by an earlier join, and unticked
    Choice c;
    c.direct = false;
    c.rows = {1, 8, 7, 13, 0, 0};
    c.folder = QString::fromStdString(out.path().string());
    h.settings = Fill(c);
    // Stop once the first file is done and the long one is in work.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (status(0) != t("TISHI", "wc")) return;
        poll.stop();
        qobject_cast<QPushButton*>(h.window->launcher()->progressDialog()->Item(progress_id::kStopButton))->click();
    });
    poll.start(50);
    h.window->joinTab()->LaunchJoin();
    ASSERT_FALSE(poll.isActive()) << "the first file was never marked done";
    // The first file's part went with the unfinished output: it is to be joined again.
    EXPECT_EQ(status(0), t("JIEMIAN", "zb"));
    EXPECT_TRUE(list->IsChecked(0));
    EXPECT_EQ(status(1), t("TISHI", "ytz"));
    EXPECT_TRUE(list->IsChecked(1));
    EXPECT_EQ(status(2), t("JIEMIAN", "zb")) << "not the earlier job's word";
    EXPECT_FALSE(list->IsChecked(2));
    EXPECT_EQ(h.messages.shown.join("|").toStdString(), t("TISHI", "rwytz"));
    EXPECT_TRUE(FilesIn(out.path()).empty());
    // The words follow the language.
    h.window->SelectLanguage(*LanguagePosition("german.ini"));
    EXPECT_EQ(status(1), "Angehalten");
    EXPECT_EQ(status(0), "Bereit");
}

TEST(Launches, AnExactCutThroughTheWindowStartsOnTheMarkedPicture) {
    Harness h;
    TempDir out;
    // A key frame every 2 s; the start between two of them.
    const QString source = QString::fromStdString(
        Fixture("window_exact.mp4", {"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25", "-t", "6", "-c:v", "libx264",
                                     "-g", "50", "-bf", "2", "-pix_fmt", "yuv420p"}));
    h.Add({source});
    h.window->ItemAs<QLineEdit>(main_id::kStartBox)->setText("00:00:01.300");
    h.window->ItemAs<QLineEdit>(main_id::kEndBox)->setText("00:00:04.000");
    Choice c;
    c.exact = true;
    c.folder = QString::fromStdString(out.path().string());
    h.settings = Fill(c);
    h.window->cutTab()->LaunchCut();
    h.window->launcher()->WaitForWorker();
    ASSERT_NE(h.window->launcher()->job(), nullptr);
    EXPECT_TRUE(h.window->launcher()->job()->exactCut);
    EXPECT_EQ(h.window->launcher()->job()->inputStatus[0].load(), kInputDone);
    const std::string file = h.window->launcher()->job()->outputPaths[0];
    EXPECT_EQ(Problems(Inspect(file), true, false, 2.7, 0.08), "");
    // The first picture is the one at 1.3 s, not the key frame's at 0 s.
    EXPECT_GT(PsnrAt(file, 0.01, source.toStdString(), 1.31), 40.0);
    EXPECT_LT(PsnrAt(file, 0.01, source.toStdString(), 0.01), 30.0);
}
