// The main window headless: layout, tabs, adding files, typed times, the join rows,
// the Delete key, languages and tooltips (the preview itself: preview_window_test.cpp).
#include <gtest/gtest.h>

#include "tests/support/eventually.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QTabBar>
#include <QTest>
#include <QUrl>
#include <filesystem>

#include "controls/bitmap_slider.h"
#include "controls/check_list.h"
#include "controls/hyperlink.h"
#include "controls/timeline_strip.h"
#include "core/language_table.h"
#include "core/time_text.h"
#include "engine/media_probe.h"
#include "tests/support/media_tools.h"
#include "tests/ui/window_harness.h"
#include "ui/control_ids.h"
#include "ui/dialog_template.h"
#include "ui/main_window.h"
#include "ui/preview_frame.h"
#include "ui/segment_list.h"

namespace fs = std::filesystem;
using namespace ulvane;
using namespace ulvane::main_id;
using ulvane::test::Fixture;
using ulvane::test::TempDir;
using namespace ulvane::test;

TEST(MainWindow, EveryItemSitsWhereItsTemplatePutsIt) {
    Harness h;
    const QSize base = DialogBaseUnits(h.window->font());
    const QSize templateSize = DluToPixels(QRect(0, 0, 363, 262), base).size();
    // The segment list has a strip of its own under the cut controls, with the status line
    // under it; the join tab's list grows into the strip, the buttons under its middle move down.
    const QWidget* list = h.window->cutTab()->segmentList();
    const int room = h.window->height() - templateSize.height();
    // The timeline strip lies between the preview and the seek bar, as wide as the window.
    const QWidget* strip = h.window->cutPreview()->timelineStrip();
    const int stripRoom = strip->height() + 4;
    EXPECT_GT(room, list->height() + stripRoom);
    EXPECT_EQ(strip->width(), h.window->width() - 2 * strip->x());
    // The window is as wide as the widest language needs, so that no language widens it: the
    // items keep to the template's edges, the wide ones stretched by as much.
    const int dx = h.window->width() - templateSize.width();
    EXPECT_GE(dx, 0);
    EXPECT_LT(dx, templateSize.width() / 5);
    const std::map<int, QSize> grown = {{kSourceList, {0, room}}};
    const std::map<int, QPoint> moved = {{kStatusLine, {0, room}},
                                         {kMergeButton, {0, room}},
                                         {kMoveUpButton, {0, room}},
                                         {kMoveDownButton, {0, room}},
                                         {kApplyToAllButton, {0, room}}};
    for (const TemplateItem& item : MainDialogTemplate().items) {
        SCOPED_TRACE(item.id);
        const QWidget* w = h.window->Item(item.id);
        ASSERT_NE(w, nullptr);
        QRect want = DluToPixels(item.dlu, base);
        if (moved.count(item.id))
            want.translate(moved.at(item.id));
        else if (item.dlu.y() > 180)  // under the preview: below the timeline strip and the gap under it
            want.translate(0, stripRoom);
        if (grown.count(item.id)) want.setSize(want.size() + grown.at(item.id));
        if (item.id == kAddButton)  // in the middle of the preview
            want.translate(dx / 2, 0);
        else if (item.id != kEndPointButton)  // which stays with the other cut buttons
            want = Anchored(want, templateSize, {dx, 0});
        EXPECT_EQ(w->pos(), want.topLeft());
        // Bitmap buttons and the seek bar take their bitmap's size; a closed drop-down list
        // one line's height; the rest their template's.
        if (item.kind == ItemKind::Combo) {
            EXPECT_EQ(w->width(), want.width());
        } else if (item.kind != ItemKind::BitmapButton && item.kind != ItemKind::Slider &&
                   item.kind != ItemKind::Link) {
            EXPECT_EQ(w->size(), want.size());
        }
        EXPECT_EQ(w->isVisibleTo(h.window.get()), item.visible);
    }
    EXPECT_EQ(h.window->ItemAs<CBitmapSlider>(kSeekBar)->size(), QSize(620 + dx, 20));
    EXPECT_FALSE(h.window->Item(kSeekBar)->isEnabled());
    EXPECT_EQ(h.window->size(), templateSize + QSize(dx, room));
    // The list lies between the cut row and the status line, as wide as the status line's margins allow.
    EXPECT_GT(list->y(), h.window->Item(kConvertButton)->geometry().bottom());
    EXPECT_LT(list->geometry().bottom(), h.window->Item(kStatusLine)->y());
    EXPECT_EQ(list->x(), h.window->Item(kStatusLine)->x());
    EXPECT_EQ(list->geometry().right(), h.window->width() - 1 - list->x());
    EXPECT_EQ(h.window->palette().color(QPalette::Window), QColor(187, 222, 251));
}

