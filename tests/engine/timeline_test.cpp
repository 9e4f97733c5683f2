// What the timeline strip shows: the main sound's levels in the right bins, and thumbnails
// of the right pictures, upright.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <functional>

#include "engine/timeline.h"
#include "tests/support/content.h"
#include "tests/support/media_tools.h"

using namespace ulvane;
using namespace ulvane::test;

namespace {

// A 1 kHz tone: silent for `quiet` seconds, at 0.25 of full scale for `part` seconds, then
// at 0.5 for `part` seconds; in `channels` channels, the second one silent when there are two.
std::string Tone(double quiet, double part, int channels) {
    char expr[256];
    std::snprintf(expr, sizeof expr, "if(lt(t,%g),0,if(lt(t,%g),0.25,0.5))*sin(2*PI*1000*t)", quiet, quiet + part);
    const std::string one = expr;
    return "aevalsrc='" + (channels == 2 ? one + "|0" : one) + "':s=48000:d=" + std::to_string(quiet + 2 * part);
}

// The thumbnail's mean colour.
std::array<double, 3> MeanColour(const Thumbnail& t) {
    std::array<double, 3> sum{};
    const size_t pixels = static_cast<size_t>(t.width) * t.height;
    for (size_t i = 0; i < pixels; ++i)
        for (int c = 0; c < 3; ++c) sum[c] += t.rgb[i * 3 + c];
    for (double& s : sum) s /= std::max<size_t>(pixels, 1);
    return sum;
}

}  // namespace

TEST(Timeline, TheWaveformHoldsEachBinsPeakAndLoudnessWhereTheSoundIs) {
    struct Case {
        std::string name;
        std::vector<std::string> args;
        double soundStart;  // seconds of the file before its sound starts
        double quiet, part;
        double scale;  // the level of the channels mixed, to the tone's
    };
    const std::string pictures = "color=c=black:s=160x120:r=25:d=3.5";
    const std::vector<Case> cases = {
        // AAC (planar float) in MP4 whose sound starts 0.5 s after its pictures.
        {"wave_late.mp4",
         {"-f",  "lavfi", "-i",  pictures, "-itsoffset", "0.5",     "-f",        "lavfi", "-i",  Tone(1, 1, 1), "-map",
          "0:v", "-map",  "1:a", "-c:v",   "libx264",    "-preset", "ultrafast", "-c:a",  "aac", "-b:a",        "128k"},
         0.5,
         1,
         1,
         1.0},
        // 16-bit PCM (packed) in Matroska, late too, the tone in one of two channels.
        {"wave_late.mkv",
         {"-f",   "lavfi", "-i",   pictures, "-itsoffset", "0.5",     "-f",      "lavfi",     "-i",   Tone(1, 1, 2),
          "-map", "0:v",   "-map", "1:a",    "-c:v",       "libx264", "-preset", "ultrafast", "-c:a", "pcm_s16le"},
         0.5,
         1,
         1,
         0.5},
        // 32-bit float WAV.
        {"wave_float.wav", {"-f", "lavfi", "-i", Tone(1, 1, 1), "-c:a", "pcm_f32le"}, 0, 1, 1, 1.0},
        // Long enough to be decoded in parts by several threads: the parts meet in the
        // middle of the tone, where nothing may be counted twice or missed.
        {"wave_long.m4a", {"-f", "lavfi", "-i", Tone(8, 8, 1), "-c:a", "aac", "-b:a", "96k"}, 0, 8, 8, 1.0},
    };
    constexpr int64_t kBin = 100'000;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = Fixture(c.name, c.args);
        std::atomic<bool> cancel{false};
        Waveform w;
        std::string error;
        size_t progressCalls = 0, lastProgressBins = 0;
        ASSERT_TRUE(ComputeWaveform(
            path, kBin, cancel,
            [&](const Waveform& sofar) {
                ++progressCalls;
                lastProgressBins = sofar.peak.size();
            },
            w, error))
            << error;
        EXPECT_EQ(w.binMicros, kBin);
        ASSERT_EQ(w.peak.size(), w.rms.size());
        const double end = c.soundStart + c.quiet + 2 * c.part;
        EXPECT_NEAR(static_cast<double>(w.peak.size()), end * 10, 2);
        EXPECT_GE(progressCalls, 1u);
        EXPECT_EQ(lastProgressBins, w.peak.size());
        // Each bin well inside a stretch of the sound (a bin's width from each edge).
        for (size_t k = 0; k < w.peak.size(); ++k) {
            const double from = static_cast<double>(k) / 10, to = from + 0.1;
            const double t0 = c.soundStart, t1 = t0 + c.quiet, t2 = t1 + c.part, t3 = t2 + c.part;
            auto inside = [&](double a, double b) { return from >= a + 0.1 && to <= b - 0.1; };
            double level = -1;
            if (to <= t0 - 0.05) {
                SCOPED_TRACE("before the sound, bin " + std::to_string(k));
                EXPECT_EQ(w.peak[k], 0.f);
                EXPECT_EQ(w.rms[k], 0.f);
                continue;
            }
            if (inside(t0, t1)) level = 0;
            if (inside(t1, t2)) level = 0.25 * c.scale;
            if (inside(t2, t3)) level = 0.5 * c.scale;
            if (level < 0) continue;
            SCOPED_TRACE("bin " + std::to_string(k) + " expecting " + std::to_string(level));
            EXPECT_NEAR(w.peak[k], level, 0.02 + level * 0.05);
            EXPECT_NEAR(w.rms[k], level / std::sqrt(2.0), 0.01 + level * 0.05);
        }
    }
}

