// The window as a screen reader walks it: every control it can reach has a name, in the
// language the window shows, and the controls that draw themselves say what they are.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <functional>

#include "controls/timeline_strip.h"
#include "tests/ui/window_harness.h"
#include "ui/control_ids.h"
#include "ui/window_accessibility.h"

using namespace ulvane;
using namespace ulvane::main_id;
using namespace ulvane::test;

namespace {

// Roles a user acts on or reads a value from; other nodes (panes, static texts) need no name.
bool IsControl(QAccessible::Role role) {
    switch (role) {
        case QAccessible::Button:
        case QAccessible::CheckBox:
        case QAccessible::RadioButton:
        case QAccessible::ComboBox:
        case QAccessible::EditableText:
        case QAccessible::Slider:
        case QAccessible::SpinBox:
        case QAccessible::Link:
        case QAccessible::PageTabList:
        case QAccessible::ButtonMenu:
        case QAccessible::ButtonDropDown:
        case QAccessible::Table:
            return true;
        default:
            return false;
    }
}

// Every shown control under `node`, depth first.
void Walk(QAccessibleInterface* node, const std::function<void(QAccessibleInterface*)>& visit) {
    if (!node || node->state().invisible) return;
    visit(node);
    for (int i = 0; i < node->childCount(); ++i) Walk(node->child(i), visit);
}

QString Describe(QAccessibleInterface* node) {
    QObject* o = node->object();
    return QString("%1 %2 (role %3)")
        .arg(o ? o->metaObject()->className() : "?", o ? o->objectName() : "")
        .arg(int(node->role()));
}

}  // namespace

TEST(Accessibility, EveryControlOfTheWindowIsNamedInTheWindowsLanguage) {
    InstallWindowAccessibility();
    Harness h;
    CUlvaneAVConverterDlg& w = *h.window;
    h.Add({Colours()});
    for (const char* language : {"english.ini", "german.ini"}) {
        w.SelectLanguage(*LanguagePosition(language));
        SCOPED_TRACE(language);
        for (int tab : {0, 1}) {
            w.SelectTab(tab);
            QApplication::processEvents();
            QStringList unnamed;
            int controls = 0;
            Walk(QAccessible::queryAccessibleInterface(&w), [&](QAccessibleInterface* node) {
                if (!IsControl(node->role())) return;
                ++controls;
                if (node->text(QAccessible::Name).trimmed().isEmpty()) unnamed << Describe(node);
            });
            EXPECT_GE(controls, 10) << "tab " << tab;
            EXPECT_EQ(unnamed.join("\n").toStdString(), "") << "tab " << tab;
        }
        // The controls that draw themselves, by the window's texts in this language.
        const auto hint = [&](const char* key) { return QString::fromStdString(w.languageTable().Text("HINT", key)); };
        const auto name = [&](QWidget* c) { return QAccessible::queryAccessibleInterface(c)->text(QAccessible::Name); };
        w.SelectTab(0);
        EXPECT_EQ(name(w.Item(kPlayButton)), hint("bf"));
        EXPECT_EQ(name(w.Item(kSeekBar)), hint("djsbzj"));
        EXPECT_EQ(name(w.Item(kHelpLink)), QString::fromStdString(w.languageTable().Text("JIEMIAN", "zysybrj")));
        auto* strip = w.findChild<TimelineStrip*>();
        ASSERT_NE(strip, nullptr);
        EXPECT_EQ(name(strip), strip->toolTip().section('\n', 0, 0).trimmed());
    }
}

TEST(Accessibility, TheSeekBarAndTheStripTellAndTakeThePosition) {
    InstallWindowAccessibility();
    Harness h;
    CUlvaneAVConverterDlg& w = *h.window;
    h.Add({Colours()});  // 3 s
    auto* strip = w.findChild<TimelineStrip*>();
    ASSERT_NE(strip, nullptr);
    QAccessibleValueInterface* stripValue = QAccessible::queryAccessibleInterface(strip)->valueInterface();
    ASSERT_NE(stripValue, nullptr);
    EXPECT_DOUBLE_EQ(stripValue->maximumValue().toDouble(), 3.0);

    // Setting the strip's value is a seek the window follows: the seek bar moves to the middle.
    stripValue->setCurrentValue(1.5);
    QApplication::processEvents();
    QAccessibleInterface* bar = QAccessible::queryAccessibleInterface(w.Item(kSeekBar));
    ASSERT_NE(bar->valueInterface(), nullptr);
    EXPECT_NEAR(bar->valueInterface()->currentValue().toInt(), 500, 20);
    EXPECT_EQ(QAccessible::queryAccessibleInterface(strip)->text(QAccessible::Value), "00:00:01.500");
}
