// The window by keyboard alone: Tab visits every control in the order of the layout, and
// the control that has the focus shows it.
#include <gtest/gtest.h>

#include "tests/support/eventually.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QTabBar>
#include <QTest>

#include "controls/bitmap_slider.h"
#include "tests/ui/window_harness.h"
#include "ui/control_ids.h"

using namespace ulvane;
using namespace ulvane::main_id;
using namespace ulvane::test;

namespace {

// The controls Tab visits from the tab bar on, until it comes back to the first.
std::vector<QWidget*> TabChain(CUlvaneAVConverterDlg& w) {
    std::vector<QWidget*> chain;
    QWidget* first = w.Item(kTabs);
    first->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    for (QWidget* at = QApplication::focusWidget(); at && chain.size() < 40;) {
        chain.push_back(at);
        QTest::keyClick(at, Qt::Key_Tab);
        at = QApplication::focusWidget();
        if (at == first) break;
    }
    return chain;
}

// The stops by name: "item1234" for the template's items, the segment list's controls by theirs.
QStringList Names(const std::vector<QWidget*>& chain) {
    QStringList names;
    for (const QWidget* c : chain) names << c->objectName();
    return names;
}

QStringList ItemNames(std::initializer_list<int> ids) {
    QStringList names;
    for (int id : ids) names << QString("item%1").arg(id);
    return names;
}

}  // namespace

TEST(Keyboard, TabFollowsTheLayoutAndEveryStopShowsItsFocus) {
    Harness h;
    h.Add({Colours()});
    h.window->activateWindow();
    QApplication::setActiveWindow(h.window.get());
    for (int tab : {0, 1}) {
        SCOPED_TRACE(tab == 0 ? "cut tab" : "join tab");
        h.window->SelectTab(tab);
        if (tab == 1) h.Add({Av("k25.mp4", "25")});
        const std::vector<QWidget*> chain = TabChain(*h.window);
        // The timeline strip under the preview; under the cut row the segment list and its buttons that can act: with
        // no segment yet, add and the file menu; then the track list (a file of one video track has no default to
        // choose).
        const QStringList expected =
            tab == 0
                ? ItemNames({kTabs, kLanguageBox, kHelpLink, kQueueButton}) + QStringList{"timelineStrip"} +
                      ItemNames({kSeekBar, kMuteButton, kVolumeSlider, kLoopCheck, kOpenButton, kPlayButton,
                                 kStartPointButton, kEndPointButton, kTurnButton, kStartBox, kEndBox, kConvertButton}) +
                      QStringList{"segmentTable", "segmentAdd", "segmentFile", "detectButton", "trackTable"}
                : ItemNames({kTabs, kLanguageBox, kHelpLink, kQueueButton, kSourceList, kAddFilesButton, kRemoveButton,
                             kMergeButton, kMoveUpButton, kMoveDownButton, kApplyToAllButton});
        EXPECT_EQ(Names(chain).join(' ').toStdString(), expected.join(' ').toStdString());
        // Each stop looks different with the focus than without it.
        for (QWidget* c : chain) {
            SCOPED_TRACE(c->objectName().toStdString());
            c->setFocus(Qt::TabFocusReason);
            QApplication::processEvents();
            const QImage focused = c->grab().toImage();
            h.window->Item(kTabs) == c ? h.window->Item(kLanguageBox)->setFocus(Qt::TabFocusReason)
                                       : h.window->Item(kTabs)->setFocus(Qt::TabFocusReason);
            QApplication::processEvents();
            const QImage plain = c->grab().toImage();
            EXPECT_NE(focused, plain) << "the focus is invisible";
        }
    }
}

TEST(Keyboard, EnterOnTheHelpLinkOpensTheHelpPage) {
    Harness h;
    QWidget* link = h.window->Item(kHelpLink);
    link->setFocus(Qt::TabFocusReason);
    QTest::keyClick(link, Qt::Key_Return);
    ASSERT_EQ(h.opened.size(), 1);
    EXPECT_TRUE(h.opened[0].endsWith("help/english.html")) << h.opened[0].toStdString();
}

namespace {

// Red for 0.5 s, then blue: one group of pictures, a single key frame at 0. A key frame's
// picture shows red everywhere; the exact picture shows blue after 0.5 s.
QString HalfRedHalfBlue() {
    return QString::fromStdString(
        Fixture("window_red_blue.mp4",
                {"-f", "lavfi", "-i",
                 "color=c=red:s=160x120:r=25:d=0.5[r];color=c=blue:s=160x120:r=25:d=1.5[b];[r][b]concat=n=2[out0]",
                 "-c:v", "libx264", "-g", "100", "-bf", "2", "-pix_fmt", "yuv420p"}));
}

}  // namespace

