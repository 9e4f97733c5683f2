// Joining through the command line, direct and re-encoded.
#include <gtest/gtest.h>

#include "tests/cli/cli_test_util.h"

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

TEST(CliJoin, DirectJoinRefusesAnInputCodedWithOtherParameters) {
    // Same codec, other encoder set-up: its packets would not decode with the first
    // file's parameters, so it is refused instead of spoiling the output.
    TempDir out;
    const std::string baseline =
        Fixture("baseline.mp4", {"-f",         "lavfi",    "-i",       "testsrc2=size=320x240:rate=25",
                                 "-f",         "lavfi",    "-i",       "sine=sample_rate=44100",
                                 "-t",         "2",        "-c:v",     "libx264",
                                 "-profile:v", "baseline", "-pix_fmt", "yuv420p",
                                 "-c:a",       "aac",      "-ac",      "2"});
    const auto r = Cli({"join", "--out-dir", out.path().string(), "--name", "j", AvFixture(), baseline, AvFixture()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("failed: " + baseline), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("re-encoding"), std::string::npos) << r.err;
    EXPECT_EQ(Problems(Inspect(out / "j.mp4"), true, true, 12.0, 0.1), "");
}
