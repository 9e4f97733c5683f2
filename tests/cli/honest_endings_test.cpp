// Jobs that cannot finish say so and leave nothing behind: a stop, a kill, a full disk, an
// output folder removed while the job runs, a job with nothing to show for itself, and a cut
// beyond the end of a file cut short; and jobs that race for one name each keep a file of
// their own.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <memory>
#include <set>
#include <thread>

#include "tests/cli/cli_test_util.h"

namespace fs = std::filesystem;
using namespace ulvane::test;

namespace {

// Long enough to be caught in the middle: 30 s encoded up to 1920x1080.
std::vector<std::string> SlowCut(const std::string& out) {
    const std::string src = Fixture("slow30.mp4", {"-f", "lavfi", "-i", "testsrc2=size=640x360:rate=25", "-f", "lavfi",
                                                   "-i", "sine=sample_rate=44100", "-t", "30", "-c:v", "libx264",
                                                   "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-c:a", "aac"});
    return {"cut", src, "--start", "0", "--end", "30", "--out-dir", out, "--reencode", "--format", "1", "--size", "7"};
}

// Runs ulvane-cli with a limit on the size of any file it writes, as a full disk would stop it.
CommandResult CliWithFileLimit(const std::vector<std::string>& args, long kib) {
    std::string command = "trap '' XFSZ; ulimit -f " + std::to_string(kib) + "; exec \"$0\" \"$@\"";
    std::vector<std::string> argv = {"bash", "-c", command, CliPath()};
    argv.insert(argv.end(), args.begin(), args.end());
    return Run(argv);
}

}  // namespace

// Stopped in the middle, a job ends at once, whether of one input or of two stopped in the
// first (its worker then ends with inputs not taken).
TEST(CliEndings, AStoppedJobRemovesItsUnfinishedOutputAndSaysSo) {
    for (const bool join : {false, true}) {
        SCOPED_TRACE(join ? "join of two" : "cut");
        TempDir out, logs;
        std::vector<std::string> args = SlowCut(out.path().string());
        if (join)
            args = {"join",     args[1], args[1],  "--out-dir", out.path().string(), "--name", "j", "--reencode",
                    "--format", "1",     "--size", "7"};
        BackgroundCli job(args, logs / "err.txt", logs / "out.txt");
        ASSERT_TRUE(WaitUntil([&] { return !FilesIn(out.path()).empty(); }, 60)) << "no output appeared";
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        job.Signal(SIGINT);
        ASSERT_TRUE(job.WaitFor(120)) << "the stopped job does not end";
        const CommandResult r = job.Wait();
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.err.find("stopped"), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "") << "no output path for a file that is not there";
        EXPECT_TRUE(FilesIn(out.path()).empty());
    }
}

TEST(CliEndings, AKilledJobLeavesNoFileUnderTheFinalName) {
    TempDir out, logs;
    const std::vector<std::string> args = SlowCut(out.path().string());
    BackgroundCli job(args, logs / "err.txt", logs / "out.txt");
    ASSERT_TRUE(WaitUntil([&] { return !FilesIn(out.path()).empty(); }, 60)) << "no output appeared";
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    job.Signal(SIGKILL);
    job.Wait();
    const std::vector<std::string> left = FilesIn(out.path());
    ASSERT_EQ(left.size(), 1u);
    EXPECT_TRUE(left[0].ends_with(".part")) << left[0] << " passes for a finished output";
    // The next run takes the name the killed one was to get, and leaves the partial file be.
    std::vector<std::string> again = args;
    again[5] = "1";  // --end
    const CommandResult r = Cli(again);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(LastLine(r.out) + ".part", out / left[0]);
    EXPECT_EQ(FilesIn(out.path()).size(), 2u);
}

