// Detection on a film whose silences, black stretches and scene changes are known, and the
// silences against the ffmpeg tool's silencedetect on the same file.
#include "engine/detect.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <regex>
#include <sstream>

#include "tests/support/detect_fixture.h"

using namespace ulvane;
using namespace ulvane::test;

namespace {

// Seconds, as pairs (a change's end is its start).
using Spans = std::vector<std::pair<double, double>>;

Spans SpansOf(const std::vector<Finding>& found) {
    Spans s;
    for (const Finding& f : found) s.emplace_back(f.startMicros / 1e6, f.endMicros / 1e6);
    return s;
}

// Each found span within `tolerance` seconds of the expected one, the same number of them.
void ExpectNear(const Spans& got, const Spans& want, double tolerance, const std::string& what) {
    ASSERT_EQ(got.size(), want.size()) << what;
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_NEAR(got[i].first, want[i].first, tolerance) << what << " #" << i;
        EXPECT_NEAR(got[i].second, want[i].second, tolerance) << what << " #" << i;
    }
}

}  // namespace

TEST(Detect, FindsTheKnownSilencesBlackStretchesAndSceneChanges) {
    const std::string film = DetectFixture();
    struct Row {
        const char* what;
        std::function<Status(std::vector<Finding>&)> detect;
        Spans want;
    };
    // The encoder starts the file 21 ms late (the pictures' reorder delay, the sound's priming);
    // 40 ms covers that and a picture's time.
    const Row rows[] = {
        {"silences at -50 dB, 0.5 s",
         [&](auto& f) { return DetectSilences(film, -50, 0.5, f); },
         {{1, 2}, {6, 7.5}, {9, 10}}},
        {"silences of 0.2 s too",
         [&](auto& f) { return DetectSilences(film, -50, 0.2, f); },
         {{1, 2}, {4, 4.3}, {6, 7.5}, {9, 10}}},
        {"no silence of 1.2 s but the one of 1.5 s",
         [&](auto& f) { return DetectSilences(film, -50, 1.2, f); },
         {{6, 7.5}}},
        {"black stretches", [&](auto& f) { return DetectBlack(film, 0.10, 0.5, f); }, {{2, 3}, {7.6, 8.4}}},
        {"black stretches of a second or more", [&](auto& f) { return DetectBlack(film, 0.10, 0.9, f); }, {{2, 3}}},
    };
    for (const Row& r : rows) {
        std::vector<Finding> found;
        const Status s = r.detect(found);
        ASSERT_TRUE(s.ok()) << r.what << ": " << s.reason();
        ExpectNear(SpansOf(found), r.want, 0.04, r.what);
    }
}

TEST(Detect, SilencesMatchTheFfmpegToolWithinTenMilliseconds) {
    // 50 s of stereo sound (440 and 660 Hz), long enough to be read in five parts of 10 s, whose
    // edges the silences meet: one ends just past 10 s, one runs from 19.8 s (too short before
    // the edge, a silence only with what follows) through the whole third part to 30.6 s, a
    // quiet 0.3 s across 40 s stays too short, and the last silence runs to the end.
    const std::string quiet =
        "*not(between(t,2,2.69999))*not(between(t,9.3,10.39999))*not(between(t,19.8,30.59999))"
        "*not(between(t,39.8,40.09999))*not(between(t,45,45.99999))*lt(t,48.5)";
    const std::string parts =
        Fixture("silences_in_parts_50s.m4a",
                {"-f", "lavfi", "-i",
                 "aevalsrc='0.5*sin(440*2*PI*t)" + quiet + "|0.5*sin(660*2*PI*t)" + quiet + "':s=48000:d=50", "-c:a",
                 "aac", "-b:a", "64k"});
    const struct {
        std::string file;
        size_t silences;  // as the fixture places them
    } rows[] = {{DetectFixture(), 3}, {parts, 5}};
    for (const auto& r : rows) {
        const CommandResult tool = ulvane::test::Run({"ffmpeg", "-nostats", "-hide_banner", "-i", r.file, "-af",
                                                      "silencedetect=n=-50dB:d=0.5", "-f", "null", "-"});
        ASSERT_EQ(tool.exitCode, 0) << tool.err;
        Spans want;
        const std::regex start("silence_start: ([0-9.]+)"), end("silence_end: ([0-9.]+)");
        std::istringstream lines(tool.err);
        for (std::string line; std::getline(lines, line);) {
            std::smatch m;
            if (std::regex_search(line, m, start)) want.emplace_back(std::stod(m[1]), -1);
            if (std::regex_search(line, m, end) && !want.empty()) want.back().second = std::stod(m[1]);
        }
        ASSERT_EQ(want.size(), r.silences) << r.file << "\n" << tool.err;
        std::vector<Finding> found;
        ASSERT_TRUE(DetectSilences(r.file, -50, 0.5, found).ok()) << r.file;
        ExpectNear(SpansOf(found), want, 0.010, "against silencedetect: " + r.file);
    }
}

