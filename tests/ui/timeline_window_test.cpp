// The window's timeline strip: a loaded file's pictures and sound appear in it as the worker
// computes them, and come back at once from the cache when the file is opened again; a
// damaged or foreign cache file is read as missing and replaced. A file cut short shows only
// what it holds.
#include <gtest/gtest.h>

#include <QFile>

#include "controls/timeline_strip.h"
#include "tests/support/eventually.h"
#include "tests/ui/window_harness.h"
#include "ui/segment_list.h"
#include "ui/timeline_cache.h"
#include "ui/timeline_feeder.h"

namespace ulvane::test {
namespace {

// 2 s of red pictures over a quiet tone, then 2 s of blue over a loud one, with one key frame:
// the blue pictures have none of their own, as in a short clip or a screen recording.
QString RedQuietBlueLoud() {
    const std::string c = ":s=160x90:r=25:d=2";
    // clang-format off
    return QString::fromStdString(Fixture("timeline_red_blue_one_key.mp4", {
        "-f", "lavfi", "-i", "color=c=red" + c + "[r];color=c=blue" + c + "[b];[r][b]concat=n=2[out0]",
        "-f", "lavfi", "-i", "aevalsrc=exprs='if(lt(t\\,2)\\,0.05\\,0.9)*sin(2*PI*440*t)':s=44100:d=4",
        "-c:v", "libx264", "-preset", "veryfast", "-g", "250", "-sc_threshold", "0", "-pix_fmt", "yuv420p",
        "-c:a", "aac", "-b:a", "128k", "-shortest"}));
    // clang-format on
}

bool Near(const QColor& a, const QColor& b) {
    return std::abs(a.red() - b.red()) < 40 && std::abs(a.green() - b.green()) < 40 &&
           std::abs(a.blue() - b.blue()) < 40;
}

// What the strip shows of the file: red pictures in its first quarter, blue in its last, and
// a waveform taller in the loud half.
struct Reading {
    bool red = false, blue = false;
    int quiet = 0, loud = 0;
    bool Shows() const { return red && blue && quiet > 0 && loud > 3 * quiet; }
};

Reading Read(TimelineStrip* strip) {
    const QImage image = strip->grab().toImage();
    Reading r;
    const int w = strip->width(), y = strip->ThumbnailRow().center().y();
    r.red = Near(image.pixelColor(w / 8, y), QColor(255, 0, 0));
    r.blue = Near(image.pixelColor(w * 7 / 8, y), QColor(0, 0, 255));
    const QRect row = strip->WaveRow();
    const auto height = [&](int x) {
        const QColor background = image.pixelColor(x, row.top());
        int n = 0;
        for (int yy = row.top(); yy <= row.bottom(); ++yy) n += image.pixelColor(x, yy) != background;
        return n;
    };
    r.quiet = height(w / 4);
    r.loud = height(w * 3 / 4);
    return r;
}

TEST(TimelineWindow, ShowsTheFilesPicturesAndSoundThenAtOnceFromTheCache) {
    const QString file = RedQuietBlueLoud();
    Harness h;
    TimelineStrip* strip = h.window->cutPreview()->timelineStrip();
    ASSERT_TRUE(strip->isVisible());
    // As wide as the window, within its margins, above the seek bar.
    EXPECT_GT(strip->width(), h.window->width() * 9 / 10);
    EXPECT_LT(strip->geometry().bottom(), h.window->Item(1140)->geometry().top());
    h.Add({file});
    EXPECT_FALSE(h.window->cutPreview()->timelineFeeder()->overviewFromCache());
    ASSERT_TRUE(Eventually([&] { return Read(strip).Shows(); }, 20000))
        << "red " << Read(strip).red << " blue " << Read(strip).blue << " quiet " << Read(strip).quiet << " loud "
        << Read(strip).loud;
    ASSERT_TRUE(Eventually([&] { return h.window->cutPreview()->timelineFeeder()->idle(); }, 20000));

    // Another window with the same folders: the strip is full as soon as the file is loaded.
    WindowServices s;
    s.UseFolder(QString::fromStdString(h.dir.path().string()));
    s.messages = &h.messages;
    s.chooseFiles = [&](QWidget*, const QString&) { return QStringList{file}; };
    CUlvaneAVConverterDlg again(s);
    again.show();
    again.AddSourceFiles();
    ASSERT_TRUE(Eventually([&] { return again.cutPreview()->timelineFeeder()->overviewFromCache(); }, 20000));
    const Reading r = Read(again.cutPreview()->timelineStrip());
    EXPECT_TRUE(r.Shows()) << "red " << r.red << " blue " << r.blue << " quiet " << r.quiet << " loud " << r.loud;
}

// A file of 1000 bytes in `dir` that the cache tests keep overviews for.
QString SourceIn(const TempDir& dir) {
    const QString source = QString::fromStdString(dir / "source.bin");
    QFile f(source);
    if (f.open(QIODevice::WriteOnly)) f.write(QByteArray(1000, 'x'));
    return source;
}

// Pictures of one colour, cheap to make and to keep at any size (a bit a pixel).
TimelineOverview Pictures(int count, int width, int height) {
    TimelineOverview o;
    o.levels.binMicros = 2000;
    o.levels.peak = {0.5f};
    o.levels.rms = {0.2f};
    QImage picture(width, height, QImage::Format_Mono);
    picture.fill(1);
    for (int i = 0; i < count; ++i) o.pictures.push_back({i * 40000, picture});
    return o;
}

// A cache file whose pictures would decode to far more than an overview ever holds reads as
// missing, judged by the sizes the pictures declare; an overview as large as a wide strip's
// reads back.
TEST(TimelineCache, PicturesPastTheSizeOrTheTotalAStripNeedsAreRefused) {
    TempDir dir;
    const QString source = SourceIn(dir);
    const TimelineCache cache(QString::fromStdString(dir / "cache"));
    const struct {
        const char* what;
        int count, width, height;
        bool kept;
    } cases[] = {
        {"one picture of 5000 x 5000", 1, 5000, 5000, false},
        {"a picture 3000 wide", 1, 3000, 60, false},
        {"40 pictures of 1000 x 1000", 40, 1000, 1000, false},
        {"800 thumbnails of 107 x 60", 800, 107, 60, true},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(cache.Write(source, Pictures(c.count, c.width, c.height))) << c.what;
        const std::optional<TimelineOverview> back = cache.Read(source);
        EXPECT_EQ(back.has_value(), c.kept) << c.what;
        if (back) {
            EXPECT_EQ(back->pictures.size(), size_t(c.count)) << c.what;
        }
    }
}

// The feeder meets a hostile cache file for the file it loads: the strip is made from the file
// again, and the cache file is replaced by the overview made.
TEST(TimelineCache, AHostileFileIsReplacedByAStripMadeAfresh) {
    TempDir dir;
    const QString file = RedQuietBlueLoud();
    const QString folder = QString::fromStdString(dir / "timeline");
    const TimelineCache cache(folder);
    ASSERT_TRUE(cache.Write(file, Pictures(50, 5000, 5000)));
    TimelineStrip strip;
    strip.resize(480, 100);
    strip.show();
    TimelineFeeder feeder(&strip, folder);
    feeder.Load({file, 4000000, 160, 90, 25.0, true});
    ASSERT_TRUE(Eventually([&] { return Read(&strip).Shows() && feeder.idle(); }, 20000));
    EXPECT_FALSE(feeder.overviewFromCache());
    const std::optional<TimelineOverview> kept = cache.Read(file);
    ASSERT_TRUE(kept);
    ASSERT_FALSE(kept->pictures.empty());
    EXPECT_LE(kept->pictures[0].image.height(), strip.ThumbnailRow().height());
}

// A kept overview, then the file damaged in each way: every one reads as missing (never a
// crash), and the next write makes it good again.
TEST(TimelineCache, DamagedOrForeignFilesReadAsMissingAndAreReplaced) {
    TempDir dir;
    const QString source = SourceIn(dir);
    const TimelineCache cache(QString::fromStdString(dir / "cache"));
    TimelineOverview o;
    o.levels.binMicros = 2000;
    o.levels.peak = {0.1f, 0.9f, 0.5f};
    o.levels.rms = {0.05f, 0.4f, 0.2f};
    QImage picture(16, 9, QImage::Format_RGB888);
    picture.fill(QColor(0, 200, 0));
    o.pictures.push_back({40000, picture});
    ASSERT_TRUE(cache.Write(source, o));
    const QString kept = cache.FileFor(source);
    QFile f(kept);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray good = f.readAll();
    f.close();
    {
        const std::optional<TimelineOverview> back = cache.Read(source);
        ASSERT_TRUE(back);
        EXPECT_EQ(back->levels.peak, o.levels.peak);
        ASSERT_EQ(back->pictures.size(), 1u);
        EXPECT_EQ(back->pictures[0].micros, 40000);
        EXPECT_EQ(back->pictures[0].image.pixelColor(8, 4), QColor(0, 200, 0));
    }
    struct Damage {
        const char* what;
        QByteArray bytes;
    };
    QByteArray hugeCount = good;
    // The bin count sits after the magic, version, path, size, time, from and bin.
    const int countAt = good.indexOf(QByteArray::fromRawData("\0\0\0\x03", 4));
    ASSERT_GT(countAt, 0);
    hugeCount.replace(countAt, 4, QByteArray("\x7f\xff\xff\xff", 4));
    QByteArray badPicture = good;
    badPicture[badPicture.size() - 10] = '\x55';
    badPicture[badPicture.size() - 20] = '\x55';
    const Damage damages[] = {
        {"empty", {}},
        {"cut short", good.left(good.size() / 2)},
        {"another format", QByteArray("\x89PNG\r\n\x1a\n") + good.mid(8)},
        {"a bin count past every limit", hugeCount},
        {"a picture's bytes spoiled", badPicture},
        {"bytes after the end", good + "more"},
    };
    for (const Damage& d : damages) {
        QFile w(kept);
        ASSERT_TRUE(w.open(QIODevice::WriteOnly | QIODevice::Truncate));
        w.write(d.bytes);
        w.close();
        EXPECT_FALSE(cache.Read(source)) << d.what;
        ASSERT_TRUE(cache.Write(source, o)) << d.what;
        EXPECT_TRUE(cache.Read(source)) << d.what;
    }
    // The source changed since: its old entry is not its own.
    {
        QFile s(source);
        ASSERT_TRUE(s.open(QIODevice::Append));
        s.write("y");
    }
    EXPECT_FALSE(cache.Read(source));
}

TEST(TimelineWindow, ACutShortFileSaysWhereItEndsShowsOnlyThatAndRefusesACutPastIt) {
    const std::optional<fs::path> media = SharedMediaDir();
    const fs::path file = media ? *media / "broken_truncated_youtube_flv1_mp3.flv" : fs::path();
    if (!media || !fs::exists(file)) GTEST_SKIP() << "the shared media folder is not here";
    Harness h;
    CUlvaneAVConverterDlg& w = *h.window;
    int settingsOpened = 0;
    h.settings = [&](OutputSettingsDialog& d) {
        ++settingsOpened;
        d.reject();
    };
    h.Add({QString::fromStdString(file.string())});
    ASSERT_EQ(w.cutTab()->cutSourcePath().toStdString(), file.string());
    // On opening: where its pictures and sound end, beside the length its header states.
    ASSERT_EQ(h.messages.shown.size(), 1);
    EXPECT_TRUE(h.messages.shown[0].contains("is cut short")) << h.messages.shown[0].toStdString();
    EXPECT_TRUE(h.messages.shown[0].contains("lasts 00:00:46.942")) << h.messages.shown[0].toStdString();
    EXPECT_TRUE(h.messages.shown[0].contains("end at 00:00:01.8")) << h.messages.shown[0].toStdString();
    // The strip spans what the file holds: no thumbnail stands for the 45 s that are missing.
    auto* strip = w.findChild<TimelineStrip*>();
    ASSERT_NE(strip, nullptr);
    EXPECT_NEAR(strip->length() / 1e6, 1.88, 0.05);
    EXPECT_TRUE(Eventually([&] { return strip->thumbnailCount() > 0; }));

    // A cut, or a segment of an export, starting past that end is refused before the job.
    SegmentList* list = w.cutTab()->segmentList();
    const struct {
        std::vector<Segment> segments;
        const char* said;
    } cases[] = {
        {{{20'000'000, 30'000'000, ""}}, "The cut starts at 00:00:20.000"},
        {{{0, 1'000'000, ""}, {20'000'000, 30'000'000, ""}}, "Segment 2 starts at 00:00:20.000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.said);
        list->Change({c.segments, 0});
        h.messages.shown.clear();
        w.cutTab()->LaunchCut();
        EXPECT_EQ(settingsOpened, 0);
        ASSERT_EQ(h.messages.shown.size(), 1);
        EXPECT_TRUE(h.messages.shown[0].contains(c.said)) << h.messages.shown[0].toStdString();
        EXPECT_TRUE(h.messages.shown[0].contains("is cut short")) << h.messages.shown[0].toStdString();
    }
}

}  // namespace
}  // namespace ulvane::test
