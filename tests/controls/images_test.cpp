// The shipped control images: their sizes and the pixels their controls rely on.
#include <gtest/gtest.h>

#include <QImage>

#include "controls/check_list.h"
#include "controls/control_button.h"

namespace {

QImage Load(int id, const char* ext = "bmp") {
    return QImage(QString("%1/resources/images/%2.%3").arg(ULVANE_SOURCE_DIR).arg(id).arg(ext));
}

qint64 Area(const QRegion& r) {
    qint64 a = 0;
    for (const QRect& rect : r) a += static_cast<qint64>(rect.width()) * rect.height();
    return a;
}

}  // namespace

TEST(ControlImages, EveryImageHasItsSize) {
    const struct {
        int id;
        int w, h;
    } images[] = {{178, 100, 56}, {186, 92, 37}, {254, 55, 40},  {295, 100, 56}, {331, 100, 56}, {320, 34, 32},
                  {321, 34, 32},  {326, 34, 32}, {306, 620, 20}, {307, 620, 20}, {308, 23, 11},  {292, 48, 16}};
    for (const auto& i : images) {
        const QImage img = Load(i.id);
        ASSERT_FALSE(img.isNull()) << i.id;
        EXPECT_EQ(img.size(), QSize(i.w, i.h)) << i.id;
    }
    EXPECT_EQ(Load(266, "png").size(), QSize(256, 256));
}

TEST(ControlImages, ShapedFacesAreCutFromWhite) {
    for (int id : {178, 186, 254, 331, 320, 321, 326}) {
        SCOPED_TRACE(id);
        const QImage img = Load(id).convertToFormat(QImage::Format_RGB32);
        // The corners are outside the shape; most of the face is inside it.
        EXPECT_EQ(img.pixelColor(0, 0), QColor(Qt::white));
        EXPECT_EQ(img.pixelColor(img.width() - 1, img.height() - 1), QColor(Qt::white));
        const QRegion shape = ulvane::RegionFromBitmap(img);
        EXPECT_GT(Area(shape), static_cast<qint64>(img.width()) * img.height() * 2 / 5);
        // The shape is one piece: its bounding box is most of the image.
        EXPECT_GT(shape.boundingRect().width(), img.width() * 3 / 4);
    }
    // The merge button has no shape: no white pixel at all.
    const QImage merge = Load(295).convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(ulvane::RegionFromBitmap(merge).xored(QRegion(merge.rect())).isEmpty(), true);
}

TEST(ControlImages, SliderAndCheckImagesCarryTheirKeyColours) {
    const QImage thumb = Load(308);
    EXPECT_EQ(thumb.pixelColor(0, 0), QColor(255, 0, 255));
    EXPECT_NE(thumb.pixelColor(11, 5), QColor(255, 0, 255));
    // The two channel looks are told apart.
    EXPECT_NE(Load(306).pixelColor(310, 10), Load(307).pixelColor(310, 10));
    const QImage checks = Load(292);
    EXPECT_EQ(checks.depth(), 8);
    EXPECT_EQ(checks.pixelColor(0, 0), QColor(255, 0, 255));
    const QList<QIcon> icons = ulvane::IconsFromStrip(checks);
    ASSERT_EQ(icons.size(), 3);
    // Unticked and ticked boxes differ.
    EXPECT_NE(icons[1].pixmap(16, 16).toImage(), icons[2].pixmap(16, 16).toImage());
}
