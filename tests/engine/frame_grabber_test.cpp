// The preview's picture: grabbed at the size shown, upright, keeping the picture's shape,
// and the same picture players show.
#include <gtest/gtest.h>

#include "engine/frame_grabber.h"
#include "tests/support/content.h"
#include "tests/support/media_tools.h"

using namespace ulvane;
using namespace ulvane::test;

namespace {

// The shown picture in grey, scaled down to `w` x `h` by averaging, as the comparisons want.
GreyPicture Grey(const ShownPicture& p, int w, int h) {
    GreyPicture g;
    g.width = w;
    g.height = h;
    g.pixels.resize(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            double sum = 0;
            int n = 0;
            for (int sy = y * p.height / h; sy < (y + 1) * p.height / h; ++sy)
                for (int sx = x * p.width / w; sx < (x + 1) * p.width / w; ++sx, ++n) {
                    const uint8_t* px = &p.rgb[(static_cast<size_t>(sy) * p.width + sx) * 3];
                    sum += 0.299 * px[0] + 0.587 * px[1] + 0.114 * px[2];
                }
            g.pixels[static_cast<size_t>(y) * w + x] = static_cast<uint8_t>(n ? sum / n + 0.5 : 0);
        }
    return g;
}

}  // namespace

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
    // 16:9 in a 4:3 box fills its width; turned upright (9:16) in a square box, its height.
    for (const Case& c :
         {Case{base, 640, 480, 640, 360}, Case{turned, 400, 400, 225, 400}, Case{base, 1280, 720, 1280, 720}}) {
        SCOPED_TRACE(c.path + " in " + std::to_string(c.boxW) + "x" + std::to_string(c.boxH));
        ShownPicture shown;
        std::string error;
        ASSERT_TRUE(grabber.Grab(c.path, 1.0, snapshot, c.boxW, c.boxH, shown, error)) << error;
        EXPECT_EQ(shown.width, c.wantW);
        EXPECT_EQ(shown.height, c.wantH);
        ASSERT_EQ(shown.rgb.size(), static_cast<size_t>(shown.width) * shown.height * 3);
        // What players show at that time (the key frame at 1 s), at the same shape.
        const int w = c.wantW > c.wantH ? 64 : 36, h = c.wantW > c.wantH ? 36 : 64;
        EXPECT_GT(Psnr(Grey(shown, w, h), PictureAt(c.path, 1.0, w, h)), 28.0);
    }
    // Without a box, only the snapshot.
    ShownPicture none;
    std::string error;
    ASSERT_TRUE(grabber.Grab(base, 0.5, snapshot, 0, 0, none, error)) << error;
    EXPECT_EQ(none.width, 0);
    EXPECT_TRUE(none.rgb.empty());
}
