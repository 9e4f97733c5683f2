// The detection dialog in the window: it finds the silences of the loaded film on its thread,
// and its segments go into the segment list as one step that Ctrl+Z takes back.
#include <gtest/gtest.h>
#include <QApplication>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "tests/support/detect_fixture.h"
#include "tests/support/eventually.h"
#include "tests/ui/window_harness.h"
#include "ui/detect_dialog.h"
#include "ui/segment_list.h"

using namespace ulvane;
using namespace ulvane::test;

TEST(DetectWindow, FindsTheSilencesAndMakesThePartsBetweenThemOrTheSilences) {
    Harness h;
    CUlvaneAVConverterDlg& w = *h.window;
    auto* find = w.findChild<QPushButton*>("detectButton");
    ASSERT_NE(find, nullptr);
    EXPECT_FALSE(find->isEnabled()) << "nothing to search before a file is loaded";
    h.Add({QString::fromStdString(DetectFixture())});
    ASSERT_EQ(w.cutTab()->cutSourcePath().toStdString(), DetectFixture());
    EXPECT_TRUE(find->isEnabled());
    w.cutTab()->find()->Open(DetectKind::Silences);
    DetectDialog* d = w.cutTab()->find()->dialog();
    ASSERT_NE(d, nullptr);
    EXPECT_DOUBLE_EQ(d->thresholdBox()->value(), -50);
    EXPECT_DOUBLE_EQ(d->shortestBox()->value(), 0.5);
    QTest::mouseClick(d->findButton(), Qt::LeftButton);
    ASSERT_TRUE(Eventually([&] { return !d->running() && d->findButton()->isEnabled(); }, 20000));
    ASSERT_EQ(d->list()->count(), 3);
    // Each finding as the window writes times: 1-2 s, 6-7.5 s, 9-10 s (the file starts 21 ms late).
    EXPECT_TRUE(d->list()->item(0)->text().startsWith("00:00:01.0")) << d->list()->item(0)->text().toStdString();
    const auto expectSegments = [&](std::vector<std::pair<double, double>> want) {
        const std::vector<Segment> got = w.cutTab()->Segments();
        ASSERT_EQ(got.size(), want.size());
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_NEAR(got[i].startMicros / 1e6, want[i].first, 0.04) << i;
            EXPECT_NEAR(got[i].endMicros / 1e6, want[i].second, 0.04) << i;
        }
    };
    // By default the sound between the silences: 0-1, 2-6 and 7.5-9 s, as the dialog says.
    EXPECT_TRUE(d->betweenChoice()->isChecked());
    EXPECT_EQ(d->planLine()->text().toStdString(), "Make segments adds 3 segment(s): the parts between the findings.");
    QTest::mouseClick(d->makeButton(), Qt::LeftButton);
    expectSegments({{0, 1}, {2, 6}, {7.5, 9}});
    // One step: undone at once.
    EXPECT_TRUE(w.cutTab()->segmentList()->Undo());
    EXPECT_TRUE(w.cutTab()->Segments().empty());
    // The silences themselves, in one step too: the plan line follows the choice.
    QTest::mouseClick(d->findingsChoice(), Qt::LeftButton);
    EXPECT_EQ(d->planLine()->text().toStdString(), "Make segments adds 3 segment(s): one for each finding.");
    QTest::mouseClick(d->makeButton(), Qt::LeftButton);
    expectSegments({{1, 2}, {6, 7.5}, {9, 10}});
    EXPECT_TRUE(w.cutTab()->segmentList()->Undo());
    EXPECT_TRUE(w.cutTab()->Segments().empty());
    d->close();
    QApplication::processEvents();
}
