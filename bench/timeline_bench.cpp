// Benchmark helper (not a test): the timeline strip's work on one file, in one process as the
// window's worker does it.
//   ulvane-timeline-bench waveform FILE BIN_MS      -> the time to compute the whole waveform
//   ulvane-timeline-bench thumbs FILE COUNT HEIGHT  -> the time for COUNT key-frame thumbnails
//                                                      spread over the file; their key frames'
//                                                      times on standard output's "keys" line
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/media_probe.h"
#include "engine/timeline.h"

namespace {

double Seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

int64_t DurationOf(const std::string& path) {
    ulvane::ConversionJob job;
    job.probePath = path;
    if (ulvane::ProbeMediaFile(job) != ulvane::kProbeOk) return 0;
    return job.info.durationMicros;
}

int Waveform(const std::string& path, int64_t binMicros) {
    std::atomic<bool> cancel{false};
    ulvane::Waveform w;
    std::string error;
    int updates = 0;
    const auto t0 = std::chrono::steady_clock::now();
    const bool ok = ulvane::ComputeWaveform(
        path, binMicros, cancel, [&](const ulvane::Waveform&) { ++updates; }, w, error);
    const double s = Seconds(std::chrono::steady_clock::now() - t0);
    if (!ok) {
        std::fprintf(stderr, "waveform failed: %s\n", error.c_str());
        return 1;
    }
    float loudest = 0;
    for (float p : w.peak) loudest = std::max(loudest, p);
    std::printf("seconds %.3f\nbins %zu\nupdates %d\nloudest %.3f\n", s, w.peak.size(), updates, loudest);
    return 0;
}

int Thumbs(const std::string& path, int count, int height) {
    const int64_t duration = DurationOf(path);
    if (duration <= 0) {
        std::fprintf(stderr, "cannot probe %s\n", path.c_str());
        return 1;
    }
    std::vector<int64_t> times;
    for (int i = 0; i < count; ++i) times.push_back(duration * i / count);
    std::atomic<bool> cancel{false};
    std::string error;
    std::vector<int64_t> keys;
    const auto t0 = std::chrono::steady_clock::now();
    const bool ok = ulvane::ComputeThumbnails(
        path, times, height, false, cancel, [&](ulvane::Thumbnail&& t) { keys.push_back(t.shownMicros); }, error);
    const double s = Seconds(std::chrono::steady_clock::now() - t0);
    if (!ok) {
        std::fprintf(stderr, "thumbnails failed: %s\n", error.c_str());
        return 1;
    }
    std::printf("seconds %.3f\nthumbnails %zu\nkeys", s, keys.size());
    for (int64_t k : keys) std::printf(" %.6f", static_cast<double>(k) / 1e6);
    std::printf("\n");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string what = argc > 1 ? argv[1] : "";
    if (what == "waveform" && argc == 4) return Waveform(argv[2], std::atoll(argv[3]) * 1000);
    if (what == "thumbs" && argc == 5) return Thumbs(argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
    std::fprintf(stderr, "usage: %s waveform FILE BIN_MS | thumbs FILE COUNT HEIGHT\n", argv[0]);
    return 2;
}
