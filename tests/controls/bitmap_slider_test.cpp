// The seek bar with the main window's settings: pixel mapping, presses, drags, keys, posted
// notifications, and the channel pieces painted for each selection mode.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include "controls/bitmap_slider.h"

using ulvane::CBitmapSlider;

namespace {

const QColor kNormal(40, 60, 200), kActive(250, 150, 20), kThumb(10, 10, 10), kKey(255, 0, 255);

QImage Solid(int w, int h, const QColor& c) {
    QImage i(w, h, QImage::Format_RGB32);
    i.fill(c);
    return i;
}

// A 23 x 11 thumb: solid dark, with its key colour in the corners (and at 0, 0).
QImage Thumb() {
    QImage i = Solid(23, 11, kThumb);
    for (const QPoint p : {QPoint(0, 0), QPoint(22, 0), QPoint(0, 10), QPoint(22, 10)}) i.setPixelColor(p, kKey);
    return i;
}

// Set up as the main window does: 620 px channel, 23 px thumb, margins 0/4/4/0, 0..1000.
struct SeekBar {
    QWidget parent;
    CBitmapSlider* s = new CBitmapSlider(1140, &parent);
    SeekBar() {
        EXPECT_TRUE(s->LoadChannelBitmaps(Solid(620, 20, kNormal), Solid(620, 20, kActive)));
        EXPECT_TRUE(s->LoadThumbBitmaps(Thumb(), Thumb()));
        s->ShowFocusRect(false);
        s->SetRange(0, 1000);
        s->SetPosition(0);
        s->SetMargins(0, 4, 4, 0);
        parent.resize(640, 40);
        parent.show();
    }
    QColor At(int x, int y) { return s->grab().toImage().pixelColor(x, y); }
};

bool Near(const QColor& a, const QColor& b) {
    return std::abs(a.red() - b.red()) < 8 && std::abs(a.green() - b.green()) < 8 && std::abs(a.blue() - b.blue()) < 8;
}

}  // namespace

TEST(BitmapSlider, MapsPositionsToPixelsAtBothEnds) {
    SeekBar bar;
    EXPECT_EQ(bar.s->size(), QSize(620, 20));
    EXPECT_EQ(bar.s->PositionToPixel(0), 11);
    EXPECT_EQ(bar.s->PositionToPixel(1000), 604);
    EXPECT_EQ(bar.s->PositionToPixel(500), 11 + 296);
    EXPECT_EQ(bar.s->PixelToPosition(11), 0);
    EXPECT_EQ(bar.s->PixelToPosition(604), 1000);
    bar.s->SetPosition(0);
    EXPECT_EQ(bar.s->ThumbCorner(), QPoint(0, 4));
    bar.s->SetPosition(1000);
    EXPECT_EQ(bar.s->ThumbCorner(), QPoint(593, 4));
    bar.s->SetPosition(5000);  // setters clamp
    EXPECT_EQ(bar.s->GetPosition(), 1000);
    bar.s->SetPosition(-3);
    EXPECT_EQ(bar.s->GetPosition(), 0);
}

TEST(BitmapSlider, APressOnTheThumbDragsWithoutAJump) {
    SeekBar bar;
    bar.s->SetPosition(500);
    QSignalSpy moving(bar.s, &CBitmapSlider::sliderMoving);
    const int centre = bar.s->PositionToPixel(500);
    QTest::mousePress(bar.s, Qt::LeftButton, {}, QPoint(centre + 5, 10));
    EXPECT_EQ(bar.s->GetPosition(), 500);
    QTest::mouseMove(bar.s, QPoint(centre + 5 + 60, 10));
    // The thumb follows the cursor less the grab offset; the position's pixel is the one
    // the mapping gives back (it truncates, so it may lie one pixel short).
    EXPECT_EQ(bar.s->GetPosition(), bar.s->PixelToPosition(centre + 60));
    QTest::mouseRelease(bar.s, Qt::LeftButton, {}, QPoint(centre + 65, 10));
    QCoreApplication::processEvents();
    EXPECT_EQ(moving.count(), 1);
}

