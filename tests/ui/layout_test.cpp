// The window's layout: its template's size is the smallest, it grows with the preview and
// the list, and every text fits its control in every language.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include "controls/bitmap_slider.h"
#include "tests/ui/window_harness.h"
#include "ui/control_ids.h"
#include "ui/dialog_template.h"

using namespace ulvane;
using namespace ulvane::main_id;
using namespace ulvane::test;

namespace {

// Distances of a control to the window's right and bottom edges.
QSize ToFarEdges(const QWidget* w) {
    const QWidget* window = w->window();
    return {window->width() - w->geometry().right(), window->height() - w->geometry().bottom()};
}

}  // namespace

TEST(Layout, TheWindowGrowsFromItsTemplateSizeAndThePreviewKeepsThePicturesShape) {
    Harness h;
    CUlvaneAVConverterDlg& w = *h.window;
    const QSize base = DluToPixels(QRect(0, 0, 363, 252), DialogBaseUnits(w.font())).size();
    EXPECT_EQ(w.minimumSize(), base);
    EXPECT_GT(w.maximumWidth(), 4000);
    EXPECT_TRUE(w.windowFlags() & Qt::WindowMaximizeButtonHint);
    h.Add({Colours()});  // 4:3, red first
    auto* preview = w.ItemAs<PreviewFrame>(kPreview);
    // At the template's size the picture is grabbed for the preview as it is shown.
    EXPECT_EQ(preview->picture().size(), preview->pictureRect().size());
    EXPECT_EQ(preview->pictureRect().height(), preview->contentsRect().height());

    std::map<int, QRect> before;
    for (int id : {kPreview, kSeekBar, kConvertButton, kStartBox, kHelpLink, kTabs, kPositionText, kLengthText})
        before[id] = w.Item(id)->geometry();
    const QSize convertGap = ToFarEdges(w.Item(kConvertButton)), helpGap = ToFarEdges(w.Item(kHelpLink));
    const int startBoxFromBottom = ToFarEdges(w.Item(kStartBox)).height();
    const QSize more(420, 330);
    w.resize(base + more);
    QApplication::processEvents();

    EXPECT_EQ(w.Item(kPreview)->size(), before[kPreview].size() + more);
    EXPECT_EQ(w.Item(kSeekBar)->width(), before[kSeekBar].width() + more.width());
    EXPECT_EQ(w.Item(kSeekBar)->y(), before[kSeekBar].y() + more.height());
    EXPECT_EQ(ToFarEdges(w.Item(kConvertButton)), convertGap) << "bottom right stays bottom right";
    EXPECT_EQ(ToFarEdges(w.Item(kHelpLink)).width(), helpGap.width()) << "the help link stays at the right";
    EXPECT_EQ(w.Item(kHelpLink)->y(), before[kHelpLink].y());
    EXPECT_EQ(w.Item(kStartBox)->x(), before[kStartBox].x()) << "the start box stays at the left";
    EXPECT_EQ(ToFarEdges(w.Item(kStartBox)).height(), startBoxFromBottom);
    EXPECT_EQ(w.Item(kTabs)->geometry(), before[kTabs]);

    // The picture is grabbed again at the new size: as large as fits, 4:3, black beside it.
    QTRY_COMPARE_WITH_TIMEOUT(preview->picture().height(), preview->contentsRect().height(), 5000);
    const QRect shown = preview->pictureRect();
    EXPECT_EQ(preview->picture().size(), shown.size()) << "drawn at the size it was grabbed";
    EXPECT_NEAR(static_cast<double>(shown.width()) / shown.height(), 4.0 / 3.0, 0.01);
    const QImage screen = preview->grab().toImage();
    EXPECT_EQ(screen.pixelColor(preview->contentsRect().left() + 5, screen.height() / 2), QColor(Qt::black));
    const QColor middle = screen.pixelColor(shown.center());
    EXPECT_GT(middle.red(), 200);
    EXPECT_LT(middle.green(), 60);

    // The seek bar still maps its whole length: a click near its right end seeks near the end.
    auto* bar = w.ItemAs<CBitmapSlider>(kSeekBar);
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() - 6, bar->height() / 2));
    EXPECT_GT(bar->GetPosition(), 970);

    // Back to the template's size, everything is where the template puts it.
    w.resize(base);
    QApplication::processEvents();
    for (const auto& [id, rect] : before) EXPECT_EQ(w.Item(id)->geometry(), rect) << id;
}