TEST(CliEndings, CutsRacingForOneNameEachKeepTheirOwnFileUnderTheNamePrinted) {
    const std::string src = AvFixture();  // 6 s
    constexpr int kJobs = 4;
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        TempDir out, logs;
        std::vector<std::unique_ptr<BackgroundCli>> jobs;
        for (int k = 0; k < kJobs; ++k) {
            const std::string end = std::to_string(k + 3);  // the last to the source's very end
            jobs.push_back(std::make_unique<BackgroundCli>(
                std::vector<std::string>{"cut", src, "--start", "0", "--end", end, "--out-dir", out.path().string(),
                                         "--name", "same", "--quiet"},
                logs / ("err" + end), logs / ("out" + end)));
        }
        std::set<std::string> printed;
        for (int k = 0; k < kJobs; ++k) {
            const CommandResult r = jobs[static_cast<size_t>(k)]->Wait();
            EXPECT_EQ(r.exitCode, 0) << r.err;
            const std::string path = LastLine(r.out);
            printed.insert(path);
            // The file printed holds this job's own cut: k + 3 seconds, and nothing is missing.
            EXPECT_NEAR(Inspect(path).video.end, k + 3, 0.2) << path;
            EXPECT_EQ(r.err.find("ends at"), std::string::npos) << r.err;
        }
        EXPECT_EQ(printed.size(), static_cast<size_t>(kJobs));
        EXPECT_EQ(FilesIn(out.path()).size(), static_cast<size_t>(kJobs));
    }
}

TEST(CliEndings, AFullDiskFailsTheJobWithTheReasonAndLeavesNoFile) {
    TempDir out;
    const std::string src = AvFixture();
    const auto whole =
        Cli({"cut", src, "--start", "0", "--end", "6", "--out-dir", out.path().string(), "--name", "whole"});
    ASSERT_EQ(whole.exitCode, 0) << whole.err;
    const long kib = static_cast<long>(fs::file_size(LastLine(whole.out)) / 1024);
    // Room for part of the packets, and room for all but the end of the file.
    for (long limit : {kib / 3, kib - 1}) {
        SCOPED_TRACE(limit);
        for (bool reencode : {false, true}) {
            TempDir target;
            std::vector<std::string> args = {"cut",   src, "--start",   "0",
                                             "--end", "6", "--out-dir", target.path().string()};
            if (reencode) args.insert(args.end(), {"--reencode", "--format", "1", "--quality", "10", "--size", "7"});
            const CommandResult r = CliWithFileLimit(args, limit);
            EXPECT_EQ(r.exitCode, 1) << r.err;
            EXPECT_NE(r.err.find("output file"), std::string::npos) << r.err;
            EXPECT_EQ(r.err.find("progress 100%"), std::string::npos) << r.err;
            EXPECT_EQ(r.out, "");
            EXPECT_TRUE(FilesIn(target.path()).empty());
        }
    }
    // A join whose output fills up fails every file, the ones already in it too.
    TempDir target;
    const CommandResult j =
        CliWithFileLimit({"join", "--out-dir", target.path().string(), "--name", "j", src, src, src}, kib * 3 / 2);
    EXPECT_EQ(j.exitCode, 1);
    size_t failures = 0;
    for (size_t at = j.err.find("failed: "); at != std::string::npos; at = j.err.find("failed: ", at + 1)) ++failures;
    EXPECT_EQ(failures, 3u) << j.err;
    EXPECT_TRUE(FilesIn(target.path()).empty());
}

