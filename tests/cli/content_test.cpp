// What outputs show and sound like: pictures compared with the source's own decode at the
// same moment, and where the sound starts.
#include <gtest/gtest.h>

#include "tests/cli/cli_test_util.h"
#include "tests/support/content.h"

using namespace ulvane::test;

namespace {

// Pictures that change every frame (a moving pattern), and a beep that starts at 2 s.
std::string BeepFixture() {
    return Fixture("beep.mp4",
                   {"-f",       "lavfi",
                    "-i",       "testsrc2=size=320x240:rate=25",
                    "-f",       "lavfi",
                    "-i",       "aevalsrc='if(gte(t,2),0.5*sin(2*PI*440*t),0)':sample_rate=44100:channel_layout=stereo",
                    "-t",       "6",
                    "-c:v",     "libx264",
                    "-preset",  "veryfast",
                    "-bf",      "2",
                    "-g",       "25",
                    "-pix_fmt", "yuv420p",
                    "-c:a",     "aac"});
}

}  // namespace

TEST(CliContent, AReencodedCutShowsTheSourcesPicturesFromTheMarkedStart) {
    TempDir out;
    const std::string source = BeepFixture();
    const auto r =
        Cli({"cut", source, "--start", "00:00:01.520", "--end", "00:00:03.960", "--out-dir", out.path().string(),
             "--reencode", "--format", "1", "--quality", "8", "--size", "0", "--framerate", "9"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string file = LastLine(r.out);
    for (double t : {0.0, 1.0, 2.0}) {
        SCOPED_TRACE(t);
        const double same = PsnrAt(file, t + 0.01, source, 1.52 + t + 0.01);
        EXPECT_GT(same, 30.0);
        // A picture half a second off is plainly another picture.
        EXPECT_LT(PsnrAt(file, t + 0.01, source, 1.52 + t + 0.51), same - 8.0);
    }
}

TEST(CliContent, ADirectCutCopiesThePicturesFromTheKeyFrameBeforeTheStart) {
    TempDir out;
    const std::string source = BeepFixture();
    const auto r =
        Cli({"cut", source, "--start", "00:00:01.500", "--end", "00:00:04.000", "--out-dir", out.path().string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string file = LastLine(r.out);
    // Key frames every second: the output starts with the source's picture at 1.0 s, and
    // copied pictures decode exactly as the source's do.
    for (double t : {0.0, 0.52, 2.0}) EXPECT_GE(PsnrAt(file, t + 0.01, source, 1.0 + t + 0.01), 99.0) << t;
}

TEST(CliContent, TheSoundStaysWithItsPictures) {
    TempDir out;
    const std::string source = BeepFixture();
    const auto sourceStart = SoundStart(SoundOf(source));
    ASSERT_TRUE(sourceStart);
    ASSERT_NEAR(*sourceStart, 2.0, 0.03);
    for (bool reencode : {false, true}) {
        SCOPED_TRACE(reencode ? "re-encoded" : "direct");
        std::vector<std::string> args = {
            "cut",          source,      "--start",           "00:00:01.000", "--end",
            "00:00:05.000", "--out-dir", out.path().string(), "--name",       reencode ? "re" : "copy"};
        if (reencode) args.insert(args.end(), {"--reencode", "--format", "1", "--size", "0"});
        const auto r = Cli(args);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const auto start = SoundStart(SoundOf(LastLine(r.out)));
        ASSERT_TRUE(start);
        EXPECT_NEAR(*start, 1.0, 0.03);
    }
}
