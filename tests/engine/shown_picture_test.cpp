// One picture for one time everywhere: the preview's exact still, the paused player's picture
// and the first picture of an exact cut from that time are the same picture, whatever the
// container and however the pictures are reordered.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <thread>

#include "engine/cut_start.h"
#include "engine/frame_grabber.h"
#include "engine/player.h"
#include "engine/run_conversion.h"
#include "tests/support/content.h"
#include "tests/support/media_tools.h"

using namespace ulvane;
using namespace ulvane::test;

namespace {

constexpr int kBoxW = 160, kBoxH = 120;

// The still the preview shows at `seconds`, with when it starts and how long it lasts.
struct Still {
    ShownPicture picture;
    int64_t from = 0, lasting = 0;
};
Still StillAt(FrameGrabber& grabber, const std::string& file, double seconds) {
    Still s;
    std::string error;
    EXPECT_TRUE(grabber.GrabExact(file, seconds, kBoxW, kBoxH, s.picture, s.from, s.lasting, error)) << error;
    return s;
}

// The player started at `micros` and paused: the picture it hands out first. The sound device
// never pulls, so the clock holds at the start and no picture can pass before it is taken.
PlayerPicture PausedPlayerAt(const std::string& file, int64_t micros) {
    Player player;
    std::string error;
    PlayerPicture got;
    EXPECT_TRUE(player.Open(file, kBoxW, kBoxH, error)) << error;
    player.SetSoundDevice(true, {48000, 2});
    player.Play(micros);
    for (int tries = 0; tries < 5000 && !player.TakePicture(got); ++tries)
        std::this_thread::sleep_for(std::chrono::milliseconds(4));
    player.Pause();
    return got;
}

// The file an exact cut of [start, start + 1 s] of `file` makes.
std::string ExactCut(const std::string& file, double start, const TempDir& dir) {
    const std::string out = dir / ("cut" + std::filesystem::path(file).extension().string());
    ConversionJob job;
    job.PrepareForJob(1);
    job.exactCut = true;
    job.inputPaths[0] = file;
    job.outputPaths[0] = out;
    job.segmentStart[0] = start;
    job.segmentEnd[0] = start + 1.0;
    job.segmentLength[0] = 1.0;
    RunConversion(job);
    EXPECT_EQ(job.inputStatus[0].load(), kInputDone) << (job.inputError.empty() ? "" : job.inputError[0]);
    return job.outputPaths[0];
}

GreyPicture Grey(const ShownPicture& p) {
    return GreyOf(p.rgb.data(), p.width, p.height, 64, 48);
}

}  // namespace

TEST(ShownPicture, TheStillThePausedPlayerAndTheExactCutStartOnTheSamePicture) {
    // 25 fps, every picture different, B-frames three deep, sound (the player's clock waits for it).
    const std::string mp4 =
        Fixture("same_picture.mp4", {"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25:duration=6", "-f", "lavfi",
                                     "-i", "sine=f=440:duration=6", "-c:v", "libx264", "-g", "50", "-bf", "3",
                                     "-pix_fmt", "yuv420p", "-c:a", "aac"});
    const std::string openGop = Fixture(
        "same_picture_open.mkv", {"-f",       "lavfi",   "-i",           "testsrc2=size=320x240:rate=25:duration=6",
                                  "-f",       "lavfi",   "-i",           "sine=f=440:duration=6",
                                  "-c:v",     "libx264", "-g",           "50",
                                  "-bf",      "3",       "-x264-params", "open-gop=1",
                                  "-pix_fmt", "yuv420p", "-c:a",         "aac"});
    const std::vector<std::string> files = {mp4, Fixture("same_picture.mkv", {"-i", mp4, "-c", "copy"}),
                                            Fixture("same_picture.ts", {"-i", mp4, "-c", "copy"}), openGop};
    struct Case {
        double at;       // the start asked for, after the first picture's start
        double picture;  // the start of the picture a cut from there starts on, likewise
    };
    const Case cases[] = {
        {1.37, 1.36},    // between two pictures: the one shown then
        {2.0, 2.0},      // a key frame
        {2.99, 3.0},     // 10 ms before a picture, less than half a picture: that picture
        {4.4791, 4.48},  // a time typed to a tenth of a millisecond, just before a picture
        {3.521, 3.52},   // just after a picture starts
    };
    for (const std::string& file : files) {
        FrameGrabber grabber;
        // Beside AAC, Matroska and MPEG-TS start the pictures a little after the file.
        const int64_t origin = StillAt(grabber, file, 0).from;
        for (const Case& c : cases) {
            const double at = c.at + origin / 1e6;
            SCOPED_TRACE(file + " from " + std::to_string(at));
            // Where the window puts the start: the picture shown at the time asked for tells
            // when the next one starts.
            const Still asked = StillAt(grabber, file, at);
            const int64_t start = CutStartPicture(std::llround(at * 1e6), asked.from, asked.lasting);
            const Still still = StillAt(grabber, file, (start + 500) / 1e6);
            EXPECT_NEAR(still.from, origin + std::llround(c.picture * 1e6), 500);
            ASSERT_FALSE(still.picture.rgb.empty());

            const PlayerPicture paused = PausedPlayerAt(file, start);
            EXPECT_EQ(paused.fromMicros, still.from);
            EXPECT_EQ(paused.forMicros, still.lasting);
            EXPECT_TRUE(paused.picture.rgb == still.picture.rgb) << "the player shows another picture";

            // The exact cut encodes its first pictures again: the same picture closely, and
            // plainly not either neighbour.
            TempDir dir;
            const std::string cut = ExactCut(file, at, dir);
            const Still first = StillAt(grabber, cut, 0);
            const double same = Psnr(Grey(first.picture), Grey(still.picture));
            EXPECT_GT(same, 40.0);
            for (int64_t neighbour : {still.from - 40000, still.from + 40000}) {
                const Still other = StillAt(grabber, file, (neighbour + 500) / 1e6);
                EXPECT_GT(same, Psnr(Grey(first.picture), Grey(other.picture)) + 6)
                    << "the cut starts on " << neighbour;
            }
        }
    }
}