TEST(CliEndings, AnOutputFolderRemovedDuringTheJobFailsIt) {
    TempDir base, logs;
    const fs::path folder = base.path() / "takes";
    fs::create_directory(folder);
    BackgroundCli job(SlowCut(folder.string()), logs / "err.txt", logs / "out.txt");
    ASSERT_TRUE(WaitUntil([&] { return !FilesIn(folder).empty(); }, 60));
    fs::remove_all(folder);
    const CommandResult r = job.Wait();
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("gone"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
}

TEST(CliEndings, AJobWithNothingToShowNeverReportsAHundredPercent) {
    TempDir in, out;
    WriteFileBytes(in / "noise.mp4", std::string(5000, '\x5a'));
    const auto r = Cli({"cut", in / "noise.mp4", "--start", "0", "--end", "1", "--out-dir", out.path().string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.find("progress 100%"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
}

// A file cut short (a download stopped) keeps in its header the length it was meant to have.
// The probe says where its pictures and sound really end, reading only the file's end; a cut
// that starts past that point is refused before the job, naming the file as cut short; one
// that runs past it makes what there is.
TEST(CliEndings, AFileCutShortSaysWhereItEndsAndACutBeyondThatIsRefused) {
    TempDir dir;
    const std::vector<std::string> movingPictures = {
        "-f", "lavfi", "-i", "testsrc2=s=320x240:r=25:d=20", "-f", "lavfi", "-i", "sine=d=20", "-g", "50", "-shortest"};
    const struct {
        const char* name;
        std::vector<std::string> codecs;
    } kinds[] = {{"whole.mkv", {"-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac"}},
                 {"whole.flv", {"-c:v", "libx264", "-preset", "ultrafast", "-c:a", "libmp3lame"}},
                 {"whole.mp4", {"-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac", "-movflags", "+faststart"}}};
    auto probed = [](const std::string& path, const std::string& key) {
        const CommandResult r = Cli({"probe", path});
        const size_t at = r.out.find(key + "=");
        return at == std::string::npos ? -1.0 : std::stod(r.out.substr(at + key.size() + 1)) / 1e6;
    };
    std::vector<std::string> cutShort;
    for (const auto& kind : kinds) {
        std::vector<std::string> args = movingPictures;
        args.insert(args.end(), kind.codecs.begin(), kind.codecs.end());
        const std::string whole = Fixture(kind.name, args);
        const std::string bytes = ReadFileBytes(whole);
        const std::string part = dir / (std::string("part_") + kind.name);
        WriteFileBytes(part, bytes.substr(0, bytes.size() * 2 / 5));
        cutShort.push_back(part);
        SCOPED_TRACE(part);
        EXPECT_EQ(probed(whole, "stated_duration_us"), -1) << "a whole file is as long as its header says";
        EXPECT_NEAR(probed(whole, "duration_us"), 20, 0.2);
        // What the ffmpeg tool decodes of it, a picture being 40 ms.
        const CommandResult frames =
            ulvane::test::Run({"ffmpeg", "-nostdin", "-v", "quiet", "-i", part, "-map", "0:v", "-f", "framecrc", "-"});
        const double decoded = 0.04 * static_cast<double>(std::count(frames.out.begin(), frames.out.end(), '\n') -
                                                          std::count(frames.out.begin(), frames.out.end(), '#'));
        EXPECT_NEAR(probed(part, "duration_us"), decoded, 0.4);
        EXPECT_NEAR(probed(part, "stated_duration_us"), 20, 0.2);
    }
    if (const auto shared = SharedMediaDir(); shared && fs::exists(*shared / "broken_truncated_youtube_flv1_mp3.flv")) {
        const std::string flv = (*shared / "broken_truncated_youtube_flv1_mp3.flv").string();
        EXPECT_NEAR(probed(flv, "duration_us"), 1.9, 0.1);  // 44 pictures, where the header says 46.9 s
        EXPECT_NEAR(probed(flv, "stated_duration_us"), 46.9, 0.1);
        cutShort.push_back(flv);
    }
    for (const std::string& source : cutShort) {
        SCOPED_TRACE(source);
        TempDir out;
        const auto beyond = Cli({"cut", source, "--start", "12", "--end", "15", "--out-dir", out.path().string()});
        EXPECT_EQ(beyond.exitCode, 2);
        EXPECT_NE(beyond.err.find("is cut short: its header says it lasts"), std::string::npos) << beyond.err;
        EXPECT_NE(beyond.err.find("--start 00:00:12.000 is at or past the end of SOURCE"), std::string::npos)
            << beyond.err;
        const auto segment = Cli({"cut", source, "--segment", "12-15", "--out-dir", out.path().string()});
        EXPECT_EQ(segment.exitCode, 2);
        EXPECT_TRUE(FilesIn(out.path()).empty());
        const auto rest = Cli({"cut", source, "--start", "0.5", "--end", "15", "--out-dir", out.path().string(),
                               "--name", "rest", "--quiet"});
        ASSERT_EQ(rest.exitCode, 0) << rest.err;
        EXPECT_NEAR(probed(LastLine(rest.out), "duration_us"), probed(source, "duration_us") - 0.5, 0.6);
    }
}
