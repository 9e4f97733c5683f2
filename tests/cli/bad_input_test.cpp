// Bad input through the command line: a clear outcome every time, never a crash, a hang
// or a lost file.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "tests/cli/cli_test_util.h"

namespace fs = std::filesystem;
using namespace ulvane::test;

namespace {

std::string Prefix(const std::string& path, size_t n) {
    std::ifstream f(path, std::ios::binary);
    std::string s(n, '\0');
    f.read(s.data(), static_cast<std::streamsize>(n));
    s.resize(static_cast<size_t>(f.gcount()));
    return s;
}

}  // namespace

TEST(CliUsage, UsageErrorsAreFoundBeforeAnyWork) {
    TempDir out;
    const std::string src = AvFixture();
    const std::string dir = out.path().string();
    struct Case {
        std::vector<std::string> args;
        const char* mentions;
    };
    const Case cases[] = {
        {{"cut", out / "missing.mp4", "--start", "0:0:0.0", "--end", "0:0:1.0", "--out-dir", dir}, "missing.mp4"},
        {{"cut", src, "--start", "00:00:02.000", "--end", "00:00:01.000", "--out-dir", dir}, "--end"},
        {{"cut", src, "--start", "00:00:02.000", "--end", "00:00:02.000", "--out-dir", dir}, "--end"},
        {{"cut", src, "--start", "00:00:00.000", "--end", "00:00:01.000", "--out-dir", src}, "--out-dir"},
        {{"cut", src, "--start", "00:00:00.000", "--end", "00:00:01.000", "--out-dir", out / "nope"}, "--out-dir"},
        {{"cut", src, "--start", "00:00:00.000", "--out-dir", dir}, "--end"},
        {{"cut", src, "--start", "0", "--end", "1", "--out-dir", dir, "--format", "99"}, "row"},
        {{"cut", src, "--start", "0", "--end", "1", "--out-dir", dir, "--quality", "x"}, "--quality"},
        {{"cut", src, "--start", "0", "--end", "1", "--out-dir", dir, "--bogus", "1"}, "--bogus"},
        {{"join", "--out-dir", dir, "--name", "j", src}, "two"},
        {{"join", "--out-dir", dir, src, src}, "--name"},
        {{"join", "--out-dir", dir, "--name", "j", src, out / "gone.mp4"}, "gone.mp4"},
        {{"join", "--out-dir", dir, "--name", "j", "--framerate", "11", src, src}, "row"},
        {{"splice"}, "splice"},
        {{"probe"}, "FILE is missing"},
        {{"grab", src, "--out", out / "x.bmp"}, "--at is missing"},
    };
    for (const Case& c : cases) {
        std::string trace;
        for (const auto& a : c.args) trace += a + " ";
        SCOPED_TRACE(trace);
        const auto r = Cli(c.args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_NE(r.err.find(c.mentions), std::string::npos) << r.err;
        // One line, and where the usage is: the command's help, or --help for no command.
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        const std::string help = c.args[0] == "splice" ? "--help" : "help " + c.args[0];
        EXPECT_NE(r.err.find("(see 'ulvane-cli " + help + "')"), std::string::npos) << r.err;
    }
    EXPECT_TRUE(FilesIn(out.path()).empty());
}

TEST(CliUsage, HelpExitsCleanly) {
    const auto r = Cli({"--help"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("ulvane-cli cut SOURCE"), std::string::npos);
}

TEST(CliBadInput, UnusableFilesFailWithAReasonAndLeaveNoOutput) {
    TempDir work;
    WriteFileBytes(work / "garbage.mp4", std::string(200000, '\x5a'));
    WriteFileBytes(work / "empty.mp4", "");
    fs::create_directory(work / "folder.mp4");
    for (const char* name : {"garbage.mp4", "empty.mp4"}) {
        for (const bool reencode : {false, true}) {
            SCOPED_TRACE(std::string(name) + (reencode ? " re-encoded" : " direct"));
            TempDir out;
            std::vector<std::string> args{"cut",   work / name,    "--start",   "00:00:00.000",
                                          "--end", "00:00:01.000", "--out-dir", out.path().string()};
            if (reencode) args.push_back("--reencode");
            const auto r = Cli(args);
            EXPECT_EQ(r.exitCode, 1);
            EXPECT_NE(r.err.find("failed: " + (work / name)), std::string::npos) << r.err;
            EXPECT_TRUE(FilesIn(out.path()).empty());
        }
    }
    TempDir out;
    const auto r = Cli({"cut", work / "folder.mp4", "--start", "0", "--end", "1", "--out-dir", out.path().string()});
    EXPECT_EQ(r.exitCode, 2);
}

TEST(CliBadInput, TruncatedFilesGiveAnOutputThatDecodes) {
    const std::string src = AvFixture();
    const std::string whole = Prefix(src, 1 << 30);
    // An MPEG-TS cut short mid-way is readable up to the cut.
    const std::string ts = Fixture("for_truncation.ts", {"-i", src, "-c", "copy"});
    const std::string tsWhole = Prefix(ts, 1 << 30);
    TempDir work;
    WriteFileBytes(work / "half.ts", tsWhole.substr(0, tsWhole.size() / 2));
    WriteFileBytes(work / "head.mp4", whole.substr(0, whole.size() / 3));
    for (const bool reencode : {false, true}) {
        SCOPED_TRACE(reencode ? "re-encoded" : "direct");
        TempDir out;
        std::vector<std::string> args{"cut",   work / "half.ts", "--start",   "00:00:00.500",
                                      "--end", "00:00:05.000",   "--out-dir", out.path().string()};
        if (reencode) args.push_back("--reencode");
        const auto r = Cli(args);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const MediaReport m = Inspect(LastLine(r.out));
        if (reencode) {
            EXPECT_EQ(m.decodeErrors, "");
        } else {
            // A copy keeps the picture the file was cut through; nothing else is damaged.
            EXPECT_LE(std::count(m.decodeErrors.begin(), m.decodeErrors.end(), '\n'), 1) << m.decodeErrors;
        }
        EXPECT_TRUE(m.video.present && m.video.monotonic);
        EXPECT_GT(m.video.end, 1.0);
        // The output is short because the source is: said, with where the source ends.
        const MediaReport half = Inspect(work / "half.ts");
        const double realEnd = std::max(half.video.end, half.audio.end) - std::min(half.video.start, half.audio.start);
        const size_t note = r.err.find("the source ends at ");
        ASSERT_NE(note, std::string::npos) << r.err;
        EXPECT_NEAR(std::stod(r.err.substr(note + 19)), realEnd, 0.1) << r.err;
        // An mp4 whose index is cut off cannot be opened at all: a failure, no output.
        args[1] = work / "head.mp4";
        const auto r2 = Cli(args);
        if (r2.exitCode == 0) {
            EXPECT_EQ(Inspect(LastLine(r2.out)).decodeErrors, "");
        } else {
            EXPECT_EQ(r2.exitCode, 1);
            EXPECT_NE(r2.err.find("head.mp4"), std::string::npos);
        }
    }
}

TEST(CliBadInput, UnwritableOutputFolderFailsClearly) {
    if (geteuid() == 0) GTEST_SKIP() << "root can write into any folder";
    TempDir out;
    fs::permissions(out.path(), fs::perms::owner_read | fs::perms::owner_exec);
    const auto r =
        Cli({"cut", AvFixture(), "--start", "0:0:0.0", "--end", "0:0:1.0", "--out-dir", out.path().string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("cannot create the output file"), std::string::npos) << r.err;
}

TEST(CliBadInput, OutputFolderThatRefusesWritesFailsClearly) {
    // Works as root too: nothing can be created in /proc.
    const auto r = Cli({"cut", AvFixture(), "--start", "0:0:0.0", "--end", "0:0:1.0", "--out-dir", "/proc/self"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("failed:"), std::string::npos) << r.err;
}

TEST(CliBadInput, JoinWithABrokenMiddleFileKeepsTheOthers) {
    TempDir work, out;
    WriteFileBytes(work / "broken.mp4", std::string(5000, '\x01'));
    const auto r =
        Cli({"join", "--out-dir", out.path().string(), "--name", "j", AvFixture(), work / "broken.mp4", AvFixture()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("broken.mp4"), std::string::npos);
    EXPECT_EQ(Problems(Inspect(out / "j.mp4"), true, true, 12.0, 0.1), "");
}

TEST(CliBadInput, JoinWhoseFirstFileIsBrokenMakesNoOutput) {
    TempDir work, out;
    WriteFileBytes(work / "broken.mp4", std::string(5000, '\x01'));
    const auto r = Cli({"join", "--out-dir", out.path().string(), "--name", "j", work / "broken.mp4", AvFixture()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(FilesIn(out.path()).empty());
}

TEST(CliBadInput, ADirectJoinOfUnlikeSoundNamesTheFileAndTheSampleRate) {
    TempDir out;
    const std::string other = Fixture("cli_av_32k.mp4", {"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25:d=1", "-f",
                                                         "lavfi", "-i", "sine=f=440:r=32000:d=1", "-c:v", "libx264",
                                                         "-pix_fmt", "yuv420p", "-c:a", "aac", "-shortest"});
    const auto r = Cli({"join", "--out-dir", out.path().string(), "--name", "j", AvFixture(), other});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("cli_av_32k.mp4 cannot be joined directly"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("sample rate is 32000 Hz"), std::string::npos) << r.err;
    EXPECT_TRUE(FilesIn(out.path()).empty());
}
