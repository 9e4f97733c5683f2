// ulvane-cli batch: a list of jobs run a few at once, judged by the files they make, by a
// rerun that skips what is made, by Ctrl+C, and spread over two hosts by GNU parallel.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "tests/cli/cli_test_util.h"
#include "tests/support/content.h"

namespace fs = std::filesystem;
using namespace ulvane::test;

namespace {

std::string Quoted(const std::string& s) {
    return "'" + s + "'";
}

std::string WriteList(const TempDir& dir, const std::string& text) {
    const std::string path = dir / "jobs.txt";
    WriteFileBytes(path, text);
    return path;
}

struct Result {
    int line = 0;
    std::string word, rest;  // "ok", "skipped", "failed" or "stopped", and what follows the line number
};

std::vector<Result> ResultLines(const std::string& out) {
    std::vector<Result> results;
    static const std::regex line(R"(^(ok|skipped|failed|stopped) (\d+):? ?(.*)$)");
    std::istringstream in(out);
    for (std::string l; std::getline(in, l);) {
        std::smatch m;
        if (std::regex_match(l, m, line)) results.push_back({std::stoi(m[2]), m[1], m[3]});
    }
    return results;
}

// The result lines of a batch, by their job's line.
std::map<int, std::pair<std::string, std::string>> Results(const std::string& out) {
    std::map<int, std::pair<std::string, std::string>> results;
    for (const Result& r : ResultLines(out)) results[r.line] = {r.word, r.rest};
    return results;
}

std::pair<std::string, std::string> Said(const std::string& word, const std::string& rest) {
    return {word, rest};
}

std::vector<std::string> PartFiles(const fs::path& dir) {
    std::vector<std::string> parts;
    for (const std::string& f : FilesIn(dir))
        if (f.ends_with(".part")) parts.push_back(f);
    return parts;
}

}  // namespace

TEST(CliBatch, EachJobMakesItsFileAndARerunSkipsWhatIsMade) {
    TempDir out;
    const std::string source = AvFixture();  // key frames every second: a direct cut from 1 s starts there
    // A cut into its source's own folder is named apart from it, in the rerun too.
    fs::copy_file(source, out / "av.mp4");
    const std::string list =
        WriteList(out,
                  "# two cuts, a source that is not there, and a join\n"
                  "cut \"" +
                      source + "\" --start 1 --end 3 --out-dir " + Quoted(out.path()) +
                      " --name 'first cut'\n"
                      "\n"
                      "cut " +
                      (out / "av.mp4") + " --start 2 --end 4 --out-dir " + out.path().string() +
                      "   # a comment after a job\n"
                      "cut " +
                      (out / "missing.mp4") + " --start 0 --end 1 --out-dir " + out.path().string() +
                      "\n"
                      "join --out-dir " +
                      out.path().string() + " --name joined " + source + " --from 0 --to 2 " + source + " --from 4\n");
    const CommandResult r = ulvane::test::Cli({"batch", list, "--jobs", "2"});
    EXPECT_EQ(r.exitCode, 1) << "one job failed";
    auto results = Results(r.out);
    ASSERT_EQ(results.size(), 4u) << r.out;
    EXPECT_EQ(results[2], Said("ok", out / "first cut.mp4"));
    EXPECT_EQ(results[4], Said("ok", out / "av(0).mp4"));
    EXPECT_EQ(results[5].first, "failed");
    EXPECT_EQ(results[5].second, "SOURCE does not exist: " + (out / "missing.mp4"));
    EXPECT_EQ(results[6], Said("ok", out / "joined.mp4"));
    // Each file holds the pictures its own line asked for.
    EXPECT_EQ(Problems(Inspect(out / "first cut.mp4"), true, true, 2.0, 0.15), "");
    EXPECT_GT(PsnrAt(out / "first cut.mp4", 0.5, source, 1.5), 35);
    EXPECT_GT(PsnrAt(out / "av(0).mp4", 0.5, source, 2.5), 35);
    EXPECT_EQ(Problems(Inspect(out / "joined.mp4"), true, true, 4.0, 0.2), "");
    EXPECT_GT(PsnrAt(out / "joined.mp4", 2.5, source, 4.5), 35);

    // A rerun makes nothing twice, and still says which job fails.
    const auto before = fs::last_write_time(out / "joined.mp4");
    const CommandResult again = ulvane::test::Cli({"batch", list, "--skip-done"});
    EXPECT_EQ(again.exitCode, 1);
    results = Results(again.out);
    EXPECT_EQ(results[2], Said("skipped", out / "first cut.mp4"));
    EXPECT_EQ(results[4], Said("skipped", out / "av(0).mp4"));
    EXPECT_EQ(results[6], Said("skipped", out / "joined.mp4"));
    EXPECT_EQ(results[5].first, "failed");
    EXPECT_EQ(fs::last_write_time(out / "joined.mp4"), before);
    EXPECT_EQ(FilesIn(out.path()),
              (std::vector<std::string>{"av(0).mp4", "av.mp4", "first cut.mp4", "jobs.txt", "joined.mp4"}));
}

