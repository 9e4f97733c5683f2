// Cutting through the command line, direct and re-encoded, checked with ffprobe and a
// full decode.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/cli/cli_test_util.h"

namespace fs = std::filesystem;
using namespace ulvane::test;

TEST(CliCut, DirectCutStartsAtTheKeyFrameAndEndsAtTheEndPoint) {
    TempDir out;
    // Key frames every second: the start 1.5 s falls back to the key frame at 1.0 s.
    const auto r =
        Cli({"cut", AvFixture(), "--start", "00:00:01.500", "--end", "00:00:04.000", "--out-dir", out.path().string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string file = LastLine(r.out);
    EXPECT_EQ(file, out / "av.mp4");
    const MediaReport m = Inspect(file);
    EXPECT_EQ(m.video.codec, "h264");
    EXPECT_EQ(m.audio.codec, "aac");
    EXPECT_EQ(Problems(m, true, true, 3.0, 0.15), "");
}

TEST(CliCut, DirectCutInFlvWithBFramesStartsBeforeTheMarkedPicture) {
    // FLV seeks by decode time: a start just before the key frame at 2 s (which decodes
    // before it shows) found that key frame, and the pictures from the start to it were lost.
    const std::string flv = FlvWithBFramesFixture();
    TempDir out;
    const auto r = Cli({"cut", flv, "--start", "1.97", "--end", "3.0", "--out-dir", out.path().string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // Cut from the key frame at 0 s, so it lasts up to the end point (not from 2 s: 1 s).
    EXPECT_EQ(Problems(Inspect(LastLine(r.out)), true, true, 3.0, 0.2), "");
}

TEST(CliCut, DirectCutFromTheStartNeedsNoSeek) {
    TempDir out;
    const auto r = Cli({"cut", AvFixture(), "--start", "00:00:00.000", "--end", "00:00:02.000", "--out-dir",
                        out.path().string(), "--name", "head"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(LastLine(r.out), out / "head.mp4");
    EXPECT_EQ(Problems(Inspect(LastLine(r.out)), true, true, 2.0, 0.15), "");
}

TEST(CliCut, ReencodedCutIsFrameAccurate) {
    TempDir out;
    const auto r = Cli({"cut", AvFixture(), "--start", "00:00:01.520", "--end", "00:00:03.960", "--out-dir",
                        out.path().string(), "--reencode", "--format", "1", "--framerate", "9"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const MediaReport m = Inspect(LastLine(r.out));
    EXPECT_EQ(m.video.codec, "h264");
    // The pictures run from the start to the end point within one frame (40 ms); the sound
    // too, give or take the encoder's priming samples.
    EXPECT_NEAR(m.video.start, 0.0, 0.001);
    EXPECT_NEAR(m.video.end, 2.44, 0.041);
    EXPECT_EQ(Problems(m, true, true, 2.44, 0.05, 0.1, 0.05), "");
}

TEST(CliCut, EveryFormatRowEncodes) {
    struct Row {
        const char* row;
        const char* ext;
        const char* video;
        const char* audio;
    };
    const Row rows[] = {{"0", ".mp4", "mpeg4", "aac"},  {"1", ".mp4", "h264", "aac"},   {"2", ".avi", "mpeg4", "mp3"},
                        {"3", ".flv", "flv1", "mp3"},   {"4", ".wmv", "wmv2", "wmav2"}, {"5", ".mov", "mpeg4", "aac"},
                        {"6", ".mkv", "h264", "vorbis"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.row);
        TempDir out;
        const auto r = Cli({"cut", AvFixture(), "--start", "00:00:01.000", "--end", "00:00:03.000", "--out-dir",
                            out.path().string(), "--reencode", "--format", row.row});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const std::string file = LastLine(r.out);
        EXPECT_EQ(fs::path(file).extension(), row.ext);
        const MediaReport m = Inspect(file);
        EXPECT_EQ(m.video.codec, row.video);
        EXPECT_EQ(m.audio.codec, row.audio);
        EXPECT_EQ(Problems(m, true, true, 2.0, 0.1), "");
    }
}

TEST(CliCut, EveryPictureSizeRateAndSoundRowEncodes) {
    // One run per row of the other lists, each through a different container.
    struct Case {
        std::vector<std::string> flags;
    };
    const Case cases[] = {
        {{"--format", "1", "--size", "8", "--quality", "10"}},   // 2880*1440 at 20000 kbps
        {{"--format", "0", "--size", "1", "--framerate", "4"}},  // 14.985 fps
        {{"--format", "2", "--framerate", "1", "--audioquality", "7", "--samplerate", "3"}},
        {{"--format", "3", "--samplerate", "3", "--audioquality", "2"}},  // FLV takes MP3 at 44.1 kHz
        {{"--format", "4", "--framerate", "13", "--samplerate", "1"}},
        {{"--format", "6", "--framerate", "12", "--audioquality", "0", "--samplerate", "0"}},
        {{"--format", "5", "--framerate", "10", "--size", "3"}},
    };
    for (const Case& c : cases) {
        std::string trace;
        for (const auto& f : c.flags) trace += f + " ";
        SCOPED_TRACE(trace);
        TempDir out;
        std::vector<std::string> args{"cut",          AvFixture(), "--start",           "00:00:02.000", "--end",
                                      "00:00:03.000", "--out-dir", out.path().string(), "--reencode"};
        args.insert(args.end(), c.flags.begin(), c.flags.end());
        const auto r = Cli(args);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(Problems(Inspect(LastLine(r.out)), true, true, 1.0, 0.13), "");
    }
}

TEST(CliCut, SourceWithAContainerStartTime) {
    // MPEG-TS starting at 10 s: the cut's times are counted from the file's own start.
    const std::string ts = Fixture("start10.ts", {"-f",
                                                  "lavfi",
                                                  "-i",
                                                  "testsrc2=size=320x240:rate=25",
                                                  "-f",
                                                  "lavfi",
                                                  "-i",
                                                  "sine=sample_rate=48000",
                                                  "-t",
                                                  "8",
                                                  "-c:v",
                                                  "libx264",
                                                  "-preset",
                                                  "veryfast",
                                                  "-g",
                                                  "25",
                                                  "-pix_fmt",
                                                  "yuv420p",
                                                  "-c:a",
                                                  "aac",
                                                  "-output_ts_offset",
                                                  "10"});
    for (const bool reencode : {false, true}) {
        SCOPED_TRACE(reencode ? "re-encoded" : "direct");
        TempDir out;
        std::vector<std::string> args{"cut",          ts,          "--start",          "00:00:03.000", "--end",
                                      "00:00:05.000", "--out-dir", out.path().string()};
        if (reencode) args.push_back("--reencode");
        const auto r = Cli(args);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        // A copy starts at the key frame before the start (one per second here).
        EXPECT_EQ(Problems(Inspect(LastLine(r.out)), true, true, 2.0, reencode ? 0.05 : 1.0), "");
    }
}

TEST(CliCut, AudioOnlyAndVideoOnlySources) {
    for (const bool reencode : {false, true}) {
        SCOPED_TRACE(reencode ? "re-encoded" : "direct");
        TempDir out;
        std::vector<std::string> a{"cut",   AudioOnlyFixture(), "--start",   "00:00:00.500",
                                   "--end", "00:00:01.500",     "--out-dir", out.path().string()};
        std::vector<std::string> v{"cut",   VideoOnlyFixture(), "--start",   "00:00:01.000",
                                   "--end", "00:00:02.000",     "--out-dir", out.path().string()};
        if (reencode) a.push_back("--reencode"), v.push_back("--reencode");
        const auto ra = Cli(a);
        ASSERT_EQ(ra.exitCode, 0) << ra.err;
        EXPECT_EQ(Problems(Inspect(LastLine(ra.out)), false, true, 1.0, 0.05), "");
        const auto rv = Cli(v);
        ASSERT_EQ(rv.exitCode, 0) << rv.err;
        EXPECT_EQ(Problems(Inspect(LastLine(rv.out)), true, false, 1.0, 0.1), "");
    }
}

TEST(CliCut, TakenNamesGetANumberAndNothingIsOverwritten) {
    TempDir out;
    for (const char* name : {"av.mp4", "av(0).mp4"}) {
        std::FILE* f = std::fopen((out / name).c_str(), "w");
        std::fputs("mine", f);
        std::fclose(f);
    }
    const auto r =
        Cli({"cut", AvFixture(), "--start", "00:00:00.000", "--end", "00:00:01.000", "--out-dir", out.path().string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(LastLine(r.out), out / "av(1).mp4");
    EXPECT_EQ(fs::file_size(out / "av.mp4"), 4u);
    EXPECT_EQ(fs::file_size(out / "av(0).mp4"), 4u);
}

TEST(CliCut, KeepsRotationWhenCopyingAndLanguage) {
    // The ffmpeg tool turns a "rotate" tag into a display matrix only when copying.
    const std::string src = Fixture("rotated.mp4", {"-i", AvFixture(), "-c", "copy", "-metadata:s:v:0", "rotate=90",
                                                    "-metadata:s:a:0", "language=fra"});
    ASSERT_NE(Inspect(src).rotation, "");
    for (const bool reencode : {false, true}) {
        SCOPED_TRACE(reencode ? "re-encoded" : "direct");
        TempDir out;
        std::vector<std::string> args{"cut",          src,         "--start",          "00:00:01.000", "--end",
                                      "00:00:02.000", "--out-dir", out.path().string()};
        if (reencode) args.push_back("--reencode");
        const auto r = Cli(args);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const MediaReport m = Inspect(LastLine(r.out));
        // A copy keeps the rotation; re-encoded pictures are turned upright and carry none.
        EXPECT_EQ(m.rotation, reencode ? "" : Inspect(src).rotation);
        EXPECT_EQ(m.audioLanguage, "fra");
    }
}