TEST(BitmapSlider, APressElsewhereJumpsAndPostsAtOnce) {
    SeekBar bar;
    QSignalSpy moving(bar.s, &CBitmapSlider::sliderMoving);
    QSignalSpy moved(bar.s, &CBitmapSlider::sliderMoved);
    QTest::mousePress(bar.s, Qt::LeftButton, {}, QPoint(311, 10));
    EXPECT_EQ(bar.s->GetPosition(), bar.s->PixelToPosition(311));
    EXPECT_EQ(bar.s->GetPosition(), 505);
    // Posted, not sent: nothing arrives until the event loop runs.
    EXPECT_EQ(moving.count(), 0);
    QCoreApplication::processEvents();
    ASSERT_EQ(moving.count(), 1);
    EXPECT_EQ(moving[0][0].toInt(), 1140);
    EXPECT_EQ(moving[0][1].toInt(), bar.s->GetPosition());
    QTest::mouseRelease(bar.s, Qt::LeftButton, {}, QPoint(311, 10));
    EXPECT_EQ(moved.count(), 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(moved.count(), 1);
}

TEST(BitmapSlider, DragsPastTheEndsStopAtTheEndsAndStayQuiet) {
    SeekBar bar;
    QSignalSpy moving(bar.s, &CBitmapSlider::sliderMoving);
    QSignalSpy moved(bar.s, &CBitmapSlider::sliderMoved);
    QTest::mousePress(bar.s, Qt::LeftButton, {}, QPoint(300, 10));
    QTest::mouseMove(bar.s, QPoint(2000, 10));
    EXPECT_EQ(bar.s->GetPosition(), 1000);
    QCoreApplication::processEvents();
    const int before = moving.count();
    QTest::mouseMove(bar.s, QPoint(2500, 10));  // the thumb's pixel does not change
    QTest::mouseMove(bar.s, QPoint(700, 10));
    QCoreApplication::processEvents();
    EXPECT_EQ(moving.count(), before);
    QTest::mouseMove(bar.s, QPoint(-500, 10));
    EXPECT_EQ(bar.s->GetPosition(), 0);
    QTest::mouseRelease(bar.s, Qt::LeftButton, {}, QPoint(-500, 10));
    QCoreApplication::processEvents();
    EXPECT_EQ(moving.count(), before + 1);
    EXPECT_EQ(moved.count(), 1);  // a release posts even without a move
    QTest::mousePress(bar.s, Qt::LeftButton, {}, QPoint(bar.s->PositionToPixel(0), 10));
    QTest::mouseRelease(bar.s, Qt::LeftButton, {}, QPoint(bar.s->PositionToPixel(0), 10));
    QCoreApplication::processEvents();
    EXPECT_EQ(moved.count(), 2);
}

TEST(BitmapSlider, KeysMoveAndPostEvenAtTheLimits) {
    SeekBar bar;
    bar.s->setFocus();
    QSignalSpy moved(bar.s, &CBitmapSlider::sliderMoved);
    const struct {
        Qt::Key key;
        int expected;
    } steps[] = {{Qt::Key_Home, 0},        {Qt::Key_Left, 0},      {Qt::Key_PageUp, 0}, {Qt::Key_Right, 1},
                 {Qt::Key_Down, 2},        {Qt::Key_PageDown, 22}, {Qt::Key_Up, 21},    {Qt::Key_End, 1000},
                 {Qt::Key_PageDown, 1000}, {Qt::Key_Right, 1000}};
    int posted = 0;
    for (const auto& s : steps) {
        QTest::keyClick(bar.s, s.key);
        EXPECT_EQ(bar.s->GetPosition(), s.expected) << s.key;
        QCoreApplication::processEvents();
        EXPECT_EQ(moved.count(), ++posted);
        EXPECT_EQ(moved.last()[1].toInt(), s.expected);
    }
    QTest::keyClick(bar.s, Qt::Key_A);  // other keys are not the slider's
    QCoreApplication::processEvents();
    EXPECT_EQ(moved.count(), posted);
}

TEST(BitmapSlider, PaintsTheChannelPiecesOfEachSelectionMode) {
    SeekBar bar;
    bar.s->SetPosition(1000);  // thumb out of the way at the right end
    const int y = 1;           // above the thumb
    // Mode 0: the whole channel in the active look.
    EXPECT_TRUE(Near(bar.At(0, y), kActive));
    EXPECT_TRUE(Near(bar.At(619, y), kActive));
    // Mode 1 with a start mark at 250: normal before its pixel, active after.
    bar.s->SetSelectionStart(250);
    bar.s->SetSelectionMode(1);
    const int start = bar.s->PositionToPixel(250);
    EXPECT_TRUE(Near(bar.At(start - 1, y), kNormal));
    EXPECT_TRUE(Near(bar.At(start, y), kActive));
    EXPECT_TRUE(Near(bar.At(619, y), kActive));
    // Mode 2 with an end mark at 750: active only between the marks.
    bar.s->SetSelectionEnd(750);
    bar.s->SetSelectionMode(2);
    const int end = bar.s->PositionToPixel(750);
    EXPECT_TRUE(Near(bar.At(start - 1, y), kNormal));
    EXPECT_TRUE(Near(bar.At(start + 1, y), kActive));
    EXPECT_TRUE(Near(bar.At(end - 1, y), kActive));
    EXPECT_TRUE(Near(bar.At(end + 1, y), kNormal));
    // A start mark of 0 begins at pixel 0, inside the left margin; an end at the maximum
    // runs to the right edge.
    bar.s->SetSelectionStart(0);
    bar.s->SetSelectionEnd(1000);
    EXPECT_TRUE(Near(bar.At(0, y), kActive));
    EXPECT_TRUE(Near(bar.At(619, y), kActive));
    // The thumb is drawn through its mask: its key-coloured corner shows the channel.
    bar.s->SetPosition(500);
    const QPoint corner = bar.s->ThumbCorner();
    EXPECT_TRUE(Near(bar.At(corner.x(), corner.y()), kActive));
    EXPECT_TRUE(Near(bar.At(corner.x() + 11, corner.y() + 5), kThumb));
    // Disabled: the normal look and no thumb.
    bar.s->setEnabled(false);
    EXPECT_TRUE(Near(bar.At(corner.x() + 11, corner.y() + 5), kNormal));
}

TEST(BitmapSlider, RefusesMissingImages) {
    CBitmapSlider s(1);
    EXPECT_FALSE(s.LoadChannelBitmaps(QImage(), Solid(10, 10, kActive)));
    EXPECT_FALSE(s.LoadChannelBitmaps(Solid(10, 10, kNormal), QImage()));
    EXPECT_FALSE(s.LoadThumbBitmaps(QImage(), QImage()));
}
