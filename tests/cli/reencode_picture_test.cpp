// Re-encoded pictures and the preview are shown upright and undistorted: turned as the
// source's rotation asks (and written with no rotation), fitted in the preset size
// keeping their shape with black bars around, compared with the ffmpeg tool's own
// display of the source.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "tests/cli/cli_test_util.h"
#include "tests/support/content.h"

using namespace ulvane::test;

namespace {

// 320x240 moving pictures; `rotate` (degrees) is written as the stream's rotation.
std::string RotatedFixture(int rotate) {
    const std::string base = Fixture("upright.mp4", {"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25:duration=3",
                                                     "-c:v", "libx264", "-preset", "veryfast", "-pix_fmt", "yuv420p"});
    const std::string r = std::to_string(rotate);
    return Fixture("rotated" + r + ".mp4", {"-i", base, "-c", "copy", "-metadata:s:v:0", "rotate=" + r});
}

// A part of a picture: columns [x, x + w), rows [y, y + h).
GreyPicture Crop(const GreyPicture& p, int x, int y, int w, int h) {
    GreyPicture c;
    if (p.empty() || x + w > p.width || y + h > p.height) return c;
    c.width = w;
    c.height = h;
    for (int row = y; row < y + h; ++row)
        c.pixels.insert(c.pixels.end(), p.pixels.begin() + row * p.width + x, p.pixels.begin() + row * p.width + x + w);
    return c;
}

double Mean(const GreyPicture& p) {
    if (p.empty()) return 255;
    double sum = 0;
    for (uint8_t v : p.pixels) sum += v;
    return sum / static_cast<double>(p.pixels.size());
}

// The output's 64x48 picture at `t` has the source's shown picture (scaled to w x h) at
// (x, y) and black elsewhere. Returns the PSNR of that middle part.
double FittedMatch(const std::string& output, double outT, const std::string& source, double sourceT, int x, int y,
                   int w, int h) {
    const GreyPicture out = PictureAt(output, outT);
    if (x > 0) {
        EXPECT_LT(Mean(Crop(out, 0, 0, x - 1, 48)), 20.0) << "left bar";
        EXPECT_LT(Mean(Crop(out, x + w + 1, 0, 64 - x - w - 1, 48)), 20.0) << "right bar";
    }
    if (y > 0) {
        EXPECT_LT(Mean(Crop(out, 0, 0, 64, y - 1)), 20.0) << "top bar";
        EXPECT_LT(Mean(Crop(out, 0, y + h + 1, 64, 48 - y - h - 1)), 20.0) << "bottom bar";
    }
    return Psnr(Crop(out, x, y, w, h), PictureAt(source, sourceT, w, h));
}

CommandResult Reencode(const std::string& source, const std::string& dir, const std::string& format,
                       const std::string& size, const std::string& name = "out") {
    return Cli({"cut", source, "--start", "00:00:00.000", "--end", "00:00:02.000", "--out-dir", dir, "--name", name,
                "--reencode", "--format", format, "--size", size});
}

}  // namespace

TEST(CliReencodePicture, RotatedSourcesComeOutUprightInEveryFormat) {
    for (int rotate : {90, 180, 270}) {
        const std::string source = RotatedFixture(rotate);
        ASSERT_EQ(ShapeOf(source).height, rotate == 180 ? 240 : 320) << rotate;  // as the tool shows it
        for (int format = 0; format <= 6; ++format) {
            if (rotate == 180 && format % 3 != 0) continue;  // a few rows are enough for a half turn
            SCOPED_TRACE("rotate " + std::to_string(rotate) + ", format row " + std::to_string(format));
            TempDir out;
            const auto r = Reencode(source, out.path().string(), std::to_string(format), "0");
            ASSERT_EQ(r.exitCode, 0) << r.err;
            const std::string file = LastLine(r.out);
            const PictureShape shape = ShapeOf(file);
            EXPECT_EQ(shape.rotation, "");
            EXPECT_EQ(shape.width, 320);
            EXPECT_EQ(shape.height, 240);
            // 320x240 shown as 240x320, fitted in 320x240: 180x240 at x = 70, which is
            // 36x48 at x = 14 in the 64x48 picture compared.
            for (double t : {0.52, 1.52}) {
                const double match = rotate == 180 ? Psnr(PictureAt(file, t), PictureAt(source, t))
                                                   : FittedMatch(file, t, source, t, 14, 0, 36, 48);
                EXPECT_GT(match, 30.0) << t;
            }
        }
    }
}

