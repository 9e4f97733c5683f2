// Benchmark helper (not a test): grab latency at positions spread over a file, and probe
// time per file, all in one process as the window does them.
//   ulvane-grab-bench grab SRC SNAPSHOT COUNT [W H] -> one line per grab, then median and worst;
//                                                    with W H, also the picture for a W x H preview
//   ulvane-grab-bench probe FILE...             -> time per file
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/frame_grabber.h"
#include "engine/media_probe.h"

namespace {

double Ms(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

int Grab(const std::string& src, const std::string& snapshot, int count, int boxWidth, int boxHeight) {
    ulvane::ConversionJob job;
    job.probePath = src;
    if (ulvane::ProbeMediaFile(job) != ulvane::kProbeOk) {
        std::fprintf(stderr, "cannot probe %s\n", src.c_str());
        return 1;
    }
    const double duration = job.info.durationMicros / 1e6;
    ulvane::FrameGrabber grabber;
    std::vector<double> times;
    for (int i = 0; i < count; ++i) {
        const double at = duration * (i + 0.5) / count;
        std::string error;
        const auto t0 = std::chrono::steady_clock::now();
        ulvane::ShownPicture shown;
        const bool ok = grabber.Grab(src, at, snapshot, boxWidth, boxHeight, shown, error);
        const double ms = Ms(std::chrono::steady_clock::now() - t0);
        if (!ok) {
            std::fprintf(stderr, "grab at %.3f failed: %s\n", at, error.c_str());
            return 1;
        }
        std::printf("grab %.3f s: %.1f ms (shown %dx%d)\n", at, ms, shown.width, shown.height);
        times.push_back(ms);
    }
    std::sort(times.begin(), times.end());
    std::printf("median %.1f ms\nworst %.1f ms\n", times[times.size() / 2], times.back());
    return 0;
}

int Probe(const std::vector<std::string>& files) {
    ulvane::ConversionJob job;
    const auto t0 = std::chrono::steady_clock::now();
    int bad = 0;
    for (const std::string& f : files) {
        job.probePath = f;
        bad += ulvane::ProbeMediaFile(job) != ulvane::kProbeOk;
    }
    const double ms = Ms(std::chrono::steady_clock::now() - t0);
    std::printf("probed %zu files in %.1f ms: %.2f ms per file (%d refused)\n", files.size(), ms,
                ms / static_cast<double>(files.size()), bad);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if ((args.size() == 4 || args.size() == 6) && args[0] == "grab")
        return Grab(args[1], args[2], std::atoi(args[3].c_str()), args.size() == 6 ? std::atoi(args[4].c_str()) : 0,
                    args.size() == 6 ? std::atoi(args[5].c_str()) : 0);
    if (args.size() >= 2 && args[0] == "probe") return Probe({args.begin() + 1, args.end()});
    std::fprintf(stderr, "usage: ulvane-grab-bench grab SRC SNAPSHOT COUNT [W H] | probe FILE...\n");
    return 2;
}