TEST(MainWindow, TabsShowAndHideTheirControls) {
    Harness h;
    auto visible = [&](int id) { return h.window->Item(id)->isVisibleTo(h.window.get()); };
    h.window->SelectTab(1);
    for (int id : {kSourceList, kMergeButton, kRemoveButton, kAddFilesButton}) EXPECT_TRUE(visible(id)) << id;
    for (int id : {kConvertButton, kSeekBar, kStartPointButton, kEndPointButton, kOpenButton, kStartBox, kEndBox,
                   kLengthText, kPreview, kAddButton, kPlayButton})
        EXPECT_FALSE(visible(id)) << id;
    // The language box and its caption are in sight on both tabs, clear of the help link.
    EXPECT_TRUE(visible(kLanguageBox) && visible(kLanguageCaption));
    EXPECT_FALSE(h.window->Item(kLanguageBox)->geometry().intersects(h.window->Item(kHelpLink)->geometry()));
    EXPECT_FALSE(h.window->Item(kLanguageCaption)->geometry().intersects(h.window->Item(kTabs)->geometry()));
    h.window->SelectTab(0);
    EXPECT_TRUE(visible(kLanguageBox));
    for (int id : {kConvertButton, kSeekBar, kPreview, kAddButton, kPlayButton, kOpenButton})
        EXPECT_TRUE(visible(id)) << id;
    for (int id : {kSourceList, kMergeButton, kRemoveButton, kAddFilesButton}) EXPECT_FALSE(visible(id)) << id;
    // With a source loaded the add button stays hidden across tab switches.
    h.Add({Colours()});
    h.window->SelectTab(1);
    h.window->SelectTab(0);
    EXPECT_FALSE(visible(kAddButton));
    EXPECT_TRUE(visible(kPreview));
}

TEST(MainWindow, AddingOnTheCutTabLoadsTheLastFileIntoThePreview) {
    Harness h;
    h.Add({Av("w25.mp4", "25"), Av("w30.mp4", "30000/1001"), Colours()});
    EXPECT_EQ(h.window->cutTab()->cutSourcePath(), Colours());
    EXPECT_EQ(h.window->ItemAs<CCheckListCtrl>(kSourceList)->rowCount(), 0);
    EXPECT_FALSE(h.window->Item(kAddButton)->isVisibleTo(h.window.get()));
    EXPECT_TRUE(h.window->Item(kSeekBar)->isEnabled());
    const QColor c = CentreColour(h.window->ItemAs<PreviewFrame>(kPreview));
    EXPECT_GT(c.red(), 200);
    EXPECT_LT(c.green(), 60);
    EXPECT_EQ(h.Text(kStartBox), "00:00:00.000");
    EXPECT_EQ(h.Text(kEndBox), "00:00:03.000");
    EXPECT_EQ(h.Text(kLengthText), "00:00:03.000");
    EXPECT_EQ(h.Text(kPositionText), "00:00:00.000 / 00:00:03.000");
    auto* bar = h.window->ItemAs<CBitmapSlider>(kSeekBar);
    EXPECT_EQ(bar->selectionStart(), 0);
    EXPECT_EQ(bar->selectionEnd(), 1000);
    EXPECT_TRUE(fs::exists(h.dir / "image.bmp"));
}