TEST(CliBatch, ABadListRunsNoJobAndNamesItsLine) {
    TempDir out;
    const std::string source = AvFixture();
    const std::string good = "cut " + source + " --start 0 --end 1 --out-dir " + out.path().string() + "\n";
    const struct {
        std::string text, says;
    } cases[] = {
        {good + "cut 'a.mp4 --start 0 --end 1\n", "line 2: a ' is not closed"},
        {good + "probe " + source + "\n", "line 2: a job is a cut or a join command, not 'probe'"},
        {"\n# only the third line is wrong\n" + good.substr(0, good.size() - 1) + " --speed 2\n",
         "line 3: unknown option '--speed'"},
        {good + "batch other.txt\n", "line 2: a job is a cut or a join command, not 'batch'"},
    };
    for (const auto& c : cases) {
        const CommandResult r = ulvane::test::Cli({"batch", WriteList(out, c.text)});
        EXPECT_EQ(r.exitCode, 2) << c.text;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_EQ(FilesIn(out.path()), std::vector<std::string>{"jobs.txt"}) << "no job ran for " << c.text;
    }
    // From standard input, the same.
    const CommandResult piped = ulvane::test::Run(
        {"sh", "-c", "printf '%s' \"$1\" | \"$0\" batch -", CliPath(), good + "cut " + source + "\n"});
    EXPECT_EQ(piped.exitCode, 2);
    EXPECT_NE(piped.err.find("standard input line 2: --out-dir is missing"), std::string::npos) << piped.err;
    // What is no list at all: a folder, and an input that never ends (read only so far).
    const CommandResult folder = ulvane::test::Cli({"batch", out.path().string()});
    EXPECT_EQ(folder.exitCode, 2);
    EXPECT_NE(folder.err.find("JOBS is a folder, not a list of jobs"), std::string::npos) << folder.err;
    const CommandResult endless = ulvane::test::Run({"sh", "-c", "\"$0\" batch - < /dev/zero", CliPath()});
    EXPECT_EQ(endless.exitCode, 2);
    EXPECT_NE(endless.err.find("standard input is larger than 64 MiB; a list of jobs is not"), std::string::npos)
        << endless.err;
}