// The scene scores of the scdet filter, picture for picture: the changes it finds at a low
// threshold, with their times and scores, on the detection film,
// on a film of cuts between moving patterns, and on the real samples when they are there.
TEST(Detect, SceneChangesAreThoseOfTheScdetFilter) {
    const std::string cuts = Fixture("scene_cuts_12s.mp4", {"-f",
                                                            "lavfi",
                                                            "-i",
                                                            "testsrc2=s=320x240:r=25:d=4",
                                                            "-f",
                                                            "lavfi",
                                                            "-t",
                                                            "4",
                                                            "-i",
                                                            "life=s=320x240:r=25:mold=10:ratio=0.3,format=yuv420p",
                                                            "-f",
                                                            "lavfi",
                                                            "-i",
                                                            "smptebars=s=320x240:r=25:d=4",
                                                            "-filter_complex",
                                                            "[0:v][1:v][2:v]concat=n=3:v=1:a=0",
                                                            "-c:v",
                                                            "libx264",
                                                            "-preset",
                                                            "veryfast",
                                                            "-bf",
                                                            "3",
                                                            "-pix_fmt",
                                                            "yuv420p"});
    std::vector<std::string> files = {DetectFixture(), cuts};
    if (const auto shared = SharedMediaDir())
        for (const char* sample : {"theora_vorbis_400x300.ogv", "portrait_h264_aac_bframes_ctts3s.mp4"})
            if (std::filesystem::exists(*shared / sample)) files.push_back((*shared / sample).string());
    for (const std::string& file : files) {
        {
            // Below the default of 10, so that more of the scores are compared.
            const double threshold = 3;
            SCOPED_TRACE(file);
            const CommandResult tool =
                ulvane::test::Run({"ffmpeg", "-nostdin", "-nostats", "-hide_banner", "-i", file, "-an", "-vf",
                                   "scdet=t=" + std::to_string(threshold), "-f", "null", "-"});
            ASSERT_EQ(tool.exitCode, 0) << tool.err;
            std::vector<std::pair<double, double>> want;  // time, score
            const std::regex line("lavfi.scd.score: ([0-9.]+), lavfi.scd.time: ([-0-9.]+)");
            for (std::sregex_iterator m(tool.err.begin(), tool.err.end(), line), end; m != end; ++m)
                want.emplace_back(std::stod((*m)[2]), std::stod((*m)[1]));
            std::vector<Finding> found;
            ASSERT_TRUE(DetectScenes(file, threshold, found).ok());
            ASSERT_EQ(found.size(), want.size());
            for (size_t i = 0; i < want.size(); ++i) {
                EXPECT_NEAR(found[i].startMicros / 1e6, want[i].first, 0.002) << i;
                EXPECT_NEAR(found[i].score, want[i].second, 0.002) << i;
            }
        }
    }
}

TEST(Detect, RefusesWhatItCannotReadAndStopsWhenCancelled) {
    std::vector<Finding> found;
    EXPECT_TRUE(DetectSilences("/nonexistent/film.mkv", -50, 0.5, found).failed());
    const std::string picturesOnly = VideoOnlyFixture();
    EXPECT_TRUE(DetectSilences(picturesOnly, -50, 0.5, found).failed()) << "a file without sound";
    std::atomic<bool> cancel{true};
    EXPECT_TRUE(DetectScenes(DetectFixture(), 10, found, {&cancel, nullptr}).cancelled());
}