TEST(MainWindow, AddingOnTheJoinTabAppendsTickedRows) {
    Harness h;
    h.window->SelectTab(1);
    h.Add({Av("w25.mp4", "25"), Av("w30.mp4", "30000/1001")});
    h.Add({Av("w25.mp4", "25")});  // the same file again: a second row
    auto* list = h.window->ItemAs<CCheckListCtrl>(kSourceList);
    ASSERT_EQ(list->rowCount(), 3);
    // The name shows; the whole path stays with the row, its folder in the tooltip.
    const QStringList expected = {"w30.mp4", "mp4", "00:00:02.002", "320*240", "29.97fps", "Ready"};
    for (int c = 0; c < source_column::kCount; ++c) EXPECT_EQ(list->item(1, c)->text(), expected[c]) << c;
    EXPECT_EQ(h.window->joinTab()->RowPath(1), Av("w30.mp4", "30000/1001"));
    EXPECT_TRUE(list->item(1, source_column::kPath)
                    ->toolTip()
                    .startsWith(QFileInfo(Av("w30.mp4", "30000/1001")).absolutePath() + "\n"));
    EXPECT_EQ(list->item(0, source_column::kFrameRate)->text(), "25.00fps");
    for (int r = 0; r < 3; ++r) EXPECT_TRUE(list->IsChecked(r));
    EXPECT_TRUE(list->headerChecked());
    EXPECT_TRUE(h.window->cutTab()->cutSourcePath().isEmpty());
    // A portrait take, turned upright by its display matrix, shows the size it is seen at.
    h.Add({QString::fromStdString(Fixture(
        "w25_rot90.mp4", {"-i", Av("w25.mp4", "25").toStdString(), "-c", "copy", "-metadata:s:v:0", "rotate=90"}))});
    EXPECT_EQ(list->item(3, source_column::kSize)->text(), "240*320");
}

TEST(MainWindow, RefusedFilesAreNamedInOneMessageAndTheGoodOnesStillCome) {
    Harness h;
    h.window->SelectTab(1);
    WriteFileBytes(h.dir / "notes.mp4", "not a video");
    WriteFileBytes(h.dir / "list.txt", "nor this");
    h.Add({Av("w25.mp4", "25"), QString::fromStdString(h.dir / "notes.mp4"), Av("w30.mp4", "30000/1001"),
           QString::fromStdString(h.dir / "list.txt")});
    auto* list = h.window->ItemAs<CCheckListCtrl>(kSourceList);
    ASSERT_EQ(list->rowCount(), 2);
    EXPECT_EQ(h.window->joinTab()->RowPath(1), Av("w30.mp4", "30000/1001"));
    ASSERT_EQ(h.messages.shown.size(), 1);
    const QString& m = h.messages.shown[0];
    EXPECT_TRUE(
        m.startsWith("The file notes.mp4 cannot be opened. It may be damaged or in a format that is not supported.\n("))
        << m.toStdString();
    EXPECT_TRUE(m.contains("The file list.txt cannot be opened")) << m.toStdString();
    EXPECT_TRUE(m.contains(ProbeResultText(kProbeCannotOpen))) << m.toStdString();

    // On the cut tab the last good file becomes the source.
    h.window->SelectTab(0);
    h.Add({Colours(), QString::fromStdString(h.dir / "notes.mp4")});
    EXPECT_EQ(h.window->cutTab()->cutSourcePath(), Colours());
    EXPECT_EQ(h.Text(kEndBox), "00:00:03.000");
}

TEST(MainWindow, TheLoadedFileIsNamedInTheTitleAndThePreviewsTooltipAndTheStatusLineSaysWhatItHolds) {
    Harness h;
    const QString bare = h.window->windowTitle();
    EXPECT_EQ(h.Text(kStatusLine), "");
    const QString withSound = QString::fromStdString(
        Fixture("window_status.mkv", {"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=30", "-f", "lavfi", "-i",
                                      "sine=sample_rate=48000", "-t", "2", "-c:v", "mpeg4", "-c:a", "flac"}));
    h.Add({withSound});
    EXPECT_EQ(h.Text(kStatusLine), QString::fromUtf8("MPEG4 320*240 30.00fps  \u00b7  FLAC 48000 Hz  \u00b7  ") +
                                       h.Text(kPositionText).section(" / ", 1));
    h.Add({Colours()});
    EXPECT_EQ(h.Text(kStatusLine), QString::fromUtf8("H264 160*120 25.00fps  \u00b7  00:00:03.000"));
    h.window->SelectTab(1);
    EXPECT_FALSE(h.window->Item(kStatusLine)->isVisible());  // it speaks of the cut tab's file
    h.window->SelectTab(0);
    EXPECT_EQ(h.window->windowTitle(), bare + " - window_colours.mp4");
    // The tooltip gives the whole path and the tracks.
    EXPECT_EQ(h.window->Item(kPreview)->toolTip(), Colours() + "\nSound tracks: 0\nSubtitle tracks: 0");
    h.window->SelectLanguage(*LanguagePosition("german.ini"));
    EXPECT_TRUE(h.window->windowTitle().endsWith(" - window_colours.mp4"));
    EXPECT_TRUE(h.window->Item(kPreview)->toolTip().contains("Tonspuren: 0"));
    h.window->SelectTab(1);
    h.Add({Av("tip25.mp4", "25")});
    EXPECT_TRUE(h.window->ItemAs<CCheckListCtrl>(kSourceList)
                    ->item(0, source_column::kPath)
                    ->toolTip()
                    .contains("Tonspuren: 0\nUntertitelspuren: 0"));
}

