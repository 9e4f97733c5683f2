// The help link's colours, targets and fall-back, and the label's painting.
#include <gtest/gtest.h>

#include "tests/support/eventually.h"

#include <QTest>

#include "controls/hyperlink.h"
#include "controls/label.h"

using ulvane::CHyperLink;
using ulvane::CLabel;
using ulvane::test::Eventually;

TEST(HyperLink, ColoursFollowHoverAndVisit) {
    QWidget window;
    auto* link = new CHyperLink(1180, &window);
    link->setText("How to use this program");
    link->SetTarget("help/english.html");
    link->SetUnderlineMode(CHyperLink::UnderlineAlways);
    int opened = 0;
    link->SetOpeners([&](const QString&) { return ++opened, true; }, nullptr);
    window.show();
    EXPECT_EQ(link->CurrentColour(), CHyperLink::kLinkColour);
    EXPECT_EQ(link->palette().color(QPalette::WindowText), QColor(0, 0, 238));
    EXPECT_TRUE(link->font().underline());
    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
    QCoreApplication::sendEvent(link, &enter);
    EXPECT_EQ(link->CurrentColour(), QColor(255, 0, 0));
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(link, &leave);
    EXPECT_EQ(link->CurrentColour(), CHyperLink::kLinkColour);
    QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_EQ(opened, 1);
    EXPECT_TRUE(link->visited());
    EXPECT_EQ(link->palette().color(QPalette::WindowText), QColor(85, 26, 139));
    EXPECT_EQ(link->toolTip(), "help/english.html");
}

TEST(HyperLink, UnderlineModes) {
    CHyperLink link(1);
    link.setText("x");
    link.SetUnderlineMode(CHyperLink::UnderlineNever);
    EXPECT_FALSE(link.font().underline());
    link.SetUnderlineMode(CHyperLink::UnderlineOnHover);
    EXPECT_FALSE(link.font().underline());
    QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QCoreApplication::sendEvent(&link, &enter);
    EXPECT_TRUE(link.font().underline());
}

TEST(HyperLink, EmptyTextShowsTheTargetAndEmptyTargetOpensTheText) {
    CHyperLink a(1);
    a.SetTarget("https://example.org/help");
    EXPECT_EQ(a.text(), "https://example.org/help");
    CHyperLink b(2);
    b.setText("/tmp/readme.html");
    b.SetTarget("");
    QString seen;
    b.SetOpeners([&](const QString& t) { return seen = t, true; }, nullptr);
    EXPECT_TRUE(b.OpenTarget());
    EXPECT_EQ(seen, "/tmp/readme.html");
}

TEST(HyperLink, ARelativeTargetIsTakenFromTheProgramFolder) {
    CHyperLink link(1);
    link.SetTarget("help/german.html");
    link.SetBaseFolder("/opt/ulvane");
    EXPECT_EQ(link.ResolvedTarget(), "/opt/ulvane/help/german.html");
    link.SetTarget("https://example.org/");
    EXPECT_EQ(link.ResolvedTarget(), "https://example.org/");
}

TEST(HyperLink, FallsBackAndBeepsWhenNothingCanOpenIt) {
    CHyperLink link(1);
    link.setText("help");
    link.SetTarget("help/english.html");
    QStringList tried;
    int beeps = 0;
    link.SetFailureSignal([&] { ++beeps; });
    link.SetOpeners([&](const QString& t) { return tried << "desktop:" + t, false; },
                    [&](const QString& t) { return tried << "browser:" + t, true; });
    EXPECT_TRUE(link.OpenTarget());
    EXPECT_EQ(tried, (QStringList{"desktop:help/english.html", "browser:help/english.html"}));
    EXPECT_TRUE(link.visited());
    EXPECT_EQ(beeps, 0);
    CHyperLink other(2);
    other.setText("x");
    other.SetTarget("nowhere");
    other.SetFailureSignal([&] { ++beeps; });
    other.SetOpeners([](const QString&) { return false; }, [](const QString&) { return false; });
    EXPECT_FALSE(other.OpenTarget());
    EXPECT_EQ(beeps, 1);
    EXPECT_FALSE(other.visited());
    EXPECT_EQ(other.CurrentColour(), CHyperLink::kLinkColour);
}

TEST(HyperLink, FitsItsWindowToItsTextKeepingTheLeftEdge) {
    QWidget window;
    auto* link = new CHyperLink(1, &window);
    link->setGeometry(30, 10, 400, 60);
    link->setText("Help");
    link->SetTarget("x");
    EXPECT_EQ(link->x(), 30);
    EXPECT_LT(link->width(), 400);
    EXPECT_GE(link->width(), link->fontMetrics().horizontalAdvance("Help"));
}

TEST(Label, PaintsItsTextInTheWindowTextColourOnTheButtonFace) {
    QWidget window;
    auto* label = new CLabel(1018, &window);
    label->resize(200, 30);
    label->SetText("Current file: a.mp4");
    window.show();
    const QImage img = label->grab().toImage();
    const QColor face = window.palette().color(QPalette::Button);
    EXPECT_EQ(img.pixelColor(199, 29), face);
    int text = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 200; ++x) text += img.pixelColor(x, y) != face;
    EXPECT_GT(text, 30);
    // Own colours; chained setters.
    label->SetBkColor(QColor(10, 20, 30)).SetTextColor(QColor(250, 250, 0)).FlashBackground(false);
    const QImage coloured = label->grab().toImage();
    EXPECT_EQ(coloured.pixelColor(199, 29), QColor(10, 20, 30));
    bool yellow = false;
    for (int y = 0; y < 30 && !yellow; ++y)
        for (int x = 0; x < 200 && !yellow; ++x) yellow = coloured.pixelColor(x, y) == QColor(250, 250, 0);
    EXPECT_TRUE(yellow);
}

TEST(Label, BlinkingTextVanishesEveryOtherHalfSecond) {
    CLabel label(1);
    label.resize(100, 20);
    label.SetBkColor(QColor(0, 0, 0)).SetTextColor(QColor(255, 255, 255)).SetText("Blink");
    label.FlashText(true);
    EXPECT_FALSE(label.blinkState());
    auto lit = [&] {
        const QImage img = label.grab().toImage();
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 100; ++x)
                if (img.pixelColor(x, y) != QColor(0, 0, 0)) return true;
        return false;
    };
    EXPECT_FALSE(lit());  // the blink starts in its dark half
    EXPECT_TRUE(Eventually([&] { return label.blinkState(); }));
    EXPECT_TRUE(lit());
}