TEST(Keyboard, TheRestingThumbShowsTheExactPictureAndCommaAndPeriodStepByOne) {
    Harness h;
    h.Add({HalfRedHalfBlue()});
    CUlvaneAVConverterDlg& w = *h.window;
    auto* bar = w.ItemAs<CBitmapSlider>(kSeekBar);
    auto* preview = w.ItemAs<PreviewFrame>(kPreview);
    // A click at 3/4 of the way (1.5 s): first the key frame's red, then the exact blue.
    const int before = w.cutPreview()->figures().exactShown;
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->PositionToPixel(750), bar->height() / 2));
    EXPECT_TRUE(Eventually([&] { return w.cutPreview()->figures().exactShown > before; }));
    EXPECT_GT(CentreColour(preview).blue(), 200);
    EXPECT_NEAR(w.cutPreview()->figures().shownFrom, 1'500'000,
                40'001);  // the picture at the click's place (a pixel is 3 ms)
    // Typed to 0.46 s (red), then a period: the next picture, 0.48 s (still red), then 0.52 s (blue).
    auto* start = w.ItemAs<QLineEdit>(kStartBox);
    start->setFocus();
    start->selectAll();
    QTest::keyClicks(start, "0.46");
    QTest::keyClick(start, Qt::Key_Return);
    EXPECT_TRUE(Eventually([&] { return w.cutPreview()->figures().shownFrom == int64_t{440'000}; }));
    EXPECT_GT(CentreColour(preview).red(), 200);
    bar->setFocus();
    QTest::keyClick(&w, Qt::Key_Period);
    EXPECT_TRUE(Eventually([&] { return w.cutPreview()->figures().shownFrom == int64_t{480'000}; }));
    QTest::keyClick(&w, Qt::Key_Period);
    EXPECT_TRUE(Eventually([&] { return w.cutPreview()->figures().shownFrom == int64_t{520'000}; }));
    EXPECT_GT(CentreColour(preview).blue(), 200);
    QTest::keyClick(&w, Qt::Key_Comma);
    EXPECT_TRUE(Eventually([&] { return w.cutPreview()->figures().shownFrom == int64_t{480'000}; }));
    EXPECT_GT(CentreColour(preview).red(), 200);
    EXPECT_EQ(w.cutPreview()->figures().positionMs, 480) << "the marks take the picture stepped to";
}

TEST(Keyboard, KeyFramesAreMarkedOnTheSeekBarAndTheDirectCutsStartIsShown) {
    Harness h;
    // Key frames at 0, 1 and 2 s.
    h.Add({Colours()});
    CUlvaneAVConverterDlg& w = *h.window;
    EXPECT_TRUE(Eventually([&] { return w.cutPreview()->keyFrames().size() == size_t{3}; }));
    EXPECT_EQ(w.ItemAs<CBitmapSlider>(kSeekBar)->ticks(), (std::vector<int>{0, 333, 666}));
    auto* start = w.ItemAs<QLineEdit>(kStartBox);
    start->setText("00:00:01.500");
    const QString note = w.ItemAs<QLabel>(kDirectStartNote)->text();
    EXPECT_TRUE(note.startsWith(QString::fromStdString(w.languageTable().Text("JIEMIAN", "zjqd"))))
        << note.toStdString();
    EXPECT_TRUE(note.endsWith("00:00:01.000")) << note.toStdString();
    start->setText("00:00:02.000");  // on a key frame: nothing to say
    EXPECT_TRUE(w.ItemAs<QLabel>(kDirectStartNote)->text().isEmpty());
}

namespace {

// The window with the colours loaded, active, so that the keys and the focus are its own.
CUlvaneAVConverterDlg& ActiveWithColours(Harness& h) {
    h.Add({Colours()});
    h.window->activateWindow();
    QApplication::setActiveWindow(h.window.get());
    return *h.window;
}

}  // namespace

// A keyboard user starts a cut: Space and Enter press the focused button or tick the focused
// box; Space plays only from the picture's controls; the window's shortcuts act anywhere and
// their tooltips name them.
TEST(Keyboard, SpaceAndEnterAreTheFocusedControlsAndTheShortcutsActAnywhere) {
    Harness h;
    CUlvaneAVConverterDlg& w = ActiveWithColours(h);
    int settingsOpened = 0;
    h.settings = [&](OutputSettingsDialog&) { ++settingsOpened; };  // left unconfirmed: no job
    auto* loop = w.ItemAs<QCheckBox>(kLoopCheck);
    loop->setFocus(Qt::TabFocusReason);
    QTest::keyClick(loop, Qt::Key_Space);
    EXPECT_TRUE(loop->isChecked());
    EXPECT_FALSE(w.cutPreview()->playing()) << "Space on a box ticks it";
    QTest::keyClick(loop, Qt::Key_Return);
    EXPECT_FALSE(loop->isChecked());
    QWidget* convert = w.Item(kConvertButton);
    convert->setFocus(Qt::TabFocusReason);
    QTest::keyClick(convert, Qt::Key_Return);
    EXPECT_EQ(settingsOpened, 1);
    QTest::keyClick(convert, Qt::Key_Space);
    EXPECT_EQ(settingsOpened, 2);
    EXPECT_FALSE(w.cutPreview()->playing());
    // A click on the picture takes the focus, and Space plays and pauses from there.
    QWidget* preview = w.Item(kPreview);
    QTest::mouseClick(preview, Qt::LeftButton);
    EXPECT_EQ(QApplication::focusWidget(), preview);
    QTest::keyClick(preview, Qt::Key_Space);
    EXPECT_TRUE(w.cutPreview()->playing());
    QTest::keyClick(preview, Qt::Key_Space);
    EXPECT_FALSE(w.cutPreview()->playing());

    QTest::keyClick(loop, Qt::Key_E, Qt::ControlModifier);
    EXPECT_EQ(settingsOpened, 3);
    h.lastFilter.clear();
    QTest::keyClick(preview, Qt::Key_O, Qt::ControlModifier);
    EXPECT_FALSE(h.lastFilter.isEmpty()) << "Ctrl+O opens the file dialog";
    h.messages.shown.clear();
    QTest::keyClick(preview, Qt::Key_J, Qt::ControlModifier);
    EXPECT_EQ(w.ItemAs<QTabBar>(kTabs)->currentIndex(), 1);
    ASSERT_EQ(h.messages.shown.size(), 1) << "an empty join list is said, as the merge button says it";
    for (auto [id, keys] : {std::pair{kOpenButton, "(Ctrl+O)"}, std::pair{kConvertButton, "(Ctrl+E)"},
                            std::pair{kMergeButton, "(Ctrl+J)"}})
        EXPECT_TRUE(w.TooltipFor(id).endsWith(keys)) << w.TooltipFor(id).toStdString();
    QTest::keyClick(preview, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_FALSE(w.isVisible());
}

// Enter in a time box takes the time and gives the keys back to the preview; Escape brings the
// box's last good time back; Ctrl+Z takes a typed time back.
TEST(Keyboard, EnterInATimeBoxCommitsEscapeRestoresAndCtrlZUndoes) {
    Harness h;
    CUlvaneAVConverterDlg& w = ActiveWithColours(h);
    auto* start = w.ItemAs<QLineEdit>(kStartBox);
    auto* bar = w.ItemAs<CBitmapSlider>(kSeekBar);
    start->setFocus(Qt::TabFocusReason);
    start->selectAll();
    QTest::keyClicks(start, "1.5");
    QTest::keyClick(start, Qt::Key_Return);
    EXPECT_EQ(start->text(), "00:00:01.500");
    EXPECT_EQ(QApplication::focusWidget(), bar);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_K);  // the shuttle's pause, not a letter in the box
    EXPECT_EQ(start->text(), "00:00:01.500");
    ASSERT_EQ(w.cutTab()->Segments().size(), 1u);
    EXPECT_EQ(w.cutTab()->Segments()[0].startMicros, 1'500'000);

    start->setFocus(Qt::TabFocusReason);
    start->selectAll();
    QTest::keyClicks(start, "2.2x");
    QTest::keyClick(start, Qt::Key_Escape);
    EXPECT_EQ(start->text(), "00:00:01.500");
    EXPECT_EQ(w.cutTab()->Segments()[0].startMicros, 1'500'000);

    bar->setFocus(Qt::TabFocusReason);
    QTest::keyClick(bar, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_TRUE(w.cutTab()->Segments().empty());
    EXPECT_EQ(start->text(), "00:00:00.000");
}
