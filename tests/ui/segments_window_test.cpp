// The cut tab's segment list in the window: marks and moves by key, undo and redo, the seek
// bar's colours, segments kept with their file, list files in every format, the file's
// chapters, the join list's hook and the texts.
#include <gtest/gtest.h>

#include "tests/support/eventually.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <chrono>
#include <filesystem>

#include "controls/bitmap_slider.h"
#include "core/language_table.h"
#include "core/time_text.h"
#include "tests/ui/window_harness.h"
#include "ui/control_ids.h"
#include "ui/segment_list.h"

using namespace ulvane;
using namespace ulvane::main_id;
using namespace ulvane::test;

namespace {

// 4 s of 25 pictures a second, a key frame at each whole second, no B-frames.
QString Film25() {
    return QString::fromStdString(Fixture("segments_25fps.mp4", {"-f",
                                                                 "lavfi",
                                                                 "-i",
                                                                 "testsrc2=size=160x120:rate=25",
                                                                 "-t",
                                                                 "4",
                                                                 "-c:v",
                                                                 "libx264",
                                                                 "-preset",
                                                                 "ultrafast",
                                                                 "-g",
                                                                 "25",
                                                                 "-keyint_min",
                                                                 "25",
                                                                 "-sc_threshold",
                                                                 "0",
                                                                 "-bf",
                                                                 "0",
                                                                 "-pix_fmt",
                                                                 "yuv420p"}));
}

// The segments as (start, end, label) in milliseconds, and which one is selected.
using Spans = std::vector<std::tuple<int64_t, int64_t, std::string>>;
Spans SpansOf(const CUlvaneAVConverterDlg& w) {
    Spans spans;
    for (const Segment& s : w.cutTab()->Segments())
        spans.emplace_back(s.startMicros / 1000, s.endMicros / 1000, s.label);
    return spans;
}

// The exact picture at the position is shown: nothing is on its way that could still move a mark.
bool Settled(const CUlvaneAVConverterDlg& w) {
    const int64_t at = int64_t{w.cutPreview()->figures().positionMs} * 1000 + 999;
    return w.cutPreview()->figures().shownFrom >= 0 && w.cutPreview()->figures().shownFrom <= at &&
           at < w.cutPreview()->figures().shownFrom + 40'000;
}

// The window with Film25 loaded and its key frames found.
struct FilmWindow : Harness {
    CUlvaneAVConverterDlg& w = *window;
    CBitmapSlider* bar = w.ItemAs<CBitmapSlider>(kSeekBar);
    explicit FilmWindow(const QString& film = Film25()) {
        Add({film});
        EXPECT_TRUE(Eventually([&] { return w.cutPreview()->keyFrames().size() == size_t{4}; }))
            << "a key frame each second";
        QApplication::setActiveWindow(&w);
    }
    void Key(QWidget* to, int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(to, Qt::Key(key), mods);
        EXPECT_TRUE(Eventually([&] { return Settled(w); })) << key;
    }
    // The thumb put at a place (of 1000) as the bar's keys put it, and the exact picture there
    // shown. Places ending in 5 lie inside a picture (4 ms each): no rounding moves them to another.
    void Seek(int position) {
        bar->SetPosition(position);
        emit bar->sliderMoved(kSeekBar, position);
        EXPECT_TRUE(Eventually(
            [&] { return Settled(w) && std::abs(w.cutPreview()->figures().positionMs - position * 4) <= 4; }));
    }
    void WriteCsv(const std::string& name, const std::string& text) {
        WriteFileBytes(dir / name, text);
        nextOpenPath = QString::fromStdString(dir / name);
        w.cutTab()->LoadSegmentsFile();
    }
};

}  // namespace