TEST(MainWindow, TheFileDialogListsEveryContainerTheProgramReads) {
    Harness h;
    h.Add({});
    for (const char* ext : {"*.webm", "*.ogv", "*.m2ts", "*.mxf", "*.mp4", "*.mkv", "*.wmv", "*.rmvb"})
        EXPECT_TRUE(h.lastFilter.contains(QString(ext) + " ") || h.lastFilter.contains(QString(ext) + ")")) << ext;
    const QString media = h.lastFilter.section(";;", 0, 0);
    for (const char* ext : {"*.srt ", "*.png ", "*.txt "}) EXPECT_FALSE(media.contains(ext)) << ext;
}

TEST(MainWindow, TypedTimesAreCheckedMoveTheirMarksAndShowTheirPictures) {
    Harness h;
    h.Add({Colours()});  // a red, a green and a blue second
    auto* start = h.window->ItemAs<QLineEdit>(kStartBox);
    auto* end = h.window->ItemAs<QLineEdit>(kEndBox);
    auto* bar = h.window->ItemAs<CBitmapSlider>(kSeekBar);
    auto* preview = h.window->ItemAs<PreviewFrame>(kPreview);
    // A text that is no time shows plainly: its box turns red.
    const auto reddish = [](QLineEdit* box) {
        const QColor c = box->grab().toImage().pixelColor(box->width() - 4, box->height() / 2);
        return c.red() > 230 && c.green() < 240 && c.blue() < 240;
    };
    for (const char* bad : {"abc", "99:99:99", "1:60"}) {
        start->setText(bad);
        EXPECT_TRUE(reddish(start)) << bad;
        EXPECT_EQ(h.Text(kLengthText), "00:00:00.000") << bad;
    }
    // The cut refuses to start, names the box and says how to type a time.
    h.settings = [](OutputSettingsDialog&) { FAIL() << "no settings dialog for a bad time"; };
    h.window->cutTab()->LaunchCut();
    ASSERT_EQ(h.messages.shown.size(), 1);
    EXPECT_EQ(h.messages.shown[0].toStdString(),
              "Start: \"1:60\" is not a time. Please type it as HH:MM:SS.fff, MM:SS or seconds, for example "
              "00:01:30.500.");
    h.messages.shown.clear();

    const auto type = [&](QLineEdit* box, const char* text) {
        box->setFocus();
        box->selectAll();
        QTest::keyClicks(box, text);
        QTest::keyClick(box, Qt::Key_Return);
    };
    // A time outside the file or the wrong way round is refused and the time before kept; an
    // end past the file's end is its end.
    struct Step {
        QLineEdit* box;
        const char* typed;
        const char* start;
        const char* end;
        const char* message;  // "" for none
    };
    const Step steps[] = {
        {start, "1.5", "00:00:01.500", "00:00:03.000", ""},
        {end, "0:00.5", "00:00:01.500", "00:00:03.000",
         "The end 00:00:00.500 comes before the start 00:00:01.500. The end is left as it was."},
        {start, "00:05:00", "00:00:01.500", "00:00:03.000",
         "The start 00:05:00.000 lies past the end of the file (00:00:03.000). The start is left as it was."},
        {end, "2", "00:00:01.500", "00:00:02.000", ""},
        {start, "2.5", "00:00:01.500", "00:00:02.000",
         "The start 00:00:02.500 comes after the end 00:00:02.000. The start is left as it was."},
        {end, "20", "00:00:01.500", "00:00:03.000",
         "The end 00:00:20.000 lies past the end of the file: the cut ends at the end of the file, 00:00:03.000."},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.typed);
        h.messages.shown.clear();
        type(step.box, step.typed);
        EXPECT_EQ(h.Text(kStartBox), step.start);
        EXPECT_EQ(h.Text(kEndBox), step.end);
        EXPECT_EQ(h.messages.shown.join("|").toStdString(), step.message);
        EXPECT_FALSE(reddish(step.box));
    }
    EXPECT_EQ(bar->selectionStart(), 500);
    EXPECT_EQ(bar->selectionEnd(), 1000);
    EXPECT_EQ(h.Text(kLengthText), "00:00:01.500");
    // The picture at the typed start, 1.5 s: green.
    type(start, "0:1.5");
    EXPECT_TRUE(Eventually([&] { return CentreColour(preview).green() > 200; }));
    EXPECT_EQ(h.window->cutPreview()->figures().positionMs, 1500);
    // Tabbing through the boxes without typing moves nothing.
    for (QLineEdit* box : {start, end}) {
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Tab);
        EXPECT_EQ(h.window->cutPreview()->figures().positionMs, 1500);
    }
    EXPECT_EQ(h.Text(kStartBox), "00:00:01.500");
    EXPECT_EQ(h.Text(kEndBox), "00:00:03.000");
}

