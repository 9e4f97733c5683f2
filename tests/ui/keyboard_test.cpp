// The window by keyboard alone: Tab visits every control in the order of the layout, and
// the control that has the focus shows it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

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

std::vector<int> Ids(CUlvaneAVConverterDlg& w, const std::vector<QWidget*>& chain) {
    std::vector<int> ids;
    for (QWidget* c : chain) ids.push_back(c->objectName().mid(4).toInt());  // "item1234"
    (void)w;
    return ids;
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
        const std::vector<int> expected =
            tab == 0 ? std::vector<int>{kTabs,       kLanguageBox, kHelpLink,         kSeekBar,
                                        kOpenButton, kPlayButton,  kStartPointButton, kEndPointButton,
                                        kStartBox,   kEndBox,      kConvertButton}
                     : std::vector<int>{kTabs,         kLanguageBox, kHelpLink,     kSourceList,    kAddFilesButton,
                                        kRemoveButton, kMergeButton, kMoveUpButton, kMoveDownButton};
        EXPECT_EQ(Ids(*h.window, chain), expected);
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