TEST(CliBatch, CtrlCStopsEveryJobAndLeavesOnlyCompleteFiles) {
    TempDir out;
    const std::string source =
        Fixture("batch_long.mp4",
                {"-f", "lavfi", "-i", "testsrc2=size=320x240:rate=25", "-f", "lavfi", "-i", "sine=frequency=440", "-t",
                 "8", "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-c:a", "aac"});
    std::string text;
    for (int k = 1; k <= 4; ++k)
        text += "cut " + source + " --start 0 --end 8 --reencode --out-dir " + out.path().string() + " --name part" +
                std::to_string(k) + "\n";
    const std::string list = WriteList(out, text);
    std::map<int, std::pair<std::string, std::string>> first;
    {
        BackgroundCli batch({"batch", list, "--jobs", "2"}, out / "err.txt", out / "out.txt");
        // Stopped while the first two jobs write.
        ASSERT_TRUE(WaitUntil([&] { return !PartFiles(out.path()).empty() || !batch.Running(); }, 120));
        batch.Signal(SIGINT);
        const CommandResult r = batch.Wait();
        EXPECT_EQ(r.exitCode, 1) << r.err;
        first = Results(ReadFileBytes(out / "out.txt"));
    }
    ASSERT_EQ(first.size(), 4u);
    // Stopped while two of four run: the waiting ones never start (however slow this machine is,
    // not all four end before the signal), and no job fails.
    int stopped = 0;
    for (const auto& [line, result] : first) {
        EXPECT_TRUE(result.first == "ok" || result.first == "stopped") << line << " " << result.first;
        stopped += result.first == "stopped";
    }
    EXPECT_GE(stopped, 1);
    EXPECT_EQ(PartFiles(out.path()), std::vector<std::string>{}) << "the unfinished outputs are removed";
    // The rerun makes only what is missing; every file is whole.
    const CommandResult again = ulvane::test::Cli({"batch", list, "--skip-done", "--jobs", "2"});
    ASSERT_EQ(again.exitCode, 0) << again.err;
    const auto second = Results(again.out);
    for (int k = 1; k <= 4; ++k) {
        const std::string name = "part" + std::to_string(k) + ".mp4";
        EXPECT_EQ(second.at(k).first, first[k].first == "ok" ? "skipped" : "ok") << k;
        EXPECT_EQ(second.at(k).second, out / name);
        EXPECT_EQ(Problems(Inspect(out / name), true, true, 8.0, 0.15), "") << name;
    }
}

// GNU parallel spreads a list over two "hosts" (an ssh stand-in runs each here and notes
// which host it was sent to): each output is made once, whole.
TEST(CliBatch, GnuParallelSpreadsAListOverTwoHosts) {
    if (ulvane::test::Run({"sh", "-c", "command -v parallel"}).exitCode != 0)
        GTEST_SKIP() << "GNU parallel is not installed";
    TempDir out;
    const std::string source = AvFixture();
    const std::string ssh = out / "ssh";
    WriteFileBytes(ssh,
                   "#!/bin/sh\n"
                   "while [ \"${1#-}\" != \"$1\" ]; do shift; done\n"
                   "echo \"$1\" >> " +
                       (out / "hosts.txt") +
                       "\n"
                       "shift\n"
                       "[ \"$1\" = -- ] && shift\n"
                       "exec sh -c \"$*\"\n");
    fs::permissions(ssh, fs::perms::owner_all);
    std::string text;
    for (int k = 0; k < 6; ++k)
        text += "cut " + source + " --start " + std::to_string(k % 5) + " --end " + std::to_string(k % 5 + 1) +
                " --out-dir " + out.path().string() + " --name clip" + std::to_string(k) + "\n";
    const std::string list = WriteList(out, text);
    const CommandResult r = ulvane::test::Run(
        {"sh", "-c",
         // parallel runs the remote command through $SHELL; where none is set (a CI job, a
         // cron line), its jobs get no input and it still exits 0.
         "SHELL=/bin/sh parallel --will-cite --pipe -N 2 --ssh \"$1\" --sshlogin 1/hostA,1/hostB \"$2\" batch - "
         "< \"$3\"",
         "sh", ssh, CliPath(), list});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // Each part of the list is a list of its own, numbered from 1.
    std::set<std::string> made;
    for (const Result& result : ResultLines(r.out)) {
        EXPECT_EQ(result.word, "ok") << result.rest;
        EXPECT_TRUE(made.insert(result.rest).second) << result.rest << " made twice";
    }
    EXPECT_EQ(made.size(), 6u) << r.out << r.err;
    for (int k = 0; k < 6; ++k) {
        const std::string clip = out / ("clip" + std::to_string(k) + ".mp4");
        EXPECT_EQ(Problems(Inspect(clip), true, true, 1.0, 0.15), "") << clip;
    }
    const std::string hosts = ReadFileBytes(out / "hosts.txt");
    EXPECT_NE(hosts.find("hostA"), std::string::npos) << hosts;
    EXPECT_NE(hosts.find("hostB"), std::string::npos) << hosts;
}
