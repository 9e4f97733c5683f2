// ulvane-cli: the command line over the conversion engine, for scripts and tests.
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli_args.h"
#include "engine/frame_grabber.h"
#include "engine/media_probe.h"
#include "engine/run_conversion.h"
#include "core/launch.h"
#include "core/output_naming.h"
#include "core/output_presets.h"
#include "core/time_text.h"

namespace {

volatile std::sig_atomic_t g_interrupted = 0;
void OnInterrupt(int) { g_interrupted = 1; }

int UsageError(const std::string& what) {
    std::fprintf(stderr, "ulvane-cli: %s\n%s", what.c_str(), ulvane::cli::UsageText());
    return 2;
}

bool IsFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

// Runs the job on a worker thread, reports progress on stderr, forwards Ctrl+C as a
// cancel, and turns the statuses into the exit status.
int RunJob(ulvane::ConversionJob& job) {
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
    std::thread worker([&job] { ulvane::RunConversion(job); });
    int shownPercent = -1, shownInput = -2;
    for (;;) {
        const bool running = job.currentInput.load() < job.inputCount;
        if (g_interrupted) job.cancelRequested.store(true);
        const int input = job.currentInput.load();
        const int pct = job.progressPercent.load();
        if (input != shownInput && input >= 0 && input < job.inputCount && job.inputCount > 1)
            std::fprintf(stderr, "input %d of %d: %s\n", input + 1, job.inputCount, job.inputPaths[input].c_str());
        if (pct != shownPercent) std::fprintf(stderr, "progress %d%%\n", pct);
        shownInput = input;
        shownPercent = pct;
        if (!running && job.currentInput.load() >= 0) break;
        // Look often, so the command returns as soon as the job is over; print at most
        // every 100 ms.
        for (int t = 0; t < 20 && job.currentInput.load() < job.inputCount; ++t)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    worker.join();
    int failed = 0;
    for (int i = 0; i < job.inputCount; ++i) {
        const uint8_t s = job.inputStatus[i].load();
        if (s == ulvane::kInputDone) continue;
        ++failed;
        if (s == ulvane::kInputFailed)
            std::fprintf(stderr, "failed: %s: %s\n", job.inputPaths[i].c_str(),
                         job.inputError[i].empty() ? "unknown reason" : job.inputError[i].c_str());
        else
            std::fprintf(stderr, "not done (cancelled): %s\n", job.inputPaths[i].c_str());
    }
    if (ulvane::PathExists(job.outputPaths[0])) std::printf("%s\n", job.outputPaths[0].c_str());
    return failed ? 1 : 0;
}

int Cut(const ulvane::cli::Request& r) {
    const std::string& source = r.sources[0];
    if (!IsFile(source)) return UsageError("SOURCE does not exist: " + source);
    if (!IsFolder(r.outDir)) return UsageError("--out-dir is not a folder: " + r.outDir);
    const int32_t start = ulvane::ParseTime(r.startText);
    const int32_t end = ulvane::ParseTime(r.endText);
    if (start < 0) return UsageError("--start is before 00:00:00.000: " + r.startText);
    if (end <= start) return UsageError("--end (" + r.endText + ") is not after --start (" + r.startText + ")");
    ulvane::OutputChoice output{!r.reencode, r.rows, r.outDir,
                                ulvane::CleanFileName(r.name.value_or(ulvane::DefaultOutputName(source)))};
    ulvane::ConversionJob job;
    ulvane::PrepareCutJob(job);
    if (!ulvane::FillCutJob(job, {source, start, end, output}, ulvane::PathExists).ok())
        return UsageError("SOURCE has no extension, so a direct cut cannot tell its container; use --reencode");
    return RunJob(job);
}

// What a join needs of each file; a file that cannot be probed is left to the job, which
// fails it with its reason.
ulvane::JoinFile DescribeJoinFile(const std::string& path) {
    ulvane::ConversionJob probe;
    probe.probePath = path;
    if (ulvane::ProbeMediaFile(probe) != ulvane::kProbeOk) return {path, false, {}, {}, 0};
    return {path, true, ulvane::FileExtensionText(path),
            ulvane::SizeText(probe.info.videoWidth, probe.info.videoHeight), probe.info.durationMicros};
}

int Join(const ulvane::cli::Request& r) {
    if (r.sources.size() > static_cast<size_t>(ulvane::kMaxInputs))
        return UsageError("a join takes at most " + std::to_string(ulvane::kMaxInputs) + " files");
    for (const std::string& s : r.sources)
        if (!IsFile(s)) return UsageError("FILE does not exist: " + s);
    if (!IsFolder(r.outDir)) return UsageError("--out-dir is not a folder: " + r.outDir);
    ulvane::JoinLaunch join{{}, {!r.reencode, r.rows, r.outDir, ulvane::CleanFileName(*r.name)}};
    for (const std::string& s : r.sources) join.files.push_back(DescribeJoinFile(s));
    ulvane::ConversionJob job;
    ulvane::PrepareJoinJob(job, static_cast<int>(join.files.size()));
    const ulvane::LaunchResult result = ulvane::FillJoinJob(job, join, ulvane::PathExists);
    if (result.status == ulvane::LaunchStatus::UnlikeFiles) {
        // Copied packets only join into a playable file when the files agree in type and
        // picture size; refused before anything is created.
        std::fprintf(stderr,
                     "ulvane-cli: a direct join needs files of the same type and picture size; these differ:\n");
        for (const ulvane::JoinFile& f : join.files)
            if (f.described) std::fprintf(stderr, "  %s: %s, %s\n", f.path.c_str(), f.type.c_str(), f.size.c_str());
        std::fprintf(stderr, "join them with --reencode\n");
        return 1;
    }
    if (result.status == ulvane::LaunchStatus::NoExtension)
        return UsageError("FILE has no extension, so a direct join cannot tell its container: " +
                          join.files[static_cast<size_t>(result.input)].path);
    return RunJob(job);
}

int Probe(const ulvane::cli::Request& r) {
    const std::string& file = r.sources[0];
    if (!ulvane::PathExists(file)) return UsageError("FILE does not exist: " + file);
    ulvane::ConversionJob job;
    job.probePath = file;
    const int result = ulvane::ProbeMediaFile(job);
    if (result != ulvane::kProbeOk || job.info.rangeEndMicros < 0) {
        std::fprintf(stderr, "ulvane-cli: %s cannot be used: %s (probe result %d)\n", file.c_str(),
                     ulvane::ProbeResultText(result), result);
        return 1;
    }
    std::printf("duration_us=%lld\nwidth=%d\nheight=%d\nframe_rate=%d/%d\n",
                static_cast<long long>(job.info.durationMicros), job.info.videoWidth, job.info.videoHeight,
                job.info.frameRateNum, job.info.frameRateDen);
    return 0;
}

int Grab(const ulvane::cli::Request& r) {
    const std::string& file = r.sources[0];
    if (!ulvane::PathExists(file)) return UsageError("FILE does not exist: " + file);
    ulvane::FrameGrabber grabber;
    std::string error;
    if (!grabber.Grab(file, r.atSeconds, r.outPath, error)) {
        std::fprintf(stderr, "ulvane-cli: no picture written for %s: %s\n", file.c_str(), error.c_str());
        return 1;
    }
    std::printf("%s\n", r.outPath.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string error;
    const auto request = ulvane::cli::ParseArguments(args, error);
    if (!request) return UsageError(error);
    switch (request->command) {
        case ulvane::cli::Command::Help: std::fputs(ulvane::cli::UsageText(), stdout); return 0;
        case ulvane::cli::Command::Cut: return Cut(*request);
        case ulvane::cli::Command::Join: return Join(*request);
        case ulvane::cli::Command::Probe: return Probe(*request);
        case ulvane::cli::Command::Grab: return Grab(*request);
    }
    return 2;
}
