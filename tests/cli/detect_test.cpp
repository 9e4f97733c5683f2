// ulvane-cli detect: a line for each thing found, in the time text, and its usage errors.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "tests/cli/cli_test_util.h"
#include "tests/support/detect_fixture.h"

using namespace ulvane::test;

namespace {

// "00:00:01.022 00:00:02.021" or "00:00:05.021 15.6": the two numbers of a line, the first
// (and for a stretch the second) a time text in seconds; empty for a line of another form.
std::vector<std::pair<double, double>> Lines(const std::string& out) {
    std::vector<std::pair<double, double>> lines;
    const std::regex time(R"((\d\d):(\d\d):(\d\d\.\d\d\d))");
    const std::regex line(R"((\S+) (\S+))");
    auto seconds = [&](const std::string& t) {
        std::smatch m;
        if (!std::regex_match(t, m, time)) return -1.0;
        return std::stod(m[1]) * 3600 + std::stod(m[2]) * 60 + std::stod(m[3]);
    };
    std::istringstream in(out);
    for (std::string l; std::getline(in, l);) {
        std::smatch m;
        if (!std::regex_match(l, m, line)) return {};
        const double second = seconds(m[2]);
        lines.emplace_back(seconds(m[1]), second >= 0 ? second : std::stod(m[2]));
    }
    return lines;
}

}  // namespace

TEST(CliDetect, PrintsALineForEachFinding) {
    const std::string film = DetectFixture();
    struct Row {
        std::vector<std::string> args;
        std::vector<std::pair<double, double>> want;  // start and end, or time and score
        double scoreTolerance;
    };
    // 40 ms: the encoder starts the file 21 ms late, and the times carry that, as ffmpeg's do.
    const Row rows[] = {
        {{"detect", "silence", film}, {{1, 2}, {6, 7.5}, {9, 10}}, 0.04},
        {{"detect", "silence", film, "--min-length", "1.2", "--threshold", "-50"}, {{6, 7.5}}, 0.04},
        {{"detect", "black", film}, {{2, 3}, {7.6, 8.4}}, 0.04},
        // Red to black and back, black to green: luma 81 to 16, 25.4% of 256; red to blue (81 to
        // 41, 15.6%) stays below 20.
        {{"detect", "scenes", film, "--threshold", "20"}, {{2, 25.4}, {3, 25.4}, {8.4, 25.4}}, 0.1},
    };
    for (const Row& r : rows) {
        const CommandResult c = Cli(r.args);
        EXPECT_EQ(c.exitCode, 0) << c.err;
        const auto got = Lines(c.out);
        ASSERT_EQ(got.size(), r.want.size()) << c.out;
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_NEAR(got[i].first, r.want[i].first, 0.04) << c.out;
            EXPECT_NEAR(got[i].second, r.want[i].second, r.scoreTolerance) << c.out;
        }
    }
}

TEST(CliDetect, UsageErrorsAndUnreadableFiles) {
    const std::string film = DetectFixture();
    struct Row {
        std::vector<std::string> args;
        int exit;
    };
    const Row rows[] = {
        {{"detect", "noise", film}, 2},
        {{"detect", "silence"}, 2},
        {{"detect", "silence", film, "--threshold", "loud"}, 2},
        {{"detect", "scenes", film, "--min-length", "1"}, 2},
        {{"detect", "silence", "/nonexistent.mkv"}, 2},
        {{"detect", "silence", VideoOnlyFixture()}, 1},  // no sound to read
    };
    for (const Row& r : rows) EXPECT_EQ(Cli(r.args).exitCode, r.exit) << r.args[1] << " " << r.args.back();
}
