// The check-box list: the header box follows the rows and drives them.
#include <gtest/gtest.h>

#include <QTest>

#include "controls/check_list.h"

using ulvane::CCheckListCtrl;

namespace {

// Three 16 x 16 images on magenta: unused, unticked (white), ticked (green).
QImage Strip() {
    QImage i(48, 16, QImage::Format_RGB32);
    i.fill(QColor(255, 0, 255));
    for (int y = 2; y < 14; ++y)
        for (int x = 2; x < 14; ++x) {
            i.setPixelColor(16 + x, y, QColor(250, 250, 250));
            i.setPixelColor(32 + x, y, QColor(0, 160, 0));
        }
    return i;
}

struct List {
    QWidget window;
    CCheckListCtrl* list = new CCheckListCtrl(1114, &window);
    List() {
        list->setColumnCount(6);
        list->setHorizontalHeaderLabels({"Source", "Type", "Length", "Size", "Rate", "State"});
        window.resize(600, 300);
        list->resize(600, 300);
        window.show();
    }
    void ClickHeader(int section) {
        auto* h = list->horizontalHeader();
        const QPoint at(h->sectionViewportPosition(section) + 30, h->height() / 2);
        QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, at);
    }
};

}  // namespace

TEST(CheckList, TheHeaderBoxFollowsTheRows) {
    List l;
    l.list->AddRow({"a.mp4"});
    EXPECT_EQ(l.list->checkHeader()->boxImage(), 0);  // no box before it is set up
    EXPECT_TRUE(l.list->InitHeaderCheckBox(Strip()));
    EXPECT_EQ(l.list->checkHeader()->boxImage(), 1);  // unticked until the first change
    l.list->AddRow({"b.mp4"});
    EXPECT_TRUE(l.list->headerChecked());  // both rows come ticked
    l.list->SetChecked(0, false);
    EXPECT_FALSE(l.list->headerChecked());
    l.list->SetChecked(0, true);
    EXPECT_TRUE(l.list->headerChecked());
    // Selection changes rescan too and leave the header consistent.
    l.list->SetChecked(1, false);
    l.list->selectRow(0);
    EXPECT_FALSE(l.list->headerChecked());
    // Removing the unticked row does not rescan: the header follows the next change.
    l.list->removeRow(1);
    EXPECT_FALSE(l.list->headerChecked());
    l.list->selectRow(0);
    l.list->clearSelection();
    EXPECT_TRUE(l.list->headerChecked());
}

TEST(CheckList, AHeaderClickTicksOrUnticksEveryRow) {
    List l;
    l.list->InitHeaderCheckBox(Strip());
    for (const char* f : {"a", "b", "c"}) l.list->AddRow({f});
    l.list->SetChecked(1, false);
    ASSERT_FALSE(l.list->headerChecked());
    l.ClickHeader(0);
    EXPECT_TRUE(l.list->headerChecked());
    for (int r = 0; r < 3; ++r) EXPECT_TRUE(l.list->IsChecked(r)) << r;
    l.ClickHeader(0);
    EXPECT_FALSE(l.list->headerChecked());
    for (int r = 0; r < 3; ++r) EXPECT_FALSE(l.list->IsChecked(r)) << r;
    // Any other heading changes nothing.
    l.ClickHeader(3);
    EXPECT_FALSE(l.list->headerChecked());
    for (int r = 0; r < 3; ++r) EXPECT_FALSE(l.list->IsChecked(r)) << r;
}

TEST(CheckList, AHeaderClickOnAnEmptyListOnlyTogglesTheBox) {
    List l;
    l.list->InitHeaderCheckBox(Strip());
    EXPECT_EQ(l.list->checkHeader()->boxImage(), 1);
    l.ClickHeader(0);
    EXPECT_EQ(l.list->checkHeader()->boxImage(), 2);
    EXPECT_EQ(l.list->rowCount(), 0);
    l.ClickHeader(0);
    EXPECT_EQ(l.list->checkHeader()->boxImage(), 1);
}

TEST(CheckList, TheHeaderShowsTheCheckImage) {
    List l;
    l.list->InitHeaderCheckBox(Strip());
    l.list->AddRow({"a"});  // all ticked: the green image
    const QImage header = l.list->horizontalHeader()->grab().toImage();
    int green = 0;
    for (int y = 0; y < header.height(); ++y)
        for (int x = 0; x < 30; ++x) green += header.pixelColor(x, y) == QColor(0, 160, 0);
    EXPECT_GT(green, 50);
}
