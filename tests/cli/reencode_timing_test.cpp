// Re-encoded outputs keep every picture and every sound at its source time: gaps between
// pictures (a slideshow, a paused screen recording, a very sparse file) and holes in the
// sound stay where they are, checked against the ffmpeg tool's own decode of the source.
#include <gtest/gtest.h>

#include "tests/cli/cli_test_util.h"
#include "tests/support/content.h"

using namespace ulvane::test;

namespace {

// One picture every 15 s (0, 15, 30, 45), sound for 60 s with beeps at 16 s and 46 s.
std::string SlideshowFixture() {
    return Fixture("slideshow.mp4",
                   {"-f",
                    "lavfi",
                    "-i",
                    "testsrc2=size=320x240:rate=25:duration=60",
                    "-f",
                    "lavfi",
                    "-i",
                    "aevalsrc='if(between(t,16,16.5)+between(t,46,46.5),0.5*sin(2*PI*440*t),0)':sample_rate=44100:"
                    "duration=60",
                    "-vf",
                    "select='not(mod(n,375))',setpts=N*15/TB",
                    "-fps_mode:v",
                    "passthrough",
                    "-c:v",
                    "libx264",
                    "-preset",
                    "veryfast",
                    "-pix_fmt",
                    "yuv420p",
                    "-c:a",
                    "aac"});
}

// A screen recording paused from 5 s to 20 s: no pictures in between, sound throughout
// with beeps at 2 s and 21 s.
std::string PausedRecordingFixture() {
    return Fixture("paused.mp4",
                   {"-f",
                    "lavfi",
                    "-i",
                    "testsrc2=size=320x240:rate=25:duration=10",
                    "-f",
                    "lavfi",
                    "-i",
                    "aevalsrc='if(between(t,2,2.5)+between(t,21,21.5),0.5*sin(2*PI*440*t),0)':sample_rate=44100:"
                    "duration=25",
                    "-vf",
                    "setpts='PTS+gte(T,5)*15/TB'",
                    "-fps_mode:v",
                    "passthrough",
                    "-c:v",
                    "libx264",
                    "-preset",
                    "veryfast",
                    "-pix_fmt",
                    "yuv420p",
                    "-c:a",
                    "aac"});
}

// Sound with a 2 s hole in its timestamps (from about 3 s to 5 s); beeps at 1 s and 6 s.
std::string SoundHoleFixture() {
    return Fixture("sound_hole.mkv",
                   {"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25:duration=10", "-f", "lavfi", "-i",
                    "aevalsrc='if(between(t,1,1.5)+between(t,4,4.5),0.5*sin(2*PI*440*t),0)':sample_rate=44100:"
                    "duration=8",
                    "-af", "asetpts='PTS+gte(T,3)*2/TB'", "-c:v", "libx264", "-preset", "veryfast", "-pix_fmt",
                    "yuv420p", "-c:a", "aac"});
}

// The source's picture on screen at `seconds`: the last one whose time is not later.
// (Seeking with the ffmpeg tool drops a picture that started before the seek point, so
// in a file with gaps it would give the next picture instead.) Decodes the whole file:
// for the small fixtures here only.
GreyPicture ShownAt(const std::string& path, double seconds) {
    constexpr int kW = 64, kH = 48;
    const CommandResult r = Run({"ffmpeg", "-nostdin", "-v", "error", "-i", path, "-map", "0:v:0", "-vf",
                                 "select='lte(t," + std::to_string(seconds) + ")',scale=64:48:flags=area", "-fps_mode",
                                 "passthrough", "-pix_fmt", "gray", "-f", "rawvideo", "-"});
    GreyPicture p;
    if (r.exitCode != 0 || r.out.size() < static_cast<size_t>(kW * kH)) return p;
    p.width = kW;
    p.height = kH;
    p.pixels.assign(r.out.end() - kW * kH, r.out.end());
    return p;
}

// PSNR of the output at `outSeconds` against the source's picture shown at `sourceSeconds`
// (times on the frame grid: seeking shows the first picture at or after the time).
double Match(const std::string& output, double outSeconds, const std::string& source, double sourceSeconds) {
    return Psnr(PictureAt(output, outSeconds), ShownAt(source, sourceSeconds));
}

// The first sound after `from` seconds.
std::optional<double> SoundStartAfter(const std::vector<float>& sound, double from, int rate = 8000) {
    const size_t skip = std::min(sound.size(), static_cast<size_t>(from * rate));
    const auto t = SoundStart(std::vector<float>(sound.begin() + static_cast<ptrdiff_t>(skip), sound.end()));
    if (!t) return std::nullopt;
    return *t + static_cast<double>(skip) / rate;
}

CommandResult Reencode(const std::string& source, const std::string& end, const std::string& dir,
                       const std::string& framerateRow = "0") {
    return Cli({"cut", source, "--start", "00:00:00.000", "--end", end, "--out-dir", dir, "--reencode", "--format", "0",
                "--size", "0", "--framerate", framerateRow});
}

}  // namespace

