// ulvane-cli detect: silences, black pictures or scene changes of one file, one line each.
#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/job_run.h"
#include "core/time_text.h"
#include "engine/detect.h"

namespace ulvane::cli {

namespace {

// Ctrl+C ends the detection; a lock-free atomic may be set from a signal handler.
std::atomic<bool> g_stop{false};
void OnStop(int) {
    g_stop.store(true);
}

std::string TimeText(int64_t micros) {
    return FormatTime(static_cast<int32_t>(std::min<int64_t>((micros + 500) / 1000, INT32_MAX)));
}

}  // namespace

int Detect(const Request& r) {
    const std::string& kind = r.sources[0];
    const std::string& file = r.sources[1];
    if (!IsUrl(file) && !IsFile(file)) return UsageError("FILE does not exist: " + file, "detect");
    std::signal(SIGINT, OnStop);
    std::signal(SIGTERM, OnStop);
    const DetectControl control{&g_stop, nullptr};
    const double minSeconds = r.minLength.value_or(kMinStretchSeconds);
    std::vector<Finding> found;
    Status s;
    if (kind == "silence")
        s = DetectSilences(file, r.threshold.value_or(kSilenceThresholdDb), minSeconds, found, control);
    else if (kind == "black")
        s = DetectBlack(file, r.threshold.value_or(kBlackPixelThreshold), minSeconds, found, control);
    else
        s = DetectScenes(file, r.threshold.value_or(kSceneThreshold), found, control);
    for (const Finding& f : found) {
        if (kind == "scenes")
            std::printf("%s %.1f\n", TimeText(f.startMicros).c_str(), f.score);
        else
            std::printf("%s %s\n", TimeText(f.startMicros).c_str(), TimeText(f.endMicros).c_str());
    }
    if (s.failed()) {
        std::fprintf(stderr, "ulvane-cli: %s cannot be read: %s\n", file.c_str(), s.reason().c_str());
        return 1;
    }
    if (s.cancelled()) {
        std::fprintf(stderr, "ulvane-cli: detection stopped\n");
        return 1;
    }
    return 0;
}

}  // namespace ulvane::cli
