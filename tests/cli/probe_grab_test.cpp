// Probe and grab through the command line: results, codes, the snapshot's bytes and the
// picture it shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>

#include "tests/cli/cli_test_util.h"

namespace fs = std::filesystem;
using namespace ulvane::test;

namespace {

uint32_t Le32(const std::string& b, size_t at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(b[at])) |
           static_cast<uint32_t>(static_cast<uint8_t>(b[at + 1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(b[at + 2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24;
}

struct Bgr {
    int b, g, r;
};
// Pixel (x, y) of the snapshot, y counted from the top.
Bgr PixelAt(const std::string& bmp, int x, int y) {
    const size_t at = 54 + static_cast<size_t>(239 - y) * 960 + static_cast<size_t>(x) * 3;
    return {static_cast<uint8_t>(bmp[at]), static_cast<uint8_t>(bmp[at + 1]), static_cast<uint8_t>(bmp[at + 2])};
}

// One second each of red, green and blue, a key frame at the start of each second.
std::vector<std::string> ColourArgs(const std::string& size, const std::string& pixfmt) {
    const std::string c = ":s=" + size + ":r=25:d=1";
    return {"-f",
            "lavfi",
            "-i",
            "color=c=red" + c + "[r];color=c=lime" + c + "[g];color=c=blue" + c + "[b];[r][g][b]concat=n=3[out0]",
            "-c:v",
            "libx264",
            "-preset",
            "veryfast",
            "-g",
            "25",
            "-bf",
            "2",
            "-pix_fmt",
            pixfmt};
}

std::string Dominant(const Bgr& p) {
    if (p.r > 180 && p.g < 80 && p.b < 80) return "red";
    if (p.g > 180 && p.r < 80 && p.b < 80) return "green";
    if (p.b > 180 && p.r < 80 && p.g < 80) return "blue";
    return "other(" + std::to_string(p.r) + "," + std::to_string(p.g) + "," + std::to_string(p.b) + ")";
}

}  // namespace

TEST(CliProbe, DescribesAFile) {
    const auto r = Cli({"probe", AvFixture30fps()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    auto v = ProbeValues(r.out);
    EXPECT_EQ(v["width"], "320");
    EXPECT_EQ(v["height"], "240");
    EXPECT_EQ(v["frame_rate"], "30/1");
    EXPECT_NEAR(std::stoll(v["duration_us"]), 4000000, 50000);
    EXPECT_EQ(v["audio_tracks"], "1");
    EXPECT_EQ(v["subtitle_tracks"], "0");
    // Two languages and a subtitle track: all counted.
    const std::string srt = (std::filesystem::temp_directory_path() / "ulvane_probe_tracks.srt").string();
    std::ofstream(srt) << "1\n00:00:00,500 --> 00:00:01,500\nHello\n";
    const std::string tracks =
        Fixture("tracks.mkv",
                {"-i",  AvFixture30fps(), "-i", AvFixture30fps(), "-i",   srt,    "-map", "0:v",  "-map", "0:a", "-map",
                 "1:a", "-map",           "2",  "-c:v",           "copy", "-c:a", "copy", "-c:s", "srt"});
    v = ProbeValues(Cli({"probe", tracks}).out);
    EXPECT_EQ(v["audio_tracks"], "2");
    EXPECT_EQ(v["subtitle_tracks"], "1");
    // A TrueHD track in a transport stream, which FFmpeg shows twice (the track and an AC-3
    // view of the same PID): one sound track, nothing else to copy, and a direct cut works.
    const std::string truehd = Fixture("truehd.m2ts", {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25", "-f",
                                                       "lavfi", "-i", "sine=sample_rate=48000", "-t", "2", "-c:v",
                                                       "libx264", "-c:a", "truehd", "-strict", "-2", "-ac", "2"});
    v = ProbeValues(Cli({"probe", truehd}).out);
    EXPECT_EQ(v["audio_tracks"], "1");
    EXPECT_EQ(v["other_tracks"], "");
    TempDir out;
    const auto cut = Cli({"cut", truehd, "--start", "0", "--end", "1", "--out-dir", out.path().string(), "--quiet"});
    EXPECT_EQ(cut.exitCode, 0) << cut.err;
}

TEST(CliProbe, TellsTheTurnThatShowsThePictureUpright) {
    // FFmpeg 5.1's MP4 muxer writes the tag rotate=90 as a quarter turn counter-clockwise
    // (ffprobe: rotation=90), which a player shows turned 270 degrees clockwise.
    const struct {
        const char* tag;
        const char* clockwise;
    } cases[] = {{"0", "0"}, {"90", "270"}, {"180", "180"}, {"270", "90"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tag);
        const std::string src =
            Fixture(std::string("turned") + c.tag + ".mp4",
                    {"-i", AvFixture30fps(), "-c", "copy", "-metadata:s:v:0", std::string("rotate=") + c.tag});
        EXPECT_EQ(ProbeValues(Cli({"probe", src}).out)["rotation"], c.clockwise);
    }
    // A phone held upright: ffprobe's rotation -90, shown turned 90 degrees clockwise.
    if (const auto media = SharedMediaDir()) {
        EXPECT_EQ(ProbeValues(Cli({"probe", (*media / "iphonexr_hevc_aac_rot90_60fps.mov").string()}).out)["rotation"],
                  "90");
    }
}

TEST(CliProbe, AudioOnlyFileHasNoPictureSize) {
    const auto r = Cli({"probe", AudioOnlyFixture()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    auto v = ProbeValues(r.out);
    EXPECT_EQ(v["width"], "0");
    EXPECT_EQ(v["height"], "0");
    EXPECT_NEAR(std::stoll(v["duration_us"]), 2000000, 50000);
}

TEST(CliProbe, ImpossiblyHighFrameRatesGetTheDenominator1001) {
    const std::string src = Fixture("rate30000.mp4", {"-f", "lavfi", "-i", "testsrc=size=64x48:rate=30000", "-frames:v",
                                                      "30", "-c:v", "libx264", "-pix_fmt", "yuv420p"});
    const auto r = Cli({"probe", src});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ProbeValues(r.out)["frame_rate"], "30000/1001");
}

TEST(CliProbe, CoverArtIsNotVideo) {
    const std::string cover = Fixture("cover.png", {"-f", "lavfi", "-i", "color=c=red:s=64x64", "-frames:v", "1"});
    const std::string mp3 = Fixture("cover.mp3", {"-f",
                                                  "lavfi",
                                                  "-i",
                                                  "sine",
                                                  "-i",
                                                  cover,
                                                  "-t",
                                                  "1",
                                                  "-map",
                                                  "0:a",
                                                  "-map",
                                                  "1:v",
                                                  "-c:a",
                                                  "libmp3lame",
                                                  "-c:v",
                                                  "png",
                                                  "-disposition:v",
                                                  "attached_pic",
                                                  "-id3v2_version",
                                                  "3"});
    const auto r = Cli({"probe", mp3});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ProbeValues(r.out)["width"], "0");
    TempDir out;
    const auto g = Cli({"grab", mp3, "--at", "0", "--out", out / "x.bmp"});
    EXPECT_EQ(g.exitCode, 1);
    EXPECT_NE(g.err.find("no pictures"), std::string::npos) << g.err;
}

TEST(CliProbe, UnusableFilesSayWhy) {
    TempDir work;
    WriteFileBytes(work / "garbage.mp4", std::string(100000, '\x7f'));
    WriteFileBytes(work / "empty.avi", "");
    WriteFileBytes(work / "subtitles.srt", "1\n00:00:01,000 --> 00:00:02,000\nhello\n");
    // An AVI whose video codec nobody knows: its four-character code renamed.
    std::string avi = ReadFileBytes(
        Fixture("known.avi", {"-f", "lavfi", "-i", "testsrc2=size=160x120:rate=10", "-t", "1", "-c:v", "mpeg4"}));
    for (size_t at; (at = avi.find("FMP4")) != std::string::npos;) avi.replace(at, 4, "QQQQ");
    WriteFileBytes(work / "unknown.avi", avi);
    const struct {
        const char* name;
        const char* words;
    } cases[] = {
        {"garbage.mp4", "cannot be opened"},
        {"empty.avi", "cannot be opened"},
        {"subtitles.srt", "neither pictures nor sound"},
        {"unknown.avi", "no decoder"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto r = Cli({"probe", work / c.name});
        EXPECT_EQ(r.exitCode, 1);
        // One line that names the file and says in words what is wrong, without inner codes.
        EXPECT_EQ(r.err.rfind("ulvane-cli: " + (work / c.name) + " cannot be used: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(c.words), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find_first_of("0123456789", r.err.find(c.words)), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(Cli({"probe", work / "missing.mp4"}).exitCode, 2);
    EXPECT_EQ(Cli({"probe", work.path().string()}).exitCode, 1);  // a folder
}

TEST(CliGrab, WritesTheSnapshotBitmapLayout) {
    TempDir out;
    const auto r = Cli({"grab", AvFixture(), "--at", "1.2", "--out", out / "image.bmp"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string bmp = ReadFileBytes(out / "image.bmp");
    ASSERT_EQ(bmp.size(), 230454u);
    EXPECT_EQ(bmp.substr(0, 2), "BM");
    EXPECT_EQ(Le32(bmp, 2), 230454u);
    EXPECT_EQ(Le32(bmp, 6), 0u);
    EXPECT_EQ(Le32(bmp, 10), 54u);
    EXPECT_EQ(Le32(bmp, 14), 40u);
    EXPECT_EQ(Le32(bmp, 18), 320u);
    EXPECT_EQ(Le32(bmp, 22), 240u);
    EXPECT_EQ(Le32(bmp, 26), 1u | (24u << 16));  // one plane, 24 bits per pixel
    EXPECT_EQ(Le32(bmp, 30), 0u);
    EXPECT_EQ(Le32(bmp, 34), 230400u);
    EXPECT_EQ(Le32(bmp, 38), 100u);
    EXPECT_EQ(Le32(bmp, 42), 100u);
    EXPECT_EQ(Le32(bmp, 46), 0u);
    EXPECT_EQ(Le32(bmp, 50), 0u);
    // The only file in the folder: no temporary file is left behind.
    EXPECT_EQ(FilesIn(out.path()), std::vector<std::string>{"image.bmp"});
}

TEST(CliGrab, ShowsThePictureOfTheKeyFrameAtOrBeforeTheTime) {
    const std::string src = Fixture("colours.mp4", ColourArgs("160x120", "yuv420p"));
    TempDir out;
    const struct {
        const char* at;
        const char* colour;
    } cases[] = {{"0", "red"}, {"0.96", "red"}, {"1.0", "green"}, {"1.5", "green"}, {"2.7", "blue"}, {"0.2", "red"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.at);
        const auto r = Cli({"grab", src, "--at", c.at, "--out", out / "image.bmp"});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const std::string bmp = ReadFileBytes(out / "image.bmp");
        EXPECT_EQ(Dominant(PixelAt(bmp, 160, 120)), c.colour);
        EXPECT_EQ(Dominant(PixelAt(bmp, 2, 2)), c.colour);
        EXPECT_EQ(Dominant(PixelAt(bmp, 317, 237)), c.colour);
    }
}

TEST(CliGrab, EveryPictureLayoutGivesTheSameBitmap) {
    TempDir out;
    for (const char* fmt : {"yuv422p", "yuv444p", "yuvj420p", "gray"}) {
        SCOPED_TRACE(fmt);
        const std::string src = Fixture(std::string("colours_") + fmt + ".mkv", ColourArgs("161x121", fmt));
        const auto r = Cli({"grab", src, "--at", "1.5", "--out", out / "image.bmp"});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const std::string bmp = ReadFileBytes(out / "image.bmp");
        ASSERT_EQ(bmp.size(), 230454u);
        const Bgr p = PixelAt(bmp, 160, 120);
        if (std::string(fmt) == "gray") {
            EXPECT_NEAR(p.r, p.g, 3);  // no colour, but a picture all the same
        } else {
            EXPECT_EQ(Dominant(p), "green");
            EXPECT_EQ(Dominant(PixelAt(bmp, 0, 0)), "green");  // the top row is the top of the picture
            EXPECT_EQ(Dominant(PixelAt(bmp, 319, 239)), "green");
        }
    }
}

TEST(CliGrab, TimesCountFromTheFilesOwnStart) {
    // MPEG-TS starting at 10 s, positioned by bytes: 1.5 s into it is the green second.
    const std::string ts = Fixture("colours.ts", [] {
        auto a = ColourArgs("160x120", "yuv420p");
        a.insert(a.end(), {"-output_ts_offset", "10"});
        return a;
    }());
    TempDir out;
    for (const auto& [at, colour] : std::vector<std::pair<std::string, std::string>>{
             {"0", "red"}, {"1.5", "green"}, {"2.5", "blue"}, {"0.5", "red"}}) {
        SCOPED_TRACE(at);
        const auto r = Cli({"grab", ts, "--at", at, "--out", out / "image.bmp"});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(Dominant(PixelAt(ReadFileBytes(out / "image.bmp"), 80, 60)), colour);
    }
}

TEST(CliGrab, AFailedGrabLeavesTheOldSnapshotAsItWas) {
    TempDir out;
    const std::string old(230454, '\x42');
    WriteFileBytes(out / "image.bmp", old);
    const auto audio = Cli({"grab", AudioOnlyFixture(), "--at", "0.5", "--out", out / "image.bmp"});
    EXPECT_EQ(audio.exitCode, 1);
    EXPECT_NE(audio.err.find("no picture written"), std::string::npos) << audio.err;
    EXPECT_EQ(ReadFileBytes(out / "image.bmp"), old);
    WriteFileBytes(out / "broken.webm", std::string(4000, '\x1a'));
    EXPECT_EQ(Cli({"grab", out / "broken.webm", "--at", "0", "--out", out / "image.bmp"}).exitCode, 1);
    EXPECT_EQ(ReadFileBytes(out / "image.bmp"), old);
    // A grab past the end shows the last key frame or nothing, but never a broken file.
    const auto late = Cli({"grab", AvFixture(), "--at", "600", "--out", out / "image.bmp"});
    EXPECT_EQ(ReadFileBytes(out / "image.bmp").size(), 230454u);
    EXPECT_EQ(FilesIn(out.path()), (std::vector<std::string>{"broken.webm", "image.bmp"})) << late.err;
    // A folder that does not exist cannot take the file.
    const auto nowhere = Cli({"grab", AvFixture(), "--at", "1", "--out", out / "no/such/folder/image.bmp"});
    EXPECT_EQ(nowhere.exitCode, 1);
}

TEST(CliGrab, UsageErrors) {
    TempDir out;
    EXPECT_EQ(Cli({"grab", AvFixture(), "--at", "-1", "--out", out / "x.bmp"}).exitCode, 2);
    EXPECT_EQ(Cli({"grab", AvFixture(), "--at", "soon", "--out", out / "x.bmp"}).exitCode, 2);
    EXPECT_EQ(Cli({"grab", AvFixture(), "--out", out / "x.bmp"}).exitCode, 2);
    EXPECT_EQ(Cli({"grab", out / "missing.mp4", "--at", "1", "--out", out / "x.bmp"}).exitCode, 2);
    EXPECT_TRUE(FilesIn(out.path()).empty());
}

TEST(CliJoin, DirectJoinRefusesFilesOfOtherTypeOrSizeBeforeCreatingAnything) {
    const std::string small =
        Fixture("small640.mp4", {"-f", "lavfi", "-i", "testsrc2=size=640x480:rate=25", "-f", "lavfi", "-i", "sine",
                                 "-t", "1", "-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a", "aac"});
    const std::string big =
        Fixture("big1280.mp4", {"-f", "lavfi", "-i", "testsrc2=size=1280x720:rate=25", "-f", "lavfi", "-i", "sine",
                                "-t", "1", "-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a", "aac"});
    TempDir work;
    fs::copy_file(small, work / "upper.MP4");
    TempDir out;
    const auto sizes = Cli({"join", "--out-dir", out.path().string(), "--name", "j", small, big});
    EXPECT_EQ(sizes.exitCode, 1);
    EXPECT_NE(sizes.err.find("640*480"), std::string::npos) << sizes.err;
    EXPECT_NE(sizes.err.find("1280*720"), std::string::npos) << sizes.err;
    EXPECT_NE(sizes.err.find("--reencode"), std::string::npos) << sizes.err;
    EXPECT_TRUE(FilesIn(out.path()).empty());
    // MP4 and mp4 name one type: those files join directly.
    const auto cases = Cli({"join", "--out-dir", out.path().string(), "--name", "c", small, work / "upper.MP4"});
    ASSERT_EQ(cases.exitCode, 0) << cases.err;
    EXPECT_EQ(Problems(Inspect(LastLine(cases.out)), true, true, 2.0, 0.1), "");
    // The same files join when re-encoded.
    const auto again = Cli({"join", "--reencode", "--out-dir", out.path().string(), "--name", "j", small, big});
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(Problems(Inspect(LastLine(again.out)), true, true, 2.0, 0.1), "");
}