TEST(Timeline, ThumbnailsShowTheKeyFrameOrTheVeryPictureUpright) {
    // Red, green, blue, white, 1.5 s each; key frames at 0, 2 and 4 s only.
    const std::vector<std::string> colours = {"red", "lime", "blue", "white"};
    std::string graph;
    for (size_t i = 0; i < colours.size(); ++i)
        graph += "color=c=" + colours[i] + ":s=320x180:r=25:d=1.5[c" + std::to_string(i) + "];";
    graph += "[c0][c1][c2][c3]concat=n=4:v=1:a=0[v]";
    const std::string source =
        Fixture("thumbs.mp4", {"-filter_complex", graph, "-map", "[v]", "-c:v", "libx264", "-bf", "2", "-g", "1000",
                               "-sc_threshold", "0", "-force_key_frames", "0,2,4", "-pix_fmt", "yuv420p"});
    const std::array<std::array<double, 3>, 4> rgb = {{{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}}};
    struct Case {
        double at;
        int keyColour, exactColour;
        double keyTime;
    };
    const std::vector<Case> cases = {{0.5, 0, 0, 0}, {1.0, 0, 0, 0}, {1.7, 0, 1, 0},
                                     {2.5, 1, 1, 2}, {3.3, 1, 2, 2}, {4.8, 2, 3, 4}};
    std::vector<int64_t> times;
    for (const Case& c : cases) times.push_back(static_cast<int64_t>(c.at * 1e6));
    for (bool exact : {false, true}) {
        SCOPED_TRACE(exact ? "exact" : "key frames");
        std::atomic<bool> cancel{false};
        std::vector<Thumbnail> got;
        std::string error;
        ASSERT_TRUE(ComputeThumbnails(
            source, times, 36, exact, cancel, [&](Thumbnail&& t) { got.push_back(t); }, error))
            << error;
        ASSERT_EQ(got.size(), cases.size());
        for (size_t i = 0; i < cases.size(); ++i) {
            const Case& c = cases[i];
            const Thumbnail& t = got[i];
            SCOPED_TRACE(c.at);
            EXPECT_EQ(t.atMicros, times[i]);
            EXPECT_EQ(t.height, 36);
            EXPECT_EQ(t.width, 64);
            ASSERT_EQ(t.rgb.size(), static_cast<size_t>(t.width) * t.height * 3);
            const auto& want = rgb[exact ? c.exactColour : c.keyColour];
            const auto mean = MeanColour(t);
            for (int k = 0; k < 3; ++k) EXPECT_NEAR(mean[k], want[k], 20) << "channel " << k;
            const double shown = exact ? std::floor(c.at * 25) / 25 : c.keyTime;
            EXPECT_NEAR(static_cast<double>(t.shownMicros) / 1e6, shown, 0.002);
        }
    }

    // A phone's portrait clip: its top half red, stored on its side with a display turn.
    const std::string upright =
        Fixture("thumbs_halves.mp4",
                {"-f", "lavfi", "-i", "color=c=red:s=320x90:r=25:d=2[a];color=c=blue:s=320x90:r=25:d=2[b];[a][b]vstack",
                 "-c:v", "libx264", "-g", "25", "-pix_fmt", "yuv420p"});
    const std::string turned =
        Fixture("thumbs_rot90.mp4", {"-i", upright, "-c", "copy", "-metadata:s:v:0", "rotate=90"});
    std::atomic<bool> cancel{false};
    for (bool exact : {false, true}) {
        SCOPED_TRACE(exact ? "turned, exact" : "turned, key frames");
        std::vector<Thumbnail> got;
        std::string error;
        ASSERT_TRUE(ComputeThumbnails(
            turned, {1'200'000}, 64, exact, cancel, [&](Thumbnail&& t) { got.push_back(t); }, error))
            << error;
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0].height, 64);
        EXPECT_EQ(got[0].width, 36);
        EXPECT_GT(Psnr(GreyOf(got[0].rgb.data(), got[0].width, got[0].height, 9, 16), PictureAt(turned, 1.2, 9, 16)),
                  25.0);
    }

    // Stopped after the first: no more are made, and what was made stands.
    for (bool exact : {false, true}) {
        std::vector<Thumbnail> got;
        std::string error;
        cancel = false;
        EXPECT_TRUE(ComputeThumbnails(
            source, times, 36, exact, cancel,
            [&](Thumbnail&& t) {
                got.push_back(t);
                cancel = true;
            },
            error));
        EXPECT_EQ(got.size(), 1u);
    }
}

