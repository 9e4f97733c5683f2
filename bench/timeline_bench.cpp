// Benchmark helper (not a test): the timeline strip's work on one file, in one process as the
// window's worker does it.
//   ulvane-timeline-bench waveform FILE BIN_MS      -> the time to compute the whole waveform
//   ulvane-timeline-bench thumbs FILE COUNT HEIGHT  -> the time for COUNT key-frame thumbnails
//                                                      spread over the file; their key frames'
//                                                      times on standard output's "keys" line
//   ulvane-timeline-bench zoom FILE COUNT           -> zooming the waveform into COUNT windows of
//                                                      10 s spread over the file, as the strip asks
//                                                      (on 1200 px): from a fresh summary (the
//                                                      overview came from the cache: the window
//                                                      alone is read, then a page either side),
//                                                      and reduced from the whole summary (read
//                                                      once, its time printed)
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

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

int Zoom(const std::string& path, int count) {
    constexpr int64_t kView = 10'000'000;
    constexpr int kPixels = 1200;
    const int64_t duration = DurationOf(path);
    if (duration <= kView) {
        std::fprintf(stderr, "%s is not longer than the view\n", path.c_str());
        return 1;
    }
    // As the window's feeder: a grain of 1 ms or the length over 2 million, bins a power of
    // two grains within a column.
    const int64_t grain = std::max<int64_t>(1000, (duration + 1'999'999) / 2'000'000);
    int64_t bin = grain;
    while (bin * 2 <= kView / kPixels) bin *= 2;
    std::vector<int64_t> starts;
    for (int i = 0; i < count; ++i)
        starts.push_back((duration - kView) * ((i * 7919) % count) / std::max(count - 1, 1));
    std::atomic<bool> cancel{false};
    std::string error;
    std::vector<double> cold, pages, warm;
    size_t bins = 0;
    for (int64_t s : starts) {
        // As the feeder: the view first (shown then), a page either side next.
        ulvane::SoundSummary fresh;
        const auto t0 = std::chrono::steady_clock::now();
        if (!ulvane::SummariseSoundRange(path, grain, s, s + kView, cancel, fresh, error)) {
            std::fprintf(stderr, "reading the stretch failed: %s\n", error.c_str());
            return 1;
        }
        bins = fresh.Reduce(bin, s, s + kView).peak.size();
        cold.push_back(Seconds(std::chrono::steady_clock::now() - t0) * 1000);
        if (!ulvane::SummariseSoundRange(path, grain, s - kView, s + 2 * kView, cancel, fresh, error)) {
            std::fprintf(stderr, "reading the stretch failed: %s\n", error.c_str());
            return 1;
        }
        pages.push_back(Seconds(std::chrono::steady_clock::now() - t0) * 1000);
        std::printf("at %.1f cold_view_ms %.1f with_pages_ms %.1f\n", s / 1e6, cold.back(), pages.back());
    }
    ulvane::SoundSummary whole;
    const auto t0 = std::chrono::steady_clock::now();
    if (!ulvane::SummariseSound(path, grain, cancel, {}, whole, error)) {
        std::fprintf(stderr, "summarising failed: %s\n", error.c_str());
        return 1;
    }
    const double once = Seconds(std::chrono::steady_clock::now() - t0);
    for (int64_t s : starts) {
        const auto t1 = std::chrono::steady_clock::now();
        bins = std::max(bins, whole.Reduce(bin, s - kView, s + 2 * kView).peak.size());
        warm.push_back(Seconds(std::chrono::steady_clock::now() - t1) * 1000);
    }
    std::printf("grain_us %lld\nbin_us %lld\nbins %zu\nsummary_seconds %.3f\n", static_cast<long long>(grain),
                static_cast<long long>(bin), bins, once);
    std::printf(
        "cold_median_ms %.1f\ncold_worst_ms %.1f\npages_median_ms %.1f\nwarm_median_ms %.3f\nwarm_worst_ms %.3f\n",
        Median(cold), *std::max_element(cold.begin(), cold.end()), Median(pages), Median(warm),
        *std::max_element(warm.begin(), warm.end()));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string what = argc > 1 ? argv[1] : "";
    if (what == "waveform" && argc == 4) return Waveform(argv[2], std::atoll(argv[3]) * 1000);
    if (what == "thumbs" && argc == 5) return Thumbs(argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
    if (what == "zoom" && argc == 4) return Zoom(argv[2], std::max(1, std::atoi(argv[3])));
    std::fprintf(stderr, "usage: %s waveform FILE BIN_MS | thumbs FILE COUNT HEIGHT | zoom FILE COUNT\n", argv[0]);
    return 2;
}
