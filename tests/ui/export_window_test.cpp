// The export of segments through the window: the cut settings' choices, the record the
// launch fills, what it refuses, and the files a user gets.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>

#include "controls/check_list.h"
#include "core/ini_file.h"
#include "core/language_table.h"
#include "tests/ui/segment_media.h"

using namespace ulvane;
using namespace ulvane::test;

namespace {

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
        h.window->cutTab()->LaunchExport(c.segments);
        const ConversionJob* job = h.window->launcher()->job();
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
        h.window->cutTab()->LaunchExport(c.segments);
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
            h.window->cutTab()->LaunchExport(kThree);
            const ConversionJob* job = h.window->launcher()->job();
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
    h.window->cutTab()->LaunchExport({Seconds(5, 6), Seconds(1, 3, "Intro")});
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

// The long source loaded, and its export re-encoded into `out` (separate files by default).
void ReencodeLongSource(Harness& h, const TempDir& out) {
    h.Add({LongSource()});
    ExportChoice choice;
    choice.method = Method::kReencode;
    choice.folder = QString::fromStdString(out.path().string());
    h.settings = Choose(choice);
}

}  // namespace

TEST(ExportFiles, TheProgressLineNamesTheSegmentInWork) {
    Harness h;
    TempDir out;
    ReencodeLongSource(h, out);
    const QStringList lines = FileLinesDuring(h, [&] {
        h.window->cutTab()->LaunchExport({Seconds(0, 6), Seconds(10, 16, "Middle"), Seconds(20, 26)});
    });
    ASSERT_FALSE(lines.isEmpty());
    const QStringList known = {LongSource() + ", segment 1 of 3", LongSource() + ", segment 2 of 3 (Middle)",
                               LongSource() + ", segment 3 of 3"};
    for (const QString& line : lines) EXPECT_TRUE(known.contains(line)) << line.toStdString();
    EXPECT_EQ(FilesIn(out.path()).size(), 3u);
}

TEST(ExportLaunch, AnExportLeavesTheJoinRowsAloneWhicheverTabIsShown) {
    Harness h;
    TempDir out;
    h.Add({TenSeconds()});
    h.window->SelectTab(1);
    h.Add({Av("j1.mp4", "25"), Av("j2.mp4", "25")});
    ExportChoice choice;
    choice.method = Method::kDirect;
    choice.folder = QString::fromStdString(out.path().string());
    h.settings = Choose(choice);
    h.window->cutTab()->LaunchExport(kThree);
    auto* list = h.window->ItemAs<CCheckListCtrl>(main_id::kSourceList);
    const std::string ready = h.window->languageTable().Text("JIEMIAN", "zb");
    for (int row : {0, 1}) {
        EXPECT_EQ(list->item(row, source_column::kStatus)->text().toStdString(), ready) << row;
        EXPECT_TRUE(list->IsChecked(row)) << row;
    }
    ASSERT_EQ(h.messages.shown.size(), 1);
    EXPECT_TRUE(h.messages.shown[0].startsWith(
        QString::fromStdString(h.window->languageTable().ReadFromFile("EXPORT", "dcwc"))));
    EXPECT_EQ(FilesIn(out.path()).size(), 3u);
}

TEST(ExportFiles, AStopKeepsTheSeparateFilesFinishedAndNamesThem) {
    Harness h;
    TempDir out;
    ReencodeLongSource(h, out);
    // Stop once the second segment is in work.
    auto* line = qobject_cast<CLabel*>(h.window->launcher()->progressDialog()->Item(progress_id::kCurrentLine));
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!line->text().contains("segment 2 of 3")) return;
        poll.stop();
        qobject_cast<QPushButton*>(h.window->launcher()->progressDialog()->Item(progress_id::kStopButton))->click();
    });
    poll.start(20);
    h.window->cutTab()->LaunchExport({Seconds(0, 4, "First"), Seconds(10, 20), Seconds(20, 26)});
    ASSERT_FALSE(poll.isActive()) << "the second segment was never in work";
    h.window->launcher()->WaitForWorker();
    EXPECT_EQ(FilesIn(out.path()), std::vector<std::string>{"part First.mp4"});
    EXPECT_EQ(Problems(Inspect(out / "part First.mp4"), true, false, 4.0, 0.1), "");
    const LanguageTable& t = h.window->languageTable();
    ASSERT_EQ(h.messages.shown.size(), 1);
    EXPECT_EQ(h.messages.shown[0].toStdString(),
              t.Text("TISHI", "rwytz") + "\n\n" + t.ReadFromFile("EXPORT", "dcwc") + "\n" + (out / "part First.mp4"));
}

TEST(ExportLaunch, TheConvertButtonCutsOneSegmentAsBeforeAndExportsTwoOrMore) {
    struct Case {
        const char* csv;
        bool offered, separate;
        std::vector<std::pair<std::string, double>> files;  // by name, with their lengths
    };
    const Case cases[] = {
        {"00:00:02.000,00:00:04.000,\n", false, false, {{"part.mp4", 2}}},
        {"00:00:01.000,00:00:03.000,Intro\n00:00:05.000,00:00:06.000,\n",
         true,
         true,
         {{"part 2.mp4", 1}, {"part Intro.mp4", 2}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.csv);
        Harness h;
        TempDir out;
        h.Add({TenSeconds()});
        LoadSegments(h, std::string("start,end,label\n") + c.csv);
        ExportChoice choice;
        choice.method = Method::kDirect;
        choice.folder = QString::fromStdString(out.path().string());
        bool offered = !c.offered;
        h.settings = [&](OutputSettingsDialog& d) {
            offered = d.Item(export_id::kSeparateRadio)->isEnabled();
            Choose(choice)(d);
        };
        h.window->cutTab()->LaunchCut();
        EXPECT_EQ(offered, c.offered);
        ASSERT_NE(h.window->launcher()->job(), nullptr);
        EXPECT_EQ(h.window->launcher()->job()->separateOutputs, c.separate);
        std::vector<std::string> names;
        for (const auto& [name, length] : c.files) {
            names.push_back(name);
            EXPECT_EQ(Problems(Inspect(out / name), true, true, length, 0.1, 0.1, 0.15), "") << name;
        }
        EXPECT_EQ(FilesIn(out.path()), names);
    }
}
