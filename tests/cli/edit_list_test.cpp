// Sources whose container hides their first pictures (an MP4 edit list, as phones write
// when they trim a clip): a copy shows what the source shows.
#include <gtest/gtest.h>

#include "tests/cli/cli_test_util.h"
#include "tests/support/content.h"

using namespace ulvane::test;

namespace {

// 8 s with a key frame every 2 s.
std::string Plain() {
    return Fixture("plain8.mp4", {"-f",      "lavfi",    "-i",       "testsrc2=size=320x240:rate=25",
                                  "-f",      "lavfi",    "-i",       "sine=sample_rate=44100",
                                  "-t",      "8",        "-c:v",     "libx264",
                                  "-preset", "veryfast", "-g",       "50",
                                  "-bf",     "2",        "-pix_fmt", "yuv420p",
                                  "-c:a",    "aac"});
}

// 5 s of Plain() from 1.2 s, trimmed without re-encoding: the pictures from the key frame at
// 0 s to 1.2 s are in the file but hidden by its edit list.
std::string Trimmed() {
    return Fixture("trimmed5.mp4", {"-ss", "1.2", "-i", Plain(), "-t", "5", "-c", "copy"});
}

}  // namespace

TEST(CliEditList, TheFixtureHidesItsFirstPictures) {
    // The ffmpeg tool shows 5 s starting with the picture at 1.2 s of the untrimmed file.
    EXPECT_NEAR(Inspect(Trimmed()).video.end, 5.08, 0.05);
    EXPECT_GT(PsnrAt(Trimmed(), 0.02, Plain(), 1.22), 99.0);
}

TEST(CliEditList, ADirectCutShowsWhatTheSourceShows) {
    TempDir out;
    const auto r = Cli({"cut", Trimmed(), "--start", "0", "--end", "3", "--out-dir", out.path().string(), "--quiet"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string file = LastLine(r.out);
    EXPECT_EQ(Problems(Inspect(file), true, true, 3.0, 0.12), "");
    for (double t : {0.02, 1.0, 2.5}) EXPECT_GT(PsnrAt(file, t, Trimmed(), t), 99.0) << t;
}

TEST(CliEditList, ADirectJoinKeepsTheFirstFilesPicturesHiddenAndRefusesALaterOne) {
    TempDir out;
    const auto first = Cli({"join", "--out-dir", out.path().string(), "--name", "first", Trimmed(), Plain()});
    ASSERT_EQ(first.exitCode, 0) << first.err;
    const std::string file = LastLine(first.out);
    EXPECT_EQ(Problems(Inspect(file), true, true, 13.08, 0.1), "");
    EXPECT_GT(PsnrAt(file, 0.5, Trimmed(), 0.5), 99.0);
    EXPECT_GT(PsnrAt(file, 6.0, Plain(), 6.0 - 5.08), 99.0);

    // After another file the hidden pictures would show: refused before anything is made.
    TempDir none;
    const auto later = Cli({"join", "--out-dir", none.path().string(), "--name", "later", Plain(), Trimmed()});
    EXPECT_EQ(later.exitCode, 1);
    EXPECT_NE(later.err.find("trimmed5.mp4"), std::string::npos) << later.err;
    EXPECT_NE(later.err.find("--reencode"), std::string::npos) << later.err;
    EXPECT_TRUE(FilesIn(none.path()).empty());

    // Re-encoded, two trimmed clips last as long as both show.
    const auto again = Cli({"join", "--reencode", "--format", "1", "--out-dir", out.path().string(), "--name", "re",
                            Trimmed(), Trimmed()});
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_NEAR(Inspect(LastLine(again.out)).video.end, 10.16, 0.15);
}