TEST(CliReencodeTiming, ASlideshowKeepsEachPictureAtItsTime) {
    TempDir out;
    const std::string source = SlideshowFixture();
    const auto r = Reencode(source, "00:01:00.000", out.path().string());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string file = LastLine(r.out);
    for (double t : {1.0, 14.0, 16.0, 31.0, 44.0, 46.0, 59.0}) {
        SCOPED_TRACE(t);
        const double same = Match(file, t, source, t);
        EXPECT_GT(same, 30.0);
        // The picture of the slide before or after is plainly another one.
        EXPECT_LT(Match(file, t, source, t < 15 ? 16.0 : t - 15.0), same - 8.0);
    }
    const MediaReport m = Inspect(file);
    EXPECT_NEAR(m.video.end, 60.0, 0.2);
    EXPECT_NEAR(m.audio.end, 60.0, 0.2);
    // The sound stays with its slide.
    const auto sound = SoundOf(file);
    const auto first = SoundStartAfter(sound, 0.0), second = SoundStartAfter(sound, 20.0);
    ASSERT_TRUE(first && second);
    EXPECT_NEAR(*first, 16.0, 0.05);
    EXPECT_NEAR(*second, 46.0, 0.05);
}

TEST(CliReencodeTiming, APausedRecordingHoldsThePictureThroughThePause) {
    TempDir out;
    const std::string source = PausedRecordingFixture();
    const auto r = Reencode(source, "00:00:25.000", out.path().string());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string file = LastLine(r.out);
    // Before, during (the last picture before the pause, held) and after the pause.
    // Each against another picture it must plainly differ from: the held one against the
    // first after the pause, that one against the held one.
    const std::pair<double, double> checks[] = {
        {3.0, 3.52}, {10.0, 20.52}, {19.52, 21.0}, {20.52, 10.0}, {23.0, 23.52}};
    for (const auto& [t, other] : checks) {
        SCOPED_TRACE(t);
        const double same = Match(file, t, source, t);
        EXPECT_GT(same, 30.0);
        EXPECT_LT(Match(file, t, source, other), same - 8.0);
    }
    const auto sound = SoundOf(file);
    const auto first = SoundStartAfter(sound, 0.0), second = SoundStartAfter(sound, 5.0);
    ASSERT_TRUE(first && second);
    EXPECT_NEAR(*first, 2.0, 0.05);
    EXPECT_NEAR(*second, 21.0, 0.05);
    EXPECT_NEAR(Inspect(file).video.end, 25.0, 0.2);
}

TEST(CliReencodeTiming, AVerySparseFileKeepsItsPicturesMinutesApart) {
    TempDir out;
    // One picture every 10 minutes: at 0, 600 and 1200 s; the file lasts 1800 s.
    const std::string source =
        Fixture("sparse.mp4", {"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=1/600:duration=1500", "-fps_mode:v",
                               "passthrough", "-c:v", "libx264", "-preset", "veryfast", "-pix_fmt", "yuv420p"});
    // At 8 frames a second, to keep the test short.
    const auto r = Reencode(source, "00:30:00.000", out.path().string(), "1");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string file = LastLine(r.out);
    for (double t : {1.0, 599.0, 601.0, 1199.0, 1201.0, 1790.0}) {
        SCOPED_TRACE(t);
        const double same = Match(file, t, source, t);
        EXPECT_GT(same, 30.0);
        EXPECT_LT(Match(file, t, source, t < 600 ? 601.0 : t - 600.0), same - 8.0);
    }
    EXPECT_NEAR(Inspect(file).video.end, 1800.0, 1.0);
}

TEST(CliReencodeTiming, AHoleInTheSoundStaysWhereItIs) {
    TempDir out;
    const std::string source = SoundHoleFixture();
    const auto sourceSound = SoundOf(source);
    const auto sourceBeep = SoundStartAfter(sourceSound, 2.0);
    ASSERT_TRUE(sourceBeep);
    ASSERT_NEAR(*sourceBeep, 6.0, 0.05);
    {
        const auto r = Reencode(source, "00:00:10.000", out.path().string());
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const auto sound = SoundOf(LastLine(r.out));
        const auto first = SoundStartAfter(sound, 0.0), second = SoundStartAfter(sound, 2.0);
        ASSERT_TRUE(first && second);
        EXPECT_NEAR(*first, 1.0, 0.05);
        EXPECT_NEAR(*second, 6.0, 0.05);
        EXPECT_GT(Loudness(sound, 6.1, 6.4), 0.2);
        // The hole is silent.
        EXPECT_LT(Loudness(sound, 3.1, 4.9), 0.01);
        EXPECT_NEAR(Inspect(LastLine(r.out)).audio.end, 10.0, 0.2);
    }
    {
        // A cut from 2 s: the beep after the hole is 4 s in.
        const auto r = Cli({"cut", source, "--start", "00:00:02.000", "--end", "00:00:09.000", "--out-dir",
                            out.path().string(), "--name", "cut", "--reencode", "--format", "0", "--size", "0"});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const auto start = SoundStartAfter(SoundOf(LastLine(r.out)), 0.0);
        ASSERT_TRUE(start);
        EXPECT_NEAR(*start, 4.0, 0.05);
    }
}
