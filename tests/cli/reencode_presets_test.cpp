// Re-encodings by the later rows of the lists: the source's own picture size and rate, H.265,
// and constant quality; judged by what the output shows (size, rate, every picture once, PSNR
// against the source) and by a full decode.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "tests/cli/cli_test_util.h"
#include "tests/support/content.h"

using namespace ulvane::test;

namespace {

// 3 s at 25 fps, 321x241 (odd on both sides; 4:4:4 so that H.264 takes it), with sound.
std::string OddFixture() {
    return Fixture("odd25.mp4", {"-f", "lavfi", "-i", "testsrc2=size=321x241:rate=25:duration=3", "-f", "lavfi", "-i",
                                 "sine=frequency=440:duration=3", "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt",
                                 "yuv444p", "-c:a", "aac", "-shortest"});
}

// The same pictures without sound: a join's pictures then only follow one another (with
// sound, a file's last picture may show longer, until its sound ends).
std::string SilentOddFixture() {
    return Fixture("odd25_silent.mp4", {"-i", OddFixture(), "-map", "0:v", "-c", "copy"});
}

// 320x240 shown a quarter turn clockwise (240x320), 2 s at 25 fps.
std::string TurnedFixture() {
    const std::string base =
        Fixture("presets_upright.mp4", {"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25:duration=2", "-c:v",
                                        "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p"});
    return Fixture("presets_turned.mp4", {"-i", base, "-c", "copy", "-metadata:s:v:0", "rotate=90"});
}

// A wider and faster second file for a join, silent: 640x360 at 30 fps, 1 s.
std::string WideFixture() {
    return Fixture("presets_wide30.mp4", {"-f", "lavfi", "-i", "testsrc2=size=640x360:rate=30:duration=1", "-c:v",
                                          "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p"});
}

// "width,height,rate,pictures" of the first picture stream, every picture counted by decoding.
std::string PictureShapeOf(const std::string& path) {
    const CommandResult r = Run({"ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                                 "stream=width,height,r_frame_rate,nb_read_frames", "-of", "csv=p=0", path});
    return r.out.substr(0, r.out.find('\n'));
}

std::string Probe(const std::string& path, const char* what) {
    const CommandResult r =
        Run({"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries", what, "-of", "csv=p=0", path});
    return r.out.substr(0, r.out.find('\n'));
}

}  // namespace

// The size list's last row keeps the source's size, upright and even for 4:2:0 pictures; with
// the source's rate (the cut's first row, the join's last) every picture comes once.
TEST(CliReencodePresets, TheSourcesSizeAndRateKeepEveryPictureOnce) {
    const std::string odd = OddFixture();
    const struct {
        const char* name;
        std::vector<std::string> args;
        const char* shape;   // width,height,rate,pictures
        double sourceStart;  // where the output's first picture is in the source
    } cases[] = {
        {"H.264 cut of an odd size",
         {"cut", odd, "--start", "00:00:00.520", "--end", "00:00:02.520", "--format", "1", "--framerate", "0"},
         "320,240,25/1,50",
         0.52},
        {"MPEG-4 Part 2 cut, constant quality",
         {"cut", odd, "--start", "00:00:00.520", "--end", "00:00:02.520", "--format", "0", "--quality", "12"},
         "320,240,25/1,50",
         0.52},
        {"a turned source comes out upright",
         {"cut", TurnedFixture(), "--start", "0", "--end", "2"},
         "240,320,25/1,50",
         0},
        {"a join takes the first file's size and rate",
         {"join", SilentOddFixture(), WideFixture(), "--framerate", "10"},
         "320,240,25/1,100",
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir out;
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"--reencode", "--size", "9", "--out-dir", out.path().string(), "--name", "out"});
        const CommandResult r = Cli(args);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const std::string file = LastLine(r.out);
        EXPECT_EQ(PictureShapeOf(file), c.shape);
        EXPECT_EQ(Inspect(file).decodeErrors, "");
        // The picture itself, as a player shows both, unstretched (late in a picture of both:
        // Matroska and AVI may place the first picture some milliseconds after the start).
        for (double t : {0.35, 1.55}) EXPECT_GT(PsnrAt(file, t, c.args[1], c.sourceStart + t), 28.0) << t;
    }
}

// H.265 rows write HEVC that decodes clean (tagged hvc1 in MP4 and QuickTime files); constant-
// quality rows give pictures close to the source, and a lower quality a smaller file.
TEST(CliReencodePresets, HevcAndConstantQualityRowsMatchTheSource) {
    const std::string source = AvFixture();  // 320x240, 25 fps, with sound
    const struct {
        const char* name;
        const char* format;
        const char* quality;
        const char* codec;  // codec name and tag of the output's pictures
        double psnr;        // at least, against the source
    } cases[] = {
        {"H.265 MP4, 3000 kbps", "7", "3", "hevc,hvc1", 32},
        {"H.265 MKV, high quality", "8", "11", "hevc,[0][0][0][0]", 34},
        {"H.265 MOV, low quality", "9", "13", "hevc,hvc1", 28},
        {"H.264 MP4, high quality", "1", "11", "h264,avc1", 34},
        {"H.264 MP4, low quality", "1", "13", "h264,avc1", 28},
        {"Flash Video, medium quality", "3", "12", "flv1,[0][0][0][0]", 28},
    };
    std::map<std::string, uintmax_t> bytes;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir out;
        const CommandResult r = Cli({"cut", source, "--start", "1", "--end", "3", "--reencode", "--format", c.format,
                                     "--quality", c.quality, "--size", "9", "--out-dir", out.path().string()});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        // x265 writes "x265 [info]: ..." lines unless told to keep quiet.
        EXPECT_EQ(r.err.find("x265 ["), std::string::npos) << "the encoder keeps quiet: " << r.err;
        const std::string file = LastLine(r.out);
        EXPECT_EQ(Probe(file, "stream=codec_name,codec_tag_string"), c.codec);
        EXPECT_EQ(Problems(Inspect(file), true, true, 2.0, 0.1), "");
        // Late in a picture of both (Matroska and Flash Video place the first picture up to 25 ms
        // after the start).
        for (double t : {0.35, 1.55}) EXPECT_GT(PsnrAt(file, t, source, 1 + t), c.psnr) << t;
        bytes[c.name] = std::filesystem::file_size(file);
    }
    EXPECT_LT(bytes["H.264 MP4, low quality"] * 3, bytes["H.264 MP4, high quality"] * 2);
}
