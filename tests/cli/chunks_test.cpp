// A re-encoding in parts (--chunks, --plan, assemble), judged against the same re-encoding made
// whole: its pictures in number and content, its sound packet for packet, and no seam to see.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "tests/cli/cli_test_util.h"
#include "tests/support/content.h"

namespace fs = std::filesystem;
using namespace ulvane::test;

namespace {

// 12 s, 320x240 25 fps H.264 with 3 B-frames and open groups of pictures (key frames every 2 s
// whose leading B-frames refer to the group before), and AAC.
std::string OpenGopFixture() {
    return Fixture("open_gop.mp4", {"-f",       "lavfi",    "-i",           "testsrc2=size=320x240:rate=25",
                                    "-f",       "lavfi",    "-i",           "sine=frequency=440:sample_rate=44100",
                                    "-t",       "12",       "-c:v",         "libx264",
                                    "-preset",  "veryfast", "-bf",          "3",
                                    "-g",       "50",       "-x264-params", "open-gop=1:scenecut=0",
                                    "-pix_fmt", "yuv420p",  "-c:a",         "aac"});
}

// The sound tracks' packets, each with its time and a hash of its data, one a line.
std::string SoundPackets(const std::string& path) {
    const CommandResult r =
        Run({"ffmpeg", "-v", "error", "-i", path, "-map", "0:a", "-c", "copy", "-f", "framemd5", "-"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::string lines;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line[0] != '#') lines += line + "\n";
    return lines;
}

std::vector<std::string> Words(std::vector<std::string> words, const std::vector<std::string>& more) {
    words.insert(words.end(), more.begin(), more.end());
    return words;
}

// Makes `job` whole into `whole` and in parts into `parts`; returns both files.
std::pair<std::string, std::string> WholeAndInParts(const std::vector<std::string>& job, const TempDir& whole,
                                                    const TempDir& parts, const std::vector<std::string>& chunks) {
    const CommandResult one = Cli(Words(job, {"--out-dir", whole.path().string(), "--quiet"}));
    EXPECT_EQ(one.exitCode, 0) << one.err;
    const CommandResult split = Cli(Words(Words(job, {"--out-dir", parts.path().string(), "--quiet"}), chunks));
    EXPECT_EQ(split.exitCode, 0) << split.err;
    // Nothing is left of the parts beside the output.
    EXPECT_EQ(FilesIn(parts.path()), std::vector<std::string>{fs::path(LastLine(split.out)).filename().string()});
    return {LastLine(one.out), LastLine(split.out)};
}

}  // namespace

TEST(CliChunks, PartsGiveTheWholeReencodingsPicturesAndSoundWithNoSeamToSee) {
    const std::string source = OpenGopFixture();
    TempDir whole, parts;
    const auto [one, split] =
        WholeAndInParts({"cut", source, "--start", "0", "--end", "12", "--name", "film", "--reencode", "--format", "1"},
                        whole, parts, {"--chunks", "4", "--jobs", "2"});
    EXPECT_EQ(Problems(Inspect(split), true, true, 12, 0.1), "");
    EXPECT_EQ(SoundPackets(split), SoundPackets(one));
    const std::vector<GreyPicture> made = PicturesOf(split, 320, 240), single = PicturesOf(one, 320, 240),
                                   shown = PicturesOf(source, 320, 240);
    ASSERT_EQ(made.size(), single.size());
    ASSERT_EQ(made.size(), shown.size());
    // Every part begins on one of the source's key frames (every 50th picture): the pictures on
    // either side of each are as close to the source's as the others are.
    double seams = 100, elsewhere = 0;
    int others = 0;
    for (size_t k = 0; k < made.size(); ++k) {
        const double psnr = Psnr(made[k], shown[k]);
        if (k % 50 == 0 || k % 50 == 49)
            seams = std::min(seams, psnr);
        else
            elsewhere += psnr, ++others;
    }
    EXPECT_GE(seams, elsewhere / others - 1.0);
}

// Other jobs in parts: a cut inside the file at another frame rate, a cut into Matroska (which
// keeps no decode times), and a join of clips and files, whose parts are placed after the inputs
// before theirs.
TEST(CliChunks, CutsAndJoinsInPartsKeepTheWholesPictureCountAndSound) {
    const std::string source = OpenGopFixture(), other = AvFixture30fps();
    const std::vector<std::vector<std::string>> jobs = {
        {"cut", source, "--start", "1.3", "--end", "10.7", "--name", "cut", "--reencode", "--framerate", "5"},
        {"cut", source, "--start", "0", "--end", "12", "--name", "mkv", "--reencode", "--format", "6"},
        {"join", "--name", "join", "--reencode", source, "--from", "2.5", "--to", "9", other, source, "--to", "5"},
    };
    for (const auto& job : jobs) {
        SCOPED_TRACE(job[0]);
        TempDir whole, parts;
        const auto [one, split] = WholeAndInParts(job, whole, parts, {"--chunks", "5", "--jobs", "2"});
        EXPECT_EQ(PicturesOf(split).size(), PicturesOf(one).size());
        EXPECT_EQ(SoundPackets(split), SoundPackets(one));
        EXPECT_EQ(Inspect(split).decodeErrors, "");
    }
}

TEST(CliChunks, APlanRunByBatchIsAssembledOnlyWhenEveryPartIsThere) {
    const std::string source = OpenGopFixture();
    TempDir out, plan, here;
    const std::vector<std::string> job = {
        "cut", source, "--start", "0", "--end", "12", "--name", "film", "--reencode", "--out-dir", out.path().string()};
    const CommandResult planned = Cli(Words(job, {"--chunks", "3", "--plan", plan.path().string()}));
    ASSERT_EQ(planned.exitCode, 0) << planned.err;
    std::vector<std::string> lines;
    std::istringstream in(planned.out);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 4u) << planned.out;  // the sound and three parts of pictures
    const auto list = [&](size_t count) {
        std::string text;
        for (size_t k = 0; k < count; ++k) text += lines[k] + "\n";
        WriteFileBytes(here / "jobs.txt", text);
        return here / "jobs.txt";
    };
    const auto assemble = [&] { return Cli({"assemble", plan.path().string()}); };
    std::string fingerprint;
    {
        std::ifstream planFile(plan / "plan.txt");
        for (std::string line; std::getline(planFile, line);)
            if (line.rfind("fingerprint ", 0) == 0) fingerprint = line.substr(12);
    }
    ASSERT_EQ(fingerprint.size(), 16u);
    // What assemble refuses, naming the part, and then makes nothing.
    struct Refusal {
        const char* what;
        std::function<void()> leave;
        std::string says;
    };
    const std::string second = "pictures-001-" + fingerprint + ".mp4";
    const Refusal refusals[] = {
        {"no job has run", [] {}, second + " is missing"},
        {"a part is unfinished", [&] { WriteFileBytes(plan / (second + ".part"), "x"); }, second + " is unfinished"},
        {"a part was made for other settings",
         [&] {
             fs::remove(plan / (second + ".part"));
             WriteFileBytes(plan / "pictures-001-0123456789abcdef.mp4", "x");
         },
         "made for other settings"},
    };
    for (const Refusal& r : refusals) {
        SCOPED_TRACE(r.what);
        r.leave();
        const CommandResult refused = assemble();
        EXPECT_EQ(refused.exitCode, 1);
        EXPECT_NE(refused.err.find(r.says), std::string::npos) << refused.err;
        EXPECT_TRUE(FilesIn(out.path()).empty());
    }
    // Two jobs, then the list again with --skip-done: only the missing parts are made.
    ASSERT_EQ(Cli({"batch", list(2), "--jobs", "2"}).exitCode, 0);
    EXPECT_NE(assemble().exitCode, 0);
    const CommandResult rest = Cli({"batch", list(lines.size()), "--jobs", "2", "--skip-done"});
    ASSERT_EQ(rest.exitCode, 0) << rest.out << rest.err;
    EXPECT_EQ(std::count(rest.out.begin(), rest.out.end(), '\n'), 4);
    EXPECT_EQ(rest.out.find("skipped 3"), std::string::npos) << rest.out;
    EXPECT_NE(rest.out.find("skipped 1"), std::string::npos) << rest.out;
    const CommandResult assembled = assemble();
    ASSERT_EQ(assembled.exitCode, 0) << assembled.err;
    EXPECT_EQ(LastLine(assembled.out), out / "film.mp4");

    // The same file as --chunks makes on one machine: the encoders' threads differ, so its
    // pictures are as near as two encodings at one quality are, and its sound is the same.
    TempDir together;
    const CommandResult one = Cli(Words(Words(job, {"--chunks", "3"}), {"--out-dir", together.path().string()}));
    ASSERT_EQ(one.exitCode, 0) << one.err;
    const std::vector<GreyPicture> a = PicturesOf(LastLine(assembled.out)), b = PicturesOf(LastLine(one.out));
    ASSERT_EQ(a.size(), b.size());
    for (size_t k = 0; k < a.size(); ++k) EXPECT_GE(Psnr(a[k], b[k]), 40) << "picture " << k;
    EXPECT_EQ(SoundPackets(LastLine(assembled.out)), SoundPackets(LastLine(one.out)));
}