TEST(SegmentsWindow, KeysMarkMoveAndJumpWhereverTheFocusIsButInTextAndTheList) {
    FilmWindow f;
    auto* bar = f.bar;
    bar->setFocus();
    struct Step {
        const char* what;
        int key;
        Qt::KeyboardModifiers mods;
        int times;
        int64_t shownMs;  // where the picture shown starts after the key
        Spans segments;
        int selected;
    };
    const Step steps[] = {
        {"Right: one picture on", Qt::Key_Right, {}, 1, 40, {}, -1},
        {"Right again", Qt::Key_Right, {}, 1, 80, {}, -1},
        {"Left: one back", Qt::Key_Left, {}, 1, 40, {}, -1},
        {"Down: the next key frame", Qt::Key_Down, {}, 1, 1000, {}, -1},
        {"Down again", Qt::Key_Down, {}, 1, 2000, {}, -1},
        {"Up: the key frame before", Qt::Key_Up, {}, 1, 1000, {}, -1},
        {"I with no segment makes segment 1 to the end", Qt::Key_I, {}, 1, 1000, {{1000, 4000, ""}}, 0},
        {"Down", Qt::Key_Down, {}, 1, 2000, {{1000, 4000, ""}}, 0},
        {"Down", Qt::Key_Down, {}, 1, 3000, {{1000, 4000, ""}}, 0},
        {"O ends the selected segment", Qt::Key_O, {}, 1, 3000, {{1000, 3000, ""}}, 0},
        {"Up", Qt::Key_Up, {}, 1, 2000, {{1000, 3000, ""}}, 0},
        {"N starts a segment after it, to the end", Qt::Key_N, {}, 1, 2000, {{1000, 3000, ""}, {2000, 4000, ""}}, 1},
        {"Right", Qt::Key_Right, {}, 1, 2040, {{1000, 3000, ""}, {2000, 4000, ""}}, 1},
        {"O", Qt::Key_O, {}, 1, 2040, {{1000, 3000, ""}, {2000, 2040, ""}}, 1},
        {"Up, Up", Qt::Key_Up, {}, 2, 1000, {{1000, 3000, ""}, {2000, 2040, ""}}, 1},
        {"N: up to the next start", Qt::Key_N, {}, 1, 1000, {{1000, 3000, ""}, {1000, 2000, ""}, {2000, 2040, ""}}, 1},
        {"Delete", Qt::Key_Delete, {}, 1, 1000, {{1000, 3000, ""}, {2000, 2040, ""}}, 1},
        {"Shift+O: its end", Qt::Key_O, Qt::ShiftModifier, 1, 2040, {{1000, 3000, ""}, {2000, 2040, ""}}, 1},
        {"Left", Qt::Key_Left, {}, 1, 2000, {{1000, 3000, ""}, {2000, 2040, ""}}, 1},
        {"Left", Qt::Key_Left, {}, 1, 1960, {{1000, 3000, ""}, {2000, 2040, ""}}, 1},
        {"Shift+I: its start", Qt::Key_I, Qt::ShiftModifier, 1, 2000, {{1000, 3000, ""}, {2000, 2040, ""}}, 1},
        {"Ctrl+Up moves it up", Qt::Key_Up, Qt::ControlModifier, 1, 2000, {{2000, 2040, ""}, {1000, 3000, ""}}, 0},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        for (int k = 0; k < s.times; ++k) f.Key(bar, s.key, s.mods);
        EXPECT_EQ(f.w.cutPreview()->figures().shownFrom / 1000, s.shownMs);
        EXPECT_EQ(SpansOf(f.w), s.segments);
        EXPECT_EQ(f.w.cutTab()->SelectedSegment(), s.selected);
    }
    // The boxes are the selected segment's marks.
    EXPECT_EQ(f.Text(kStartBox), "00:00:02.000");
    EXPECT_EQ(f.Text(kEndBox), "00:00:02.040");

    // A text box keeps its keys, and the list its own: they neither mark nor move the picture.
    auto* start = f.w.ItemAs<QLineEdit>(kStartBox);
    QTableWidget* table = f.w.cutTab()->segmentList()->table();
    const Spans before = SpansOf(f.w);
    const std::pair<QWidget*, int> kept[] = {
        {start, Qt::Key_I}, {start, Qt::Key_N}, {start, Qt::Key_Left}, {table, Qt::Key_N}, {table, Qt::Key_O}};
    for (const auto& [to, key] : kept) {
        to->setFocus();
        QTest::keyClick(to, Qt::Key(key));
        QApplication::processEvents();
        EXPECT_EQ(SpansOf(f.w), before) << to->objectName().toStdString() << " " << key;
        EXPECT_EQ(f.w.cutPreview()->figures().shownFrom, 2'000'000) << to->objectName().toStdString() << " " << key;
    }
    // Down in the list goes to the next row: the segment chosen shows its marks and first picture.
    table->setFocus();
    QTest::keyClick(table, Qt::Key_Down);
    EXPECT_EQ(f.w.cutTab()->SelectedSegment(), 1);
    EXPECT_TRUE(Eventually([&] { return Settled(f.w) && f.w.cutPreview()->figures().shownFrom == 1'000'000; }));
    EXPECT_EQ(f.Text(kStartBox), "00:00:01.000");
    EXPECT_EQ(f.Text(kEndBox), "00:00:03.000");
    // Delete in the list removes the selected segment; Ctrl+Z there brings it back.
    QTest::keyClick(table, Qt::Key_Delete);
    EXPECT_EQ(SpansOf(f.w), (Spans{{2000, 2040, ""}}));
    QTest::keyClick(table, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(SpansOf(f.w), before);
    EXPECT_EQ(f.w.cutTab()->SelectedSegment(), 1);
}

TEST(SegmentsWindow, OneHundredAndTwentyChangesUndoToTheStartAndRedoToTheEnd) {
    FilmWindow f;
    CUlvaneAVConverterDlg& w = f.w;
    QWidget* bar = f.bar;
    std::vector<SegmentState> states = {{w.cutTab()->Segments(), w.cutTab()->SelectedSegment()}};
    for (int i = 0; i < 120; ++i) {
        SCOPED_TRACE(i);
        const int n = static_cast<int>(w.cutTab()->Segments().size());
        switch (i % 5) {
            case 0:  // a new segment somewhere
                f.Seek(15 + 10 * ((i * 7) % 97));
                f.Key(bar, Qt::Key_N);
                break;
            case 1:  // a label typed into the list
                w.cutTab()
                    ->segmentList()
                    ->table()
                    ->item(w.cutTab()->SelectedSegment(), SegmentList::kLabel)
                    ->setText(QString("take %1").arg(i));
                break;
            case 2:  // the start moved
                f.Seek(5 + 10 * ((i * 53) % 95));
                f.Key(bar, Qt::Key_I);
                break;
            case 3:  // moved in the list, or removed when it cannot move
                if (w.cutTab()->SelectedSegment() > 0)
                    f.Key(bar, Qt::Key_Up, Qt::ControlModifier);
                else if (w.cutTab()->SelectedSegment() < n - 1)
                    f.Key(bar, Qt::Key_Down, Qt::ControlModifier);
                else
                    f.Key(bar, Qt::Key_Delete);
                break;
            case 4:  // the end moved, or (every tenth) removed
                if (i % 10 == 9) {
                    f.Key(bar, Qt::Key_Delete);
                } else {
                    f.Seek(705 + 10 * (i % 29));
                    f.Key(bar, Qt::Key_O);
                }
                break;
        }
        const SegmentState now{w.cutTab()->Segments(), w.cutTab()->SelectedSegment()};
        ASSERT_NE(now, states.back()) << "each step changes something";
        states.push_back(now);
    }
    for (size_t k = states.size() - 1; k > 0; --k) {
        QTest::keyClick(bar, Qt::Key_Z, Qt::ControlModifier);
        ASSERT_EQ((SegmentState{w.cutTab()->Segments(), w.cutTab()->SelectedSegment()}), states[k - 1]) << k;
    }
    QTest::keyClick(bar, Qt::Key_Z, Qt::ControlModifier);  // nothing before the start
    EXPECT_TRUE(w.cutTab()->Segments().empty());
    for (size_t k = 1; k < states.size(); ++k) {
        QTest::keyClick(bar, k % 2 ? Qt::Key_Y : Qt::Key_Z,
                        k % 2 ? Qt::ControlModifier : Qt::ControlModifier | Qt::ShiftModifier);
        ASSERT_EQ((SegmentState{w.cutTab()->Segments(), w.cutTab()->SelectedSegment()}), states[k]) << k;
    }
    // The rows and the boxes show the last state again.
    const Segment last =
        w.cutTab()->Segments()[size_t(w.cutTab()->SelectedSegment())];  // a copy: Segments() returns a new list
    EXPECT_EQ(w.cutTab()->segmentList()->table()->rowCount(), static_cast<int>(w.cutTab()->Segments().size()));
    EXPECT_EQ(f.Text(kStartBox), QString::fromStdString(FormatTime(static_cast<int32_t>(last.startMicros / 1000))));
    EXPECT_EQ(f.Text(kEndBox), QString::fromStdString(FormatTime(static_cast<int32_t>(last.endMicros / 1000))));
}

TEST(SegmentsWindow, TheSeekBarShowsEverySegmentInItsColourTheSelectedOneBrighter) {
    FilmWindow f;
    f.WriteCsv("three.csv", "start,end,label\n1,1.8,a\n2,2.6,b\n3,3.8,c\n");
    ASSERT_EQ(f.w.cutTab()->Segments().size(), size_t{3}) << f.messages.shown.join("|").toStdString();
    const auto pixelAt = [&](double seconds) {
        const QImage shown = f.bar->grab().toImage();
        const QRect band = f.bar->BandRect(static_cast<int>(seconds * 250), static_cast<int>(seconds * 250) + 1);
        return shown.pixelColor(band.left(), band.center().y());
    };
    const double middles[] = {1.4, 2.3, 3.4};
    for (int selected : {2, 0}) {
        SCOPED_TRACE(selected);
        f.w.cutTab()->segmentList()->table()->selectRow(selected);
        QApplication::processEvents();
        for (int i = 0; i < 3; ++i) EXPECT_EQ(pixelAt(middles[i]), SegmentList::Colour(i, i == selected)) << i;
        EXPECT_GT(pixelAt(middles[selected]).lightness(), SegmentList::Colour(selected, false).lightness() + 40);
        // Between segments the channel shows none of their colours.
        for (int i = 0; i < 3; ++i)
            for (bool bright : {false, true}) EXPECT_NE(pixelAt(2.8), SegmentList::Colour(i, bright));
        // Choosing a segment shows its marks and its first picture.
        EXPECT_TRUE(Eventually(
            [&] { return Settled(f.w) && f.w.cutPreview()->figures().shownFrom / 1000 == 1000 * (selected + 1); }));
        EXPECT_EQ(f.Text(kStartBox), QString::fromStdString(FormatTime(1000 * (selected + 1))));
    }
}

TEST(SegmentsWindow, OverlapsShowInTheListAndOnTheSeekBarWithWhatAnExportDoes) {
    FilmWindow f;
    // Segment 1 ends at 2.5 s, inside segment 2; segment 3 stands apart.
    f.WriteCsv("overlap.csv", "1,2.5,a\n2,3,b\n3.5,3.8,c\n");
    ASSERT_EQ(f.w.cutTab()->Segments().size(), size_t{3});
    SegmentList* list = f.w.cutTab()->segmentList();
    QApplication::processEvents();
    const auto pixelAt = [&](double seconds) {
        const QImage shown = f.bar->grab().toImage();
        const QRect band = f.bar->BandRect(static_cast<int>(seconds * 250), static_cast<int>(seconds * 250) + 1);
        return shown.pixelColor(band.left(), band.center().y());
    };
    EXPECT_EQ(pixelAt(2.25), SegmentList::SharedColour()) << "the part both hold";
    EXPECT_EQ(pixelAt(1.5), SegmentList::Colour(0, true));  // selected
    EXPECT_EQ(pixelAt(2.75), SegmentList::Colour(1, false));
    const auto marked = [&](int row) {
        return list->table()->item(row, SegmentList::kStart)->background() != QBrush();
    };
    EXPECT_TRUE(marked(0));
    EXPECT_TRUE(marked(1));
    EXPECT_FALSE(marked(2));
    EXPECT_EQ(list->table()->item(0, SegmentList::kLabel)->toolTip().toStdString(), "Overlaps segment 2");
    EXPECT_TRUE(list->overlapNote()->isVisibleTo(&f.w));
    EXPECT_EQ(list->overlapNote()->text().toStdString(),
              "Segments 1, 2 overlap: a merged export repeats the part they share.");
    EXPECT_TRUE(
        list->overlapNote()->toolTip().startsWith("Segments 1, 2 overlap. A merged export shows the part they "
                                                  "share once for each of them"))
        << list->overlapNote()->toolTip().toStdString();
    // Segment 1 ended where segment 2 starts: nothing is shared any more.
    list->Change({{{1'000'000, 2'000'000, "a"}, {2'000'000, 3'000'000, "b"}}, 0});
    QApplication::processEvents();
    EXPECT_FALSE(list->overlapNote()->isVisibleTo(&f.w));
    EXPECT_FALSE(marked(0));
    EXPECT_NE(pixelAt(1.99), SegmentList::SharedColour());
}

TEST(SegmentsWindow, SegmentsComeBackWithTheirFileButNotAfterItChanged) {
    const std::pair<const char*, std::function<void(const fs::path&)>> changes[] = {
        {"touched", [](const fs::path& p) { fs::last_write_time(p, fs::last_write_time(p) + std::chrono::hours(1)); }},
        {"replaced",
         [](const fs::path& p) { fs::copy_file(Colours().toStdString(), p, fs::copy_options::overwrite_existing); }},
    };
    for (const auto& [how, change] : changes) {
        SCOPED_TRACE(how);
        TempDir files;
        const fs::path film = files.path() / "film.mp4";
        fs::copy_file(Film25().toStdString(), film);
        FilmWindow f(QString::fromStdString(film.string()));
        f.WriteCsv("two.csv", "start,end,label\n00:00:01.000,00:00:02.500,\"one, then\"\n3,3.5,two\n");
        f.w.cutTab()->segmentList()->table()->selectRow(1);
        const Spans made = SpansOf(f.w);
        ASSERT_EQ(made.size(), size_t{2});
        f.Add({Colours()});
        EXPECT_TRUE(f.w.cutTab()->Segments().empty()) << "another file has none";
        f.Add({QString::fromStdString(film.string())});
        EXPECT_EQ(SpansOf(f.w), made);
        EXPECT_EQ(f.w.cutTab()->SelectedSegment(), 0);
        EXPECT_EQ(f.Text(kEndBox), "00:00:02.500");
        // The preview shows the picture segment 1 starts on, not the file's first.
        EXPECT_TRUE(Eventually([&] { return Settled(f.w) && f.w.cutPreview()->figures().shownFrom / 1000 == 1000; }));
        // Another file's load starts a fresh history: there is nothing to undo.
        QTest::keyClick(f.bar, Qt::Key_Z, Qt::ControlModifier);
        EXPECT_EQ(SpansOf(f.w), made);
        f.Add({Colours()});
        change(film);
        f.Add({QString::fromStdString(film.string())});
        EXPECT_TRUE(f.w.cutTab()->Segments().empty());
    }
}

TEST(SegmentsWindow, ACsvFileRoundTripsThroughTheDialogsAndABadOneIsNamedWithItsLine) {
    FilmWindow f;
    f.WriteCsv("in.csv", "start,end,label\n0.5,1.25,Intro\n2,3.5,\"Take \"\"two\"\", long\"\n");
    const Spans loaded = {{500, 1250, "Intro"}, {2000, 3500, "Take \"two\", long"}};
    ASSERT_EQ(SpansOf(f.w), loaded) << f.messages.shown.join("|").toStdString();
    EXPECT_TRUE(f.lastFilter.contains("*.csv"));
    f.nextSavePath = QString::fromStdString(f.dir / "out.csv");
    f.w.cutTab()->SaveSegmentsFile();
    EXPECT_EQ(
        ReadFileBytes(f.dir / "out.csv"),
        "start,end,label\n00:00:00.500,00:00:01.250,Intro\n00:00:02.000,00:00:03.500,\"Take \"\"two\"\", long\"\n");
    // Loading replaces the list as one step that can be undone.
    f.WriteCsv("one.csv", "1,2\n");
    EXPECT_EQ(SpansOf(f.w), (Spans{{1000, 2000, ""}}));
    QTest::keyClick(f.bar, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(SpansOf(f.w), loaded);
    f.WriteCsv("back.csv", ReadFileBytes(f.dir / "out.csv"));
    EXPECT_EQ(SpansOf(f.w), loaded);
    ASSERT_TRUE(f.messages.shown.isEmpty()) << f.messages.shown.join("|").toStdString();

    // A file that cannot be used is named with what is wrong, and the list stays.
    const struct {
        const char* name;
        const char* text;
        const char* says;
    } bad[] = {
        {"bad.csv", "start,end,label\n1,2,a\n3,three,b\n", "line 3"},
        {"backwards.csv", "start,end,label\n1,2,a\n3,2.5,b\n", "line 3: the segment ends at 00:00:02.500"},
        {"beyond.csv", "1,2\n4.5,6\n", "line 2: the segment starts at 00:00:04.500"},
    };
    for (const auto& b : bad) {
        SCOPED_TRACE(b.name);
        f.messages.shown.clear();
        f.WriteCsv(b.name, b.text);
        ASSERT_EQ(f.messages.shown.size(), 1);
        EXPECT_TRUE(f.messages.shown[0].contains(b.name)) << f.messages.shown[0].toStdString();
        EXPECT_TRUE(f.messages.shown[0].contains(b.says)) << f.messages.shown[0].toStdString();
        EXPECT_EQ(SpansOf(f.w), loaded);
    }
    // A segment that runs past the file's end (4 s) is cut to it, as the command line does,
    // with a note naming its line.
    f.messages.shown.clear();
    f.WriteCsv("late.csv", "1,2\n3,9\n");
    EXPECT_EQ(SpansOf(f.w), (Spans{{1000, 2000, ""}, {3000, 4000, ""}}));
    ASSERT_EQ(f.messages.shown.size(), 1);
    EXPECT_TRUE(f.messages.shown[0].contains("line 2: the segment's end 00:00:09.000 is past the end"))
        << f.messages.shown[0].toStdString();
    f.nextOpenPath = QString::fromStdString(f.dir / "missing.csv");
    f.messages.shown.clear();
    f.w.cutTab()->LoadSegmentsFile();
    ASSERT_EQ(f.messages.shown.size(), 1);
    EXPECT_TRUE(f.messages.shown[0].contains("missing.csv"));
}

// The file's own chapters become the list; an output typed in its column is a step of its
// own; the list goes out and comes back through the dialogs in every format its name asks
// for, an EDL's times on the pictures, and only CSV keeps the output.
TEST(SegmentsWindow, ChaptersOutputsAndEveryListFormatGoThroughTheList) {
    static const TempDir metaDir;
    WriteFileBytes(metaDir / "chapters.ffmeta",
                   ";FFMETADATA1\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=1600\n"
                   "title=One\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=1600\nEND=4000\n");
    FilmWindow f(QString::fromStdString(
        Fixture("segments_25fps_chapters.mkv", {"-i", Film25().toStdString(), "-i", metaDir / "chapters.ffmeta", "-map",
                                                "0", "-map_chapters", "1", "-c", "copy"})));
    SegmentList* list = f.w.cutTab()->segmentList();
    list->chaptersAction()->trigger();
    const Spans chapters = {{0, 1600, "One"}, {1600, 4000, ""}};
    ASSERT_EQ(SpansOf(f.w), chapters) << f.messages.shown.join("|").toStdString();
    list->table()->item(1, SegmentList::kOutput)->setText("second part");
    EXPECT_EQ(f.w.cutTab()->Segments()[1].output, "second part");
    const struct {
        const char* name;
        const char* holds;  // in the file written
        bool keepsOutput;
    } formats[] = {{"list.csv", "00:00:01.600,00:00:04.000,,second part", true},
                   {"list.edl", "00:00:01:15 00:00:04:00", false},
                   {"list.txt", "0:01.6", false},
                   {"list.cue", "INDEX 01 00:01:45", false},
                   {"list.ffmetadata", "START=1600000", false}};
    for (const auto& format : formats) {
        SCOPED_TRACE(format.name);
        f.nextSavePath = QString::fromStdString(f.dir / format.name);
        f.w.cutTab()->SaveSegmentsFile();
        EXPECT_NE(ReadFileBytes(f.dir / format.name).find(format.holds), std::string::npos)
            << ReadFileBytes(f.dir / format.name);
        f.WriteCsv(format.name, ReadFileBytes(f.dir / format.name));
        EXPECT_EQ(SpansOf(f.w), chapters) << f.messages.shown.join("|").toStdString();
        EXPECT_EQ(f.w.cutTab()->Segments()[1].output, format.keepsOutput ? "second part" : "");
        // A list that drops the output replaced the list: undone, the output is back.
        if (!format.keepsOutput) QTest::keyClick(f.bar, Qt::Key_Z, Qt::ControlModifier);
    }
    EXPECT_TRUE(f.lastFilter.contains("*.edl")) << f.lastFilter.toStdString();
    EXPECT_TRUE(f.messages.shown.isEmpty()) << f.messages.shown.join("|").toStdString();
    QTest::keyClick(f.bar, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(f.w.cutTab()->Segments()[1].output, "");
}

TEST(SegmentsWindow, SendToJoinListGivesTheSelectedSegmentOrAllOnceHooked) {
    FilmWindow f;
    f.WriteCsv("two.csv", "1,2,a\n3,4,b\n");
    f.w.cutTab()->segmentList()->table()->selectRow(1);
    SegmentList* list = f.w.cutTab()->segmentList();
    EXPECT_FALSE(list->sendButton()->isVisibleTo(&f.w)) << "nothing takes them yet";
    std::vector<std::pair<QString, Spans>> sent;
    f.w.cutTab()->SetSendToJoinList([&](const QString& source, const std::vector<Segment>& segments) {
        Spans spans;
        for (const Segment& s : segments) spans.emplace_back(s.startMicros / 1000, s.endMicros / 1000, s.label);
        sent.emplace_back(source, spans);
    });
    EXPECT_TRUE(list->sendButton()->isVisibleTo(&f.w));
    list->sendSelectedAction()->trigger();
    list->sendAllAction()->trigger();
    ASSERT_EQ(sent.size(), size_t{2});
    EXPECT_EQ(sent[0], std::make_pair(Film25(), Spans{{3000, 4000, "b"}}));
    EXPECT_EQ(sent[1], std::make_pair(Film25(), Spans{{1000, 2000, "a"}, {3000, 4000, "b"}}));
}

TEST(SegmentsWindow, EveryLanguageNamesTheListsPartsAndTheyShowWhole) {
    FilmWindow f;
    f.w.cutTab()->SetSendToJoinList([](const QString&, const std::vector<Segment>&) {});
    SegmentList* list = f.w.cutTab()->segmentList();
    for (int language = 0; language < 6; ++language) {
        f.w.SelectLanguage(language);
        QApplication::processEvents();
        SCOPED_TRACE(f.w.languageTable().activeFile());
        for (std::string_view key : SegmentList::TextKeys())
            EXPECT_FALSE(f.w.languageTable().ReadFromFile("SEGMENTS", key).empty()) << key;
        const std::pair<QPushButton*, const char*> buttons[] = {{list->addButton(), "tj"},
                                                                {list->removeButton(), "sc"},
                                                                {list->sendButton(), "fs"},
                                                                {list->fileButton(), "wj"}};
        for (const auto& [b, key] : buttons) {
            EXPECT_EQ(b->text().toStdString(), f.w.languageTable().ReadFromFile("SEGMENTS", key));
            EXPECT_GE(b->width(), b->fontMetrics().horizontalAdvance(b->text()) + 12) << b->text().toStdString();
        }
        QTableWidget* table = list->table();
        for (int c = 0; c < SegmentList::kLabel; ++c)
            EXPECT_GE(table->columnWidth(c), table->horizontalHeader()->fontMetrics().horizontalAdvance(
                                                 table->horizontalHeaderItem(c)->text()))
                << c;
        // The list lies inside the window, clear of the cut controls and the status line.
        EXPECT_TRUE(f.w.rect().contains(list->geometry()));
        for (int id : {kStartBox, kEndBox, kConvertButton, kLengthText, kStatusLine})
            EXPECT_FALSE(list->geometry().intersects(f.w.Item(id)->geometry())) << id;
    }
}

TEST(SegmentsWindow, WithoutAFileThereIsNothingToAddOrLoad) {
    Harness h;
    SegmentList* list = h.window->cutTab()->segmentList();
    EXPECT_FALSE(list->addButton()->isEnabled());
    EXPECT_FALSE(list->fileButton()->isEnabled());
    QTest::keyClick(h.window.get(), Qt::Key_N);
    QTest::keyClick(h.window.get(), Qt::Key_I);
    EXPECT_TRUE(h.window->cutTab()->Segments().empty());
    h.Add({Film25()});
    EXPECT_TRUE(list->addButton()->isEnabled());
    EXPECT_TRUE(list->loadAction()->isEnabled());
    EXPECT_FALSE(list->saveAction()->isEnabled()) << "no segment to save yet";
}