TEST(CliReencodePicture, AWidePictureIsLetterboxedNotStretched) {
    const std::string source = Fixture("wide.mp4", {"-f", "lavfi", "-i", "testsrc2=size=640x360:rate=25:duration=3",
                                                    "-c:v", "libx264", "-preset", "veryfast", "-pix_fmt", "yuv420p"});
    TempDir out;
    const auto r = Reencode(source, out.path().string(), "1", "1");  // H.264 MP4, 640*480
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string file = LastLine(r.out);
    const PictureShape shape = ShapeOf(file);
    EXPECT_EQ(shape.width, 640);
    EXPECT_EQ(shape.height, 480);
    // 640x360 in the middle of 640x480: rows 6 to 42 of the 64x48 picture compared.
    for (double t : {0.52, 1.52}) EXPECT_GT(FittedMatch(file, t, source, t, 0, 6, 64, 36), 30.0) << t;
}

TEST(CliReencodePicture, NonSquarePixelsAreShownAtTheirShape) {
    // 720x480 with 32:27 pixels is shown 16:9.
    const std::string source =
        Fixture("anamorphic.mp4", {"-f", "lavfi", "-i", "testsrc2=size=720x480:rate=25:duration=3", "-vf",
                                   "setsar=32/27", "-c:v", "libx264", "-preset", "veryfast", "-pix_fmt", "yuv420p"});
    ASSERT_NEAR(ShapeOf(source).displayAspect, 16.0 / 9.0, 0.01);
    TempDir out;
    const auto r = Reencode(source, out.path().string(), "0", "1");  // 640*480
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string file = LastLine(r.out);
    const PictureShape shape = ShapeOf(file);  // square pixels
    EXPECT_EQ(shape.width, 640);
    EXPECT_EQ(shape.height, 480);
    for (double t : {0.52, 1.52}) EXPECT_GT(FittedMatch(file, t, source, t, 0, 6, 64, 36), 30.0) << t;
}

TEST(CliReencodePicture, APortraitPictureIsPillarboxed) {
    const std::string source =
        Fixture("portrait.mp4", {"-f", "lavfi", "-i", "testsrc2=size=240x320:rate=25:duration=3", "-c:v", "libx264",
                                 "-preset", "veryfast", "-pix_fmt", "yuv420p"});
    TempDir out;
    const auto r = Reencode(source, out.path().string(), "2", "0");  // AVI, 320*240
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (double t : {0.52, 1.52}) EXPECT_GT(FittedMatch(LastLine(r.out), t, source, t, 14, 0, 36, 48), 30.0) << t;
}

TEST(CliReencodePicture, ThePreviewIsUprightAndKeepsItsShape) {
    TempDir out;
    const std::string wide = Fixture("wide.mp4", {"-f", "lavfi", "-i", "testsrc2=size=640x360:rate=25:duration=3",
                                                  "-c:v", "libx264", "-preset", "veryfast", "-pix_fmt", "yuv420p"});
    struct Case {
        std::string source;
        int x, y, w, h;  // where the picture lies in the 64x48 comparison
    };
    const Case cases[] = {
        {RotatedFixture(90), 14, 0, 36, 48}, {RotatedFixture(270), 14, 0, 36, 48}, {wide, 0, 6, 64, 36}};
    int k = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        const std::string bmp = (out.path() / ("shot" + std::to_string(k++) + ".bmp")).string();
        const auto r = Cli({"grab", c.source, "--at", "0", "--out", bmp});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        ASSERT_EQ(ShapeOf(bmp).width, 320);
        EXPECT_GT(FittedMatch(bmp, 0, c.source, 0, c.x, c.y, c.w, c.h), 28.0);
    }
}

TEST(CliReencodePicture, RealPortraitPhoneVideoComesOutUpright) {
    const auto dir = SharedMediaDir();
    if (!dir || !std::filesystem::exists(*dir / "iphonexr_hevc_aac_rot90_60fps.mov")) GTEST_SKIP() << "no shared media";
    const std::string source = (*dir / "iphonexr_hevc_aac_rot90_60fps.mov").string();
    const PictureShape in = ShapeOf(source);
    ASSERT_NE(in.rotation, "");
    ASSERT_GT(in.height, in.width);
    TempDir out;
    const auto r = Reencode(source, out.path().string(), "6", "1");  // MKV, 640*480
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string file = LastLine(r.out);
    EXPECT_EQ(ShapeOf(file).rotation, "");
    // The shown picture (portrait) fitted in 640x480: its width in the 64x48 comparison.
    const int w = static_cast<int>(std::lround(48 * in.displayAspect / 2)) * 2;
    // The sample lasts 0.6 s.
    EXPECT_GT(FittedMatch(file, 0.3, source, 0.3, (64 - w) / 2, 0, w, 48), 25.0);
}
