// The shaped button: its shape from white pixels, clicks that fall through, hover faces.
#include <gtest/gtest.h>

#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>

#include "controls/control_button.h"

using ulvane::CControlButton;
using ulvane::RegionFromBitmap;

namespace {

// A window that counts the presses it receives itself.
struct Window : QWidget {
    int presses = 0;
    void mousePressEvent(QMouseEvent*) override { ++presses; }
};

// 40 x 30 white image with a blue disc-like block in the middle and one near-white pixel.
QImage Face() {
    QImage i(40, 30, QImage::Format_RGB32);
    i.fill(Qt::white);
    for (int y = 8; y < 22; ++y)
        for (int x = 10; x < 30; ++x) i.setPixelColor(x, y, QColor(30, 90, 200));
    i.setPixelColor(35, 25, QColor(254, 255, 255));
    return i;
}

}  // namespace

TEST(ControlButton, TheRegionIsEveryPixelThatIsNotWhite) {
    const QRegion r = RegionFromBitmap(Face());
    EXPECT_TRUE(r.contains(QPoint(10, 8)));
    EXPECT_TRUE(r.contains(QPoint(29, 21)));
    EXPECT_TRUE(r.contains(QPoint(35, 25)));  // near-white belongs to the button
    EXPECT_FALSE(r.contains(QPoint(9, 8)));
    EXPECT_FALSE(r.contains(QPoint(0, 0)));
    QImage white(20, 20, QImage::Format_RGB32);
    white.fill(Qt::white);
    EXPECT_TRUE(RegionFromBitmap(white).isEmpty());
    QImage black(20, 20, QImage::Format_RGB32);
    black.fill(Qt::black);
    EXPECT_TRUE(RegionFromBitmap(black).xored(QRegion(0, 0, 20, 20)).isEmpty());
}

TEST(ControlButton, ARegionOfMoreThan2000RunsIsOneUnion) {
    // Every other pixel black: 50 runs a row, 3000 in all.
    QImage stripes(100, 60, QImage::Format_RGB32);
    stripes.fill(Qt::white);
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 100; x += 2) stripes.setPixelColor(x, y, Qt::black);
    const QRegion r = RegionFromBitmap(stripes);
    int inside = 0;
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 100; ++x) {
            EXPECT_EQ(r.contains(QPoint(x, y)), x % 2 == 0);
            inside += r.contains(QPoint(x, y));
        }
    EXPECT_EQ(inside, 3000);
}

TEST(ControlButton, ClicksOnWhiteFallThroughToTheWindow) {
    Window window;
    window.resize(200, 100);
    auto* button = new CControlButton(1004, &window);
    button->SetFaceBitmaps(Face(), Face(), Face(), Face());
    button->SetRegionFromBitmap(Face());
    button->move(50, 20);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QSignalSpy clicked(button, &QAbstractButton::clicked);
    // Clicks go through the window, as the desktop delivers them, to whatever is there.
    QWindow* w = window.windowHandle();
    // On the white corner of the image: the window beneath gets the press.
    QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(50 + 2, 20 + 2));
    EXPECT_EQ(clicked.count(), 0);
    EXPECT_EQ(window.presses, 1);
    // On the blue body, and on the near-white pixel: the button is clicked.
    QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(50 + 20, 20 + 15));
    QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(50 + 35, 20 + 25));
    EXPECT_EQ(clicked.count(), 2);
    EXPECT_EQ(window.presses, 1);
}

TEST(ControlButton, AnAllWhiteImageLeavesAnInvisibleUnclickableButton) {
    Window window;
    window.resize(100, 100);
    auto* button = new CControlButton(1, &window);
    QImage white(40, 30, QImage::Format_RGB32);
    white.fill(Qt::white);
    button->SetFaceBitmaps(white, white, white, white);
    button->SetRegionFromBitmap(white);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QSignalSpy clicked(button, &QAbstractButton::clicked);
    QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {}, QPoint(20, 15));
    EXPECT_EQ(clicked.count(), 0);
    EXPECT_EQ(window.presses, 1);
    EXPECT_TRUE(button->shapeEmpty());
}

TEST(ControlButton, HoverFaceWhileTheMouseIsOverAndNormalAfterLeaving) {
    QWidget window;
    window.resize(100, 100);
    auto* button = new CControlButton(1, &window);
    QImage normal(20, 20, QImage::Format_RGB32), hover(20, 20, QImage::Format_RGB32);
    normal.fill(QColor(0, 0, 200));
    hover.fill(QColor(0, 200, 0));
    button->SetFaceBitmaps(hover, normal, normal, normal);
    window.show();
    EXPECT_EQ(button->grab().toImage().pixelColor(5, 5), QColor(0, 0, 200));
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QCoreApplication::sendEvent(button, &enter);
    EXPECT_TRUE(button->hovering());
    EXPECT_EQ(button->grab().toImage().pixelColor(5, 5), QColor(0, 200, 0));
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(button, &leave);
    EXPECT_FALSE(button->hovering());
    EXPECT_EQ(button->grab().toImage().pixelColor(5, 5), QColor(0, 0, 200));
}
