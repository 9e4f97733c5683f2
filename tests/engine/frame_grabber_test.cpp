// The preview's picture: grabbed at the size shown, upright, keeping the picture's shape,
// and the same picture players show.
#include <gtest/gtest.h>

#include "engine/frame_grabber.h"
#include "engine/key_frames.h"
#include "tests/support/content.h"
#include "tests/support/media_tools.h"

using namespace ulvane;
using namespace ulvane::test;

namespace {}  // namespace

TEST(FrameGrabber, ThePreviewPictureIsGrabbedAtTheShownSizeUprightAndUndistorted) {
    const std::string base = Fixture("grab_wide.mp4", {"-f", "lavfi", "-i", "testsrc2=size=320x180:rate=25", "-t", "2",
                                                       "-c:v", "libx264", "-g", "25", "-pix_fmt", "yuv420p"});
    const std::string turned =
        Fixture("grab_wide_rot90.mp4", {"-i", base, "-c", "copy", "-metadata:s:v:0", "rotate=90"});
    TempDir dir;
    const std::string snapshot = dir / "image.bmp";
    FrameGrabber grabber;
    struct Case {
        std::string path;
        int boxW, boxH, wantW, wantH;
    };
    // 16:9 in a 4:3 box fills its width; turned upright (9:16) in a square box, its height. A
    // row of 855 bytes is no whole number of the words the scaler writes.
    for (const Case& c : {Case{base, 640, 480, 640, 360}, Case{turned, 400, 400, 225, 400},
                          Case{base, 1280, 720, 1280, 720}, Case{base, 285, 612, 285, 160}}) {
        SCOPED_TRACE(c.path + " in " + std::to_string(c.boxW) + "x" + std::to_string(c.boxH));
        ShownPicture shown;
        std::string error;
        ASSERT_TRUE(grabber.Grab(c.path, 1.0, snapshot, c.boxW, c.boxH, shown, error)) << error;
        EXPECT_EQ(shown.width, c.wantW);
        EXPECT_EQ(shown.height, c.wantH);
        ASSERT_EQ(shown.rgb.size(), static_cast<size_t>(shown.width) * shown.height * 3);
        // What players show at that time (the key frame at 1 s), at the same shape.
        const int w = c.wantW > c.wantH ? 64 : 36, h = c.wantW > c.wantH ? 36 : 64;
        EXPECT_GT(Psnr(GreyOf(shown.rgb.data(), shown.width, shown.height, w, h), PictureAt(c.path, 1.0, w, h)), 28.0);
    }
    // Without a box, only the snapshot.
    ShownPicture none;
    std::string error;
    ASSERT_TRUE(grabber.Grab(base, 0.5, snapshot, 0, 0, none, error)) << error;
    EXPECT_EQ(none.width, 0);
    EXPECT_TRUE(none.rgb.empty());
}

TEST(FrameGrabber, AnExactGrabShowsThePictureAtThatTimeAndWhenItShows) {
    // Every picture different, a key frame every 2 s, B-frames.
    const std::string source =
        Fixture("grab_exact.mp4", {"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25", "-t", "6", "-c:v", "libx264",
                                   "-g", "50", "-bf", "3", "-pix_fmt", "yuv420p"});
    FrameGrabber grabber;
    for (double at : {0.0, 1.37, 2.0, 3.999, 5.5, 1.0}) {  // back again, too
        SCOPED_TRACE(at);
        ShownPicture shown;
        int64_t from = 0, lasting = 0;
        std::string error;
        ASSERT_TRUE(grabber.GrabExact(source, at, 160, 120, shown, from, lasting, error)) << error;
        EXPECT_EQ(shown.width, 160);
        EXPECT_EQ(lasting, 40000);
        EXPECT_LE(from, static_cast<int64_t>(at * 1e6));
        EXPECT_GT(from + lasting, static_cast<int64_t>(at * 1e6));
        // The picture players show from `from` (the ffmpeg tool gives the first picture
        // starting at or after a time), and not its neighbours.
        const GreyPicture got = GreyOf(shown.rgb.data(), shown.width, shown.height, 64, 48);
        const double right = Psnr(got, PictureAt(source, from / 1e6 - 0.001, 64, 48));
        EXPECT_GT(right, 30.0);
        if (from >= 40000) {
            EXPECT_GT(right, Psnr(got, PictureAt(source, from / 1e6 - 0.041, 64, 48)) + 3);
        }
        EXPECT_GT(right, Psnr(got, PictureAt(source, from / 1e6 + 0.039, 64, 48)) + 3);
    }
}

TEST(FrameGrabber, KeyFramesComeFromTheIndexOrThePacketsAndPlaceADirectCut) {
    const std::string mp4 = Fixture("keys.mp4", {"-f", "lavfi", "-i", "testsrc2=size=160x120:rate=25", "-t", "7",
                                                 "-c:v", "libx264", "-g", "50", "-bf", "3", "-pix_fmt", "yuv420p"});
    const std::string mkv = Fixture("keys.mkv", {"-i", mp4, "-c", "copy"});
    const std::string ts = Fixture("keys.ts", {"-i", mp4, "-c", "copy"});
    const std::atomic<bool> go{false};
    for (const std::string& file : {mp4, mkv, ts}) {
        SCOPED_TRACE(file);
        const std::vector<int64_t> keys = KeyFrameTimes(file, go);
        ASSERT_EQ(keys.size(), 4u);
        for (size_t i = 0; i < keys.size(); ++i) EXPECT_NEAR(keys[i], static_cast<int64_t>(i) * 2'000'000, 25'000);
        EXPECT_NEAR(DirectCutStart(keys, 3'300'000), 2'000'000, 25'000);
    }
    EXPECT_EQ(DirectCutStart({}, 123), 123);
    EXPECT_EQ(DirectCutStart({500, 900}, 100), 500);  // before the first: the first
    const std::atomic<bool> stop{true};
    EXPECT_LE(KeyFrameTimes(ts, stop).size(), 1u);  // cancelled at once
}