TEST(MainWindow, JoinRowsMoveByKeysButtonsAndDraggingAndJoinInTheOrderShown) {
    Harness h;
    h.window->SelectTab(1);
    const QString a = Av("w25.mp4", "25"), b = Av("w30.mp4", "30000/1001"), c = Av("w24.mp4", "24");
    h.Add({a, b, c});
    auto* list = h.window->ItemAs<CCheckListCtrl>(kSourceList);
    list->SetChecked(1, false);
    list->setFocus();
    list->selectRow(2);
    QTest::keyClick(list, Qt::Key_Up, Qt::ControlModifier);
    QTest::keyClick(list, Qt::Key_Up, Qt::ControlModifier);
    QTest::keyClick(list, Qt::Key_Up, Qt::ControlModifier);  // already at the top: nothing moves
    auto paths = [&] {
        QStringList p;
        for (int r = 0; r < list->rowCount(); ++r) p << h.window->joinTab()->RowPath(r);
        return p;
    };
    EXPECT_EQ(paths(), (QStringList{c, a, b}));
    EXPECT_EQ(list->item(0, source_column::kFrameRate)->text(), "24.00fps") << "every column moves with its row";
    EXPECT_TRUE(list->IsChecked(0) && list->IsChecked(1));
    EXPECT_FALSE(list->IsChecked(2)) << "the tick moves with its row";
    QTest::keyClick(list, Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(paths(), (QStringList{a, c, b}));
    // The arrow buttons beside the list do the same.
    auto* up = h.window->ItemAs<QAbstractButton>(kMoveUpButton);
    ASSERT_TRUE(up->isVisible());
    up->click();
    EXPECT_EQ(paths(), (QStringList{c, a, b}));
    EXPECT_EQ(h.window->TooltipFor(kMoveDownButton).toStdString(), h.window->languageTable().Text("HINT", "xy"));
    // And a row dragged within the list: the unticked last row onto the upper half of the first.
    QMimeData dragged;
    dragged.setData(CCheckListCtrl::kRowMimeType, "2");
    const QRect first = list->visualRect(list->model()->index(0, 0));
    QDropEvent drop(QPointF(first.center().x(), first.top() + 2), Qt::CopyAction, &dragged, Qt::LeftButton,
                    Qt::NoModifier);
    QDragEnterEvent enter(drop.position().toPoint(), Qt::CopyAction, &dragged, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &enter);  // a drop goes to the widget that took the drag
    EXPECT_TRUE(enter.isAccepted());
    QApplication::sendEvent(list->viewport(), &drop);
    EXPECT_EQ(paths(), (QStringList{b, c, a}));
    EXPECT_FALSE(list->IsChecked(0)) << "the tick moves with its row";
    EXPECT_EQ(list->item(2, source_column::kFrameRate)->text(), "25.00fps");
    // Joined in the order shown.
    h.settings = [](OutputSettingsDialog& d) { d.Start(); };
    h.folderToPick = QString::fromStdString(h.dir.path().string());
    h.window->joinTab()->LaunchJoin();
    h.window->launcher()->WaitForWorker();
    ASSERT_NE(h.window->launcher()->job(), nullptr);
    ASSERT_EQ(h.window->launcher()->job()->inputCount, 2);
    EXPECT_EQ(h.window->launcher()->job()->inputPaths[0], c.toStdString());
    EXPECT_EQ(h.window->launcher()->job()->inputPaths[1], a.toStdString());
}

TEST(MainWindow, FilesDroppedOnTheWindowComeInAsTheAddButtonBringsThem) {
    Harness h;
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(Colours())});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(h.window.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(h.window.get(), &drop);
    EXPECT_TRUE(Eventually([&] { return h.window->cutTab()->cutSourcePath() == Colours(); }));

    h.window->SelectTab(1);
    WriteFileBytes(h.dir / "notes.mp4", "not a video");
    data.setUrls(
        {QUrl::fromLocalFile(Av("w25.mp4", "25")), QUrl::fromLocalFile(QString::fromStdString(h.dir / "notes.mp4"))});
    // Dropped on the list, which reorders its own rows only: the window takes the files.
    QWidget* listView = h.window->ItemAs<CCheckListCtrl>(kSourceList)->viewport();
    QDragEnterEvent overList(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(listView, &overList);
    EXPECT_TRUE(overList.isAccepted());
    QDropEvent second(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(listView, &second);
    EXPECT_TRUE(Eventually([&] { return h.window->ItemAs<CCheckListCtrl>(kSourceList)->rowCount() == 1; }));
    EXPECT_EQ(h.messages.shown.size(), 1) << "the same checks as the add button";

    QMimeData text;
    text.setText("hello");
    QDragEnterEvent words(QPoint(10, 10), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    words.ignore();
    QApplication::sendEvent(h.window.get(), &words);
    EXPECT_FALSE(words.isAccepted());
}

TEST(MainWindow, OnlyADragOnTheBackgroundMovesTheWindow) {
    Harness h;
    QWidget* w = h.window.get();
    const QPoint spot(3, h.window->height() - 3);  // the background, below every control
    ASSERT_EQ(w->childAt(spot), nullptr);
    QTest::mousePress(w, Qt::LeftButton, {}, spot);
    QTest::mouseRelease(w, Qt::LeftButton, {}, spot);
    EXPECT_EQ(h.moves, 0) << "a click does not move the window";
    QTest::mousePress(w, Qt::LeftButton, {}, spot);
    QMouseEvent move(QEvent::MouseMove, QPointF(spot + QPoint(12, 0)), w->mapToGlobal(QPointF(spot + QPoint(12, 0))),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w, &move);
    QTest::mouseRelease(w, Qt::LeftButton, {}, spot + QPoint(12, 0));
    EXPECT_EQ(h.moves, 1);
}

TEST(MainWindow, DeleteRemovesTheSelectedRowFromAnywhere) {
    Harness h;
    h.window->SelectTab(1);
    h.Add({Av("w25.mp4", "25"), Av("w30.mp4", "30000/1001"), Av("w25.mp4", "25")});
    auto* list = h.window->ItemAs<CCheckListCtrl>(kSourceList);
    list->selectRow(2);
    QApplication::setActiveWindow(h.window.get());
    // From a time box: the row goes, the box keeps its text.
    auto* box = h.window->ItemAs<QLineEdit>(kStartBox);
    box->setFocus();
    box->setCursorPosition(0);
    QTest::keyClick(box, Qt::Key_Delete);
    EXPECT_EQ(list->rowCount(), 2);
    EXPECT_EQ(box->text(), "00:00:00.000");
    // Deleting the last row selects the new last row.
    EXPECT_EQ(list->selectedItems().first()->row(), 1);
    list->clearSelection();
    QTest::keyClick(list, Qt::Key_Delete);  // nothing selected: nothing happens
    EXPECT_EQ(list->rowCount(), 2);
}

TEST(MainWindow, EnterAndEscapeDoNotClose) {
    Harness h;
    QTest::keyClick(h.window.get(), Qt::Key_Return);
    QTest::keyClick(h.window.get(), Qt::Key_Escape);
    EXPECT_TRUE(h.window->isVisible());
}

TEST(MainWindow, ALanguageSwitchChangesEveryTextAtOnce) {
    Harness h;
    // The version the title shows is the one ulvane-cli --version prints.
    std::string version = ulvane::test::Run({ulvane::test::CliPath(), "--version"}).out;
    version = version.substr(version.find(' ') + 1);
    version.erase(version.find_last_not_of('\n') + 1);
    EXPECT_EQ(h.window->windowTitle().toStdString(), "Ulvane AV Converter " + version);
    EXPECT_EQ(h.window->ItemAs<QTabBar>(kTabs)->tabText(0), "Cut");
    EXPECT_EQ(h.window->TooltipFor(kStartBox), "Type a time as HH:MM:SS.mmm");
    EXPECT_EQ(h.window->TooltipFor(kPreview), "");
    h.window->SelectLanguage(2);  // German
    EXPECT_EQ(h.window->settings().LanguageFile(), "german.ini");
    const auto de = [&](const char* s, const char* k) {
        return QString::fromStdString(h.window->languageTable().Text(s, k));
    };
    EXPECT_EQ(h.window->ItemAs<QTabBar>(kTabs)->tabText(0), de("JIEMIAN", "spjq"));
    EXPECT_EQ(h.window->ItemAs<QTabBar>(kTabs)->tabText(1), de("JIEMIAN", "sphb"));
    EXPECT_EQ(h.Text(kStartCaption), de("JIEMIAN", "ksjq"));
    EXPECT_EQ(h.Text(kEndCaption), de("JIEMIAN", "jsjq"));
    EXPECT_EQ(h.Text(kLengthCaption), de("JIEMIAN", "jqsj"));
    EXPECT_EQ(h.window->ItemAs<CHyperLink>(kHelpLink)->text(), de("JIEMIAN", "zysybrj"));
    EXPECT_EQ(h.window->ItemAs<CHyperLink>(kHelpLink)->target(), "help/german.html");
    EXPECT_EQ(h.window->ItemAs<CCheckListCtrl>(kSourceList)->horizontalHeaderItem(source_column::kSize)->text(),
              de("JIEMIAN", "spdx"));
    EXPECT_EQ(h.window->TooltipFor(kStartBox), de("HINT", "zjsrsjd"));
    EXPECT_NE(h.window->ItemAs<QTabBar>(kTabs)->tabText(0), "Cut");
    h.window->SelectTab(1);
    h.Add({Av("w25.mp4", "25")});
    EXPECT_EQ(h.window->ItemAs<CCheckListCtrl>(kSourceList)->item(0, source_column::kStatus)->text(),
              de("JIEMIAN", "zb"));
    // A fresh window reads the choice back from setting.ini.
    CUlvaneAVConverterDlg again([&] {
        WindowServices s;
        s.UseFolder(QString::fromStdString(h.dir.path().string()));
        s.chooseFiles = [](QWidget*, const QString&) { return QStringList(); };
        s.messages = &h.messages;
        s.open = [](const QString&) { return true; };
        return s;
    }());
    EXPECT_EQ(again.ItemAs<QTabBar>(kTabs)->tabText(0), de("JIEMIAN", "spjq"));
    // A language whose file cannot be read gives English, and the box and setting.ini say so.
    fs::remove(h.dir / "languages/french.ini");
    fs::create_directory(h.dir / "languages/french.ini");
    again.SelectLanguage(*LanguagePosition("french.ini"));
    EXPECT_EQ(again.ItemAs<QTabBar>(kTabs)->tabText(0), "Cut");
    EXPECT_EQ(again.ItemAs<QComboBox>(kLanguageBox)->currentIndex(), 0);
    EXPECT_EQ(again.settings().LanguageFile(), "english.ini");
}

TEST(MainWindow, MessageBoxButtonsSpeakTheChosenLanguage) {
    // Qt's own buttons come from Qt's translations, switched with the language box.
    Harness h;
    const auto yes = [] {
        QMessageBox box(QMessageBox::Question, "", "", QMessageBox::Yes | QMessageBox::No);
        return box.button(QMessageBox::Yes)->text();
    };
    EXPECT_EQ(yes(), "&Yes");
    h.window->SelectLanguage(2);  // German
    EXPECT_EQ(yes(), "&Ja");
    h.window->SelectLanguage(5);  // Japanese
    EXPECT_NE(yes(), "&Yes");
    h.window->SelectLanguage(0);  // English
    EXPECT_EQ(yes(), "&Yes");
    // A language file the box does not list leaves Qt's English.
    EXPECT_FALSE(UseQtTexts("klingon.ini"));
    EXPECT_EQ(yes(), "&Yes");
}

TEST(MainWindow, AHelpLinkOpensTheLanguagesPageBesideTheProgram) {
    Harness h;
    QTest::mouseClick(h.window->Item(kHelpLink), Qt::LeftButton, {}, QPoint(3, 3));
    ASSERT_EQ(h.opened.size(), 1);
    EXPECT_EQ(h.opened[0], QString::fromStdString((h.dir / "help/english.html")));
}
