// What assistive tools learn of the controls that draw themselves: role, name by its rule,
// and the values and actions they can use.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QSignalSpy>
#include <QTest>

#include "controls/accessibility.h"
#include "controls/bitmap_slider.h"
#include "controls/check_list.h"
#include "controls/control_button.h"
#include "controls/hyperlink.h"
#include "controls/label.h"
#include "controls/timeline_strip.h"

using namespace ulvane;

namespace {

QAccessibleInterface* Of(QObject* o) {
    return QAccessible::queryAccessibleInterface(o);
}

}  // namespace

TEST(ControlAccessibility, EachControlHasItsRoleAndANameByTheRule) {
    // The owner's name source answers for the controls that have no text of their own.
    InstallControlAccessibility([](const QWidget* w) { return w->objectName() == "hinted" ? "From the owner" : ""; });
    QWidget window;
    auto* hinted = new CControlButton(1, &window);
    hinted->setObjectName("hinted");
    auto* tipped = new CControlButton(2, &window);
    tipped->setObjectName("hinted");
    tipped->setToolTip("Play\nSpace plays and pauses");
    auto* named = new CControlButton(3, &window);
    named->setAccessibleName("Given");
    named->setToolTip("Not this");
    auto* label = new CLabel(4, &window);
    label->SetText("00:01:02 left");
    auto* link = new CHyperLink(5, &window);
    link->setText("How to use this program");
    link->SetTarget("help/english.html");
    auto* slider = new CBitmapSlider(6, &window);
    auto* strip = new TimelineStrip(&window);

    struct Row {
        QWidget* control;
        QAccessible::Role role;
        const char* name;
    };
    const Row rows[] = {
        {hinted, QAccessible::Button, "From the owner"},
        {tipped, QAccessible::Button, "Play"},  // the tooltip's first line
        {named, QAccessible::Button, "Given"},
        {label, QAccessible::StaticText, "00:01:02 left"},
        {link, QAccessible::Link, "How to use this program"},
        {slider, QAccessible::Slider, ""},  // neither text nor tooltip, and the owner has none
        {strip, QAccessible::Slider, ""},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        QAccessibleInterface* i = Of(r.control);
        ASSERT_NE(i, nullptr);
        EXPECT_EQ(i->role(), r.role);
        EXPECT_EQ(i->text(QAccessible::Name), QString(r.name));
    }
    EXPECT_EQ(Of(tipped)->text(QAccessible::Description), "Play\nSpace plays and pauses");
    EXPECT_EQ(Of(link)->text(QAccessible::Description), "help/english.html");

    // Pressed by the tool as by a click.
    QSignalSpy clicks(hinted, &QAbstractButton::clicked);
    Of(hinted)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(clicks.count(), 1);
    InstallControlAccessibility();
}

TEST(ControlAccessibility, TheSliderAndTheStripTellTheirValueAndTakeOneAsAUserMove) {
    InstallControlAccessibility();
    CBitmapSlider slider(1140);
    slider.SetRange(0, 1000);
    slider.SetPosition(250);
    QAccessibleValueInterface* value = Of(&slider)->valueInterface();
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->currentValue().toInt(), 250);
    EXPECT_EQ(value->maximumValue().toInt(), 1000);
    QSignalSpy moved(&slider, &CBitmapSlider::sliderMoved);
    value->setCurrentValue(2000);  // clamped, and told as a key's move is
    EXPECT_EQ(slider.GetPosition(), 1000);
    ASSERT_TRUE(moved.wait(5000));
    EXPECT_EQ(moved.first().at(1).toInt(), 1000);

    TimelineStrip strip;
    strip.SetLength(90'000'000);
    strip.SetFrameRate(25);
    QAccessibleInterface* i = Of(&strip);
    ASSERT_NE(i->valueInterface(), nullptr);
    EXPECT_DOUBLE_EQ(i->valueInterface()->maximumValue().toDouble(), 90.0);
    EXPECT_DOUBLE_EQ(i->valueInterface()->minimumStepSize().toDouble(), 0.04);
    QSignalSpy released(&strip, &TimelineStrip::seekReleased);
    i->valueInterface()->setCurrentValue(61.25);
    ASSERT_EQ(released.count(), 1);
    EXPECT_EQ(released.first().at(0).toLongLong(), 61'250'000);
    EXPECT_EQ(i->text(QAccessible::Value), "00:01:01.250");
}

TEST(ControlAccessibility, TheCheckListsRowsTellWhetherTheyAreTicked) {
    InstallControlAccessibility();
    CCheckListCtrl list(1114);
    list.setColumnCount(2);
    list.setHorizontalHeaderLabels({"Source", "Length"});
    list.AddRow({"a.mp4", "00:00:10"});
    list.AddRow({"b.mp4", "00:00:20"});
    list.SetChecked(1, false);
    QAccessibleTableInterface* table = Of(&list)->tableInterface();
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(table->rowCount(), 2);
    for (int row : {0, 1}) {
        QAccessibleInterface* cell = table->cellAt(row, 0);
        ASSERT_NE(cell, nullptr);
        EXPECT_EQ(cell->text(QAccessible::Name), row == 0 ? "a.mp4" : "b.mp4");
        EXPECT_TRUE(cell->state().checkable);
        EXPECT_EQ(bool(cell->state().checked), row == 0) << row;
    }
}
