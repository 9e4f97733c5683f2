// Joining through the command line, direct and re-encoded.
#include <gtest/gtest.h>

#include "tests/cli/cli_test_util.h"
#include "tests/support/content.h"

using namespace ulvane::test;

TEST(CliJoin, DirectJoinOfThreeFilesContinuesTheTimeline) {
    TempDir out;
    const std::string a = AvFixture();
    const auto r = Cli({"join", "--out-dir", out.path().string(), "--name", "three", a, a, a});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(LastLine(r.out), out / "three.mp4");
    const MediaReport m = Inspect(LastLine(r.out));
    EXPECT_EQ(m.video.codec, "h264");
    EXPECT_EQ(Problems(m, true, true, 18.0, 0.1), "");
}

TEST(CliJoin, ReencodedJoinOfThree) {
    TempDir out;
    const auto r = Cli({"join", "--reencode", "--format", "1", "--framerate", "5", "--out-dir", out.path().string(),
                        "--name", "three", AvFixture(), AvFixture30fps(), AvFixture()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const MediaReport m = Inspect(LastLine(r.out));
    EXPECT_EQ(m.video.codec, "h264");
    EXPECT_EQ(Problems(m, true, true, 16.0, 0.1), "");
}

// Encoded again with the rows the program starts with, the pictures keep the source's size and
// rate (a join's first file's): every picture once, none repeated to fill another rate.
TEST(CliJoin, AReencodingKeepsTheSourcesRateByDefault) {
    // The last picture may show once more, to last until the sound ends.
    const struct {
        std::vector<std::string> args;
        const char* shape;  // width,height,rate,pictures
        const char* orOne;  // ... or one picture more
    } cases[] = {
        {{"join", "--reencode", "--name", "same", AvFixture(), AvFixture()}, "320,240,25/1,300", "320,240,25/1,301"},
        {{"cut", AvFixture(), "--reencode", "--start", "1", "--end", "3"}, "320,240,25/1,50", "320,240,25/1,51"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[0]);
        TempDir out;
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"--out-dir", out.path().string()});
        const auto r = Cli(args);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const CommandResult shape =
            ulvane::test::Run({"ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                               "stream=width,height,r_frame_rate,nb_read_frames", "-of", "csv=p=0", LastLine(r.out)});
        const std::string got = shape.out.substr(0, shape.out.find('\n'));
        EXPECT_TRUE(got == c.shape || got == c.orOne) << got;
    }
}

TEST(CliJoin, ReencodedJoinFillsGapsSoSoundAndPicturesStayTogether) {
    // Pictures without sound, then sound without pictures, between two ordinary files:
    // silence and the last picture fill in, and both streams end together.
    TempDir out;
    const auto r = Cli({"join", "--reencode", "--out-dir", out.path().string(), "--name", "mixed", AvFixture(),
                        VideoOnlyFixture(), AudioOnlyFixture(), AvFixture30fps()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Problems(Inspect(LastLine(r.out)), true, true, 15.0, 0.1), "");
}

TEST(CliJoin, ReencodedJoinStartingWithAudioOnlyStillCarriesThePictures) {
    TempDir out;
    const auto r = Cli(
        {"join", "--reencode", "--out-dir", out.path().string(), "--name", "late", AudioOnlyFixture(), AvFixture()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Problems(Inspect(LastLine(r.out)), true, true, 8.0, 0.1), "");
}

TEST(CliJoin, DirectJoinRefusesAnInputWithAnotherCodec) {
    TempDir out;
    const std::string mpeg4 = Fixture("mpeg4.mp4", {"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25", "-f", "lavfi",
                                                    "-i", "sine", "-t", "2", "-c:v", "mpeg4", "-c:a", "aac"});
    const auto r = Cli({"join", "--out-dir", out.path().string(), "--name", "mixed", AvFixture(), mpeg4});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("mpeg4.mp4"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("video codec is mpeg4"), std::string::npos) << r.err;
    // Refused at the launch, before anything is made.
    EXPECT_TRUE(FilesIn(out.path()).empty());
}

TEST(CliJoin, DirectJoinTakesAnotherProfileButRefusesAnotherPixelFormat) {
    // Another profile of the same codec travels with its own parameter sets; another pixel
    // format would not decode after the first file's pictures, so it is refused instead of
    // spoiling the output.
    TempDir out;
    const auto coded = [](const std::string& name, const std::string& profile, const std::string& format) {
        return Fixture(name, {"-f",         "lavfi", "-i",       "testsrc2=size=320x240:rate=25",
                              "-f",         "lavfi", "-i",       "sine=sample_rate=44100",
                              "-t",         "2",     "-c:v",     "libx264",
                              "-profile:v", profile, "-pix_fmt", format,
                              "-c:a",       "aac",   "-ac",      "2"});
    };
    const std::string baseline = coded("baseline.mp4", "baseline", "yuv420p");
    auto r = Cli({"join", "--out-dir", out.path().string(), "--name", "j", AvFixture(), baseline, AvFixture()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Problems(Inspect(out / "j.mp4"), true, true, 14.0, 0.1), "");
    EXPECT_GT(PsnrAt(out / "j.mp4", 7.0, baseline, 1.0), 60);

    const std::string full = coded("full_chroma.mp4", "high444", "yuv444p");
    r = Cli({"join", "--out-dir", out.path().string(), "--name", "k", AvFixture(), full, AvFixture()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("failed: " + full), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("re-encoding"), std::string::npos) << r.err;
    EXPECT_EQ(Problems(Inspect(out / "k.mp4"), true, true, 12.0, 0.1), "");
}

TEST(CliJoin, FilesCodedWithOtherParameterSetsJoinDirectlyAndShowTheirOwnPictures) {
    // Two x264 recordings of another setting each (reference count and quality change the
    // sequence and picture parameter sets), and two of x265; joined A B A without re-encoding.
    const auto coded = [](const std::string& name, const std::vector<std::string>& codec) {
        std::vector<std::string> args = {"-f",       "lavfi",   "-i", "testsrc2=size=320x240:rate=25:duration=2",
                                         "-pix_fmt", "yuv420p", "-g", "25"};
        args.insert(args.end(), codec.begin(), codec.end());
        return Fixture(name, args);
    };
    const bool hevc =
        ulvane::test::Run({"ffmpeg", "-hide_banner", "-encoders"}).out.find(" libx265 ") != std::string::npos;
    struct Pair {
        std::string a, b;
    };
    std::vector<Pair> pairs;
    for (const std::string ext : {".mp4", ".mkv", ".ts"})
        pairs.push_back({coded("sets_a" + ext, {"-c:v", "libx264", "-x264-params", "crf=18:ref=2:bframes=2"}),
                         coded("sets_b" + ext, {"-c:v", "libx264", "-x264-params", "crf=30:ref=4:bframes=2"})});
    if (hevc)
        pairs.push_back({coded("sets_ha.mp4", {"-c:v", "libx265", "-x265-params", "crf=20:log-level=error"}),
                         coded("sets_hb.mp4", {"-c:v", "libx265", "-x265-params", "crf=34:log-level=error"})});
    for (const Pair& p : pairs) {
        SCOPED_TRACE(p.a);
        TempDir out;
        const auto r = Cli({"join", "--out-dir", out.path().string(), "--name", "sets", p.a, p.b, p.a, "--quiet"});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const std::string joined = LastLine(r.out);
        EXPECT_EQ(Problems(Inspect(joined), true, false, 6.0, 0.05), "");
        const CommandResult count =
            ulvane::test::Run({"ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                               "stream=nb_read_frames", "-of", "csv=p=0", joined});
        EXPECT_EQ(std::atoi(count.out.c_str()), 150) << count.out;
        EXPECT_EQ(OtherPlayersProblems(joined), "");
        // Each part shows its own pictures: packets copied, decoded with their own sets.
        EXPECT_GT(PsnrAt(joined, 1.0, p.a, 1.0), 60);
        EXPECT_GT(PsnrAt(joined, 3.0, p.b, 1.0), 60);
        EXPECT_GT(PsnrAt(joined, 5.0, p.a, 1.0), 60);
    }
    // Matroska keeps no decode times, so a file with another reorder depth is still refused:
    // by the launch, before anything is made.
    const std::string flat = coded("sets_flat.mkv", {"-c:v", "libx264", "-x264-params", "bframes=0"});
    TempDir out;
    const auto r = Cli({"join", "--out-dir", out.path().string(), "--name", "mixed", pairs[1].a, flat, "--quiet"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("sets_flat.mkv cannot be joined directly"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("reordering depth (B-frames) is 0, the first file's is 2"), std::string::npos) << r.err;
    EXPECT_TRUE(FilesIn(out.path()).empty());
}