TEST(Timeline, AFileWithoutTheTrackAskedForIsRefused) {
    std::atomic<bool> cancel{false};
    std::string error;
    Waveform w;
    EXPECT_FALSE(ComputeWaveform(VideoOnlyFixture(), 100'000, cancel, {}, w, error));
    EXPECT_FALSE(error.empty());
    error.clear();
    EXPECT_FALSE(ComputeThumbnails(AudioOnlyFixture(), {0}, 36, false, cancel, {}, error));
    EXPECT_FALSE(error.empty());
}

TEST(Timeline, AZoomedWaveformIsTheSamplesOwnLevelsAndAStretchIsReadAlone) {
    // 60 s of a 1 kHz tone whose level changes each second, silent every third second: a
    // 16-bit WAV, whose samples the ffmpeg tool gives back exactly. Long enough to be read in
    // parts on several threads, whose grains must add up.
    const std::string path =
        Fixture("wave_pattern.wav", {"-f", "lavfi", "-i",
                                     "aevalsrc='0.1*(1+mod(floor(t)*5,8))*gt(mod(floor(t),3),0)*sin(2*PI*1000*t)'"
                                     ":s=48000:d=60",
                                     "-c:a", "pcm_s16le"});
    const std::vector<float> samples = SoundOf(path, 48000);
    ASSERT_EQ(samples.size(), 60u * 48000);
    constexpr int64_t kGrain = 1000, kBin = 16000;           // 1 ms grains, 16 ms bins (768 samples)
    constexpr int64_t kFrom = 31'234'000, kTo = 41'234'000;  // 10 s, off the stretches' edges
    const auto readAlone = [&](SoundSummary& s, std::string& error) {
        std::atomic<bool> cancel{false};
        const bool ok = SummariseSoundRange(path, kGrain, kFrom, kTo, cancel, s, error);
        // Only the stretches in the window were read: nothing from the file's start.
        EXPECT_TRUE(s.Covers(kFrom, kTo));
        EXPECT_FALSE(s.Covers(0, 10'000'000));
        return ok;
    };
    const auto readWhole = [&](SoundSummary& s, std::string& error) {
        std::atomic<bool> cancel{false};
        const bool ok = SummariseSound(path, kGrain, cancel, {}, s, error);
        EXPECT_TRUE(s.Covers(0, 60'000'000));
        return ok;
    };
    for (const auto& [name, read] : {std::pair{"a stretch read alone", std::function(readAlone)},
                                     std::pair{"the whole file read once", std::function(readWhole)}}) {
        SCOPED_TRACE(name);
        SoundSummary summary;
        std::string error;
        ASSERT_TRUE(read(summary, error)) << error;
        const Waveform w = summary.Reduce(kBin, kFrom, kTo);
        EXPECT_EQ(w.binMicros, kBin);
        EXPECT_EQ(w.fromMicros, kFrom / kBin * kBin);
        ASSERT_EQ(w.peak.size(), static_cast<size_t>((kTo + kBin - 1) / kBin - kFrom / kBin));
        ASSERT_EQ(w.rms.size(), w.peak.size());
        size_t silent = 0;
        for (size_t k = 0; k < w.peak.size(); ++k) {
            const size_t first = static_cast<size_t>((w.fromMicros + static_cast<int64_t>(k) * kBin) * 48 / 1000);
            float peak = 0;
            double squares = 0;
            for (size_t i = first; i < first + 768; ++i) {
                peak = std::max(peak, std::fabs(samples[i]));
                squares += static_cast<double>(samples[i]) * samples[i];
            }
            SCOPED_TRACE("bin " + std::to_string(k));
            EXPECT_NEAR(w.peak[k], peak, 1e-6);
            EXPECT_NEAR(w.rms[k], std::sqrt(squares / 768), 1e-5);
            silent += peak == 0;
        }
        // Seconds 33, 36 and 39 are silent, 62.5 bins each; the others are not.
        EXPECT_NEAR(static_cast<double>(silent), 3 * 62.5, 3);
    }
}
