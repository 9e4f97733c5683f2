// The timeline strip fed known data: what its pixels show (segments in their colours, the
// waveform taller where the sound is louder, thumbnails where their times are), and what a
// press and a Ctrl+wheel do to the seek and the view.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>

#include "controls/timeline_strip.h"

using ulvane::TimelineStrip;

namespace {

constexpr qint64 kSecond = 1000000;

QImage Solid(int w, int h, const QColor& c) {
    QImage i(w, h, QImage::Format_RGB888);
    i.fill(c);
    return i;
}

// 40 s on 800 px: 50 ms a column. The sound is quiet for 20 s, then loud; two thumbnails,
// red from 0 and blue from 20 s.
struct Strip {
    TimelineStrip s;
    Strip() {
        s.resize(800, 96);
        s.SetLength(40 * kSecond);
        s.SetFrameRate(25);
        TimelineStrip::Levels l;
        l.binMicros = kSecond / 10;
        for (int i = 0; i < 400; ++i) {
            l.peak.push_back(i < 200 ? 0.1f : 0.9f);
            l.rms.push_back(i < 200 ? 0.05f : 0.5f);
        }
        s.SetOverviewLevels(l);
        s.AddThumbnail(Solid(64, 36, QColor(220, 20, 20)), 0);
        s.AddThumbnail(Solid(64, 36, QColor(20, 20, 220)), 20 * kSecond);
        s.show();
    }
    QImage Picture() { return s.grab().toImage(); }
    // How many pixels of column `x` in the waveform row are not the background.
    int WaveHeight(const QImage& image, int x) {
        const QRect row = s.WaveRow();
        const QColor background = image.pixelColor(x, row.top());
        int n = 0;
        for (int y = row.top(); y <= row.bottom(); ++y) n += image.pixelColor(x, y) != background;
        return n;
    }
};

bool Near(const QColor& a, const QColor& b) {
    return std::abs(a.red() - b.red()) < 12 && std::abs(a.green() - b.green()) < 12 &&
           std::abs(a.blue() - b.blue()) < 12;
}

}  // namespace

TEST(TimelineStrip, DrawsSegmentsWaveformAndThumbnailsWhereTheirTimesAre) {
    Strip strip;
    const QColor green(30, 200, 60), yellow(240, 220, 0);
    strip.s.SetSegments({{4 * kSecond, 8 * kSecond, green}, {30 * kSecond, 36 * kSecond, yellow}});
    strip.s.SetPosition(kSecond / 2);
    const QImage image = strip.Picture();
    const int band = strip.s.BandRow().center().y();
    struct Case {
        int x;
        QColor colour;
    };
    // 4..8 s is columns 80..160, 30..36 s columns 600..720; outside them the background.
    for (const Case& c : {Case{82, green}, Case{158, green}, Case{605, yellow}, Case{715, yellow}})
        EXPECT_TRUE(Near(image.pixelColor(c.x, band), c.colour)) << c.x;
    for (int x : {60, 200, 560, 760}) {
        EXPECT_FALSE(Near(image.pixelColor(x, band), green)) << x;
        EXPECT_FALSE(Near(image.pixelColor(x, band), yellow)) << x;
    }
    // The waveform: taller in the loud half, several times over.
    const int quiet = strip.WaveHeight(image, 200), loud = strip.WaveHeight(image, 600);
    EXPECT_GT(quiet, 0);
    EXPECT_GT(loud, 4 * quiet);
    // A quiet recording (its loudest at -22 dB) is drawn as large, but near-silence stays flat.
    for (const float scale : {1.f / 12, 1.f / 2000}) {
        TimelineStrip::Levels l;
        l.binMicros = kSecond / 10;
        for (int i = 0; i < 400; ++i) {
            l.peak.push_back((i < 200 ? 0.1f : 0.9f) * scale);
            l.rms.push_back((i < 200 ? 0.05f : 0.5f) * scale);
        }
        strip.s.SetOverviewLevels(l);
        const QImage drawn = strip.Picture();
        if (scale > 0.01f) {
            EXPECT_NEAR(strip.WaveHeight(drawn, 600), loud, loud / 10) << "as loud as the full-scale file";
            EXPECT_GT(strip.WaveHeight(drawn, 600), 4 * strip.WaveHeight(drawn, 200));
        } else {
            EXPECT_LT(strip.WaveHeight(drawn, 600), 3) << "near-silence is no louder than 16 times";
        }
    }
    // The thumbnails: red in the first half, blue in the second.
    const int thumbY = strip.s.ThumbnailRow().center().y();
    EXPECT_TRUE(Near(image.pixelColor(100, thumbY), QColor(220, 20, 20)));
    EXPECT_TRUE(Near(image.pixelColor(700, thumbY), QColor(20, 20, 220)));
}

TEST(TimelineStrip, PressSeeksToTheTimeAtThePointerAndCtrlWheelZoomsAroundIt) {
    Strip strip;
    QSignalSpy seeks(&strip.s, &TimelineStrip::seekRequested);
    QSignalSpy views(&strip.s, &TimelineStrip::viewChanged);
    // Column 200 of 800 over 40 s: 10 s.
    QTest::mousePress(&strip.s, Qt::LeftButton, {}, QPoint(200, 50));
    QTest::mouseRelease(&strip.s, Qt::LeftButton, {}, QPoint(200, 50));
    ASSERT_EQ(seeks.count(), 1);
    EXPECT_NEAR(seeks[0][0].toLongLong(), 10 * kSecond, kSecond / 10);

    // Four notches towards the screen around column 600 (30 s): narrower, 30 s staying there.
    const QPointF at(600, 50);
    QWheelEvent wheel(at, strip.s.mapToGlobal(at), QPoint(), QPoint(0, 4 * 120), Qt::NoButton, Qt::ControlModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(&strip.s, &wheel);
    const qint64 span = strip.s.viewEnd() - strip.s.viewStart();
    EXPECT_LT(span, 20 * kSecond);
    EXPECT_GT(span, 10 * kSecond);
    EXPECT_NEAR(strip.s.TimeAt(600), 30 * kSecond, kSecond / 10);
    ASSERT_FALSE(views.isEmpty());
    EXPECT_EQ(views.last()[0].toLongLong(), strip.s.viewStart());
    // A press now seeks in the narrower view.
    QTest::mouseClick(&strip.s, Qt::LeftButton, {}, QPoint(0, 50));
    EXPECT_NEAR(seeks.last()[0].toLongLong(), strip.s.viewStart(), kSecond / 10);

    // Zoomed all the way in: no fewer than 16 px a picture (25 a second: 50 pictures on 800 px).
    for (int i = 0; i < 40; ++i) strip.s.ZoomAround(0.5, 400);
    EXPECT_EQ(strip.s.viewEnd() - strip.s.viewStart(), 50 * kSecond / 25);
    // Playback past the view's end turns a page: the position is in view again.
    strip.s.SetPosition(35 * kSecond, true);
    EXPECT_LE(strip.s.viewStart(), 35 * kSecond);
    EXPECT_GT(strip.s.viewEnd(), 35 * kSecond);
}
