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
#include "engine/media_input.h"
#include "engine/run_conversion.h"
#include "settings/output_naming.h"
#include "settings/output_presets.h"
#include "ui/time_text.h"

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

void FillOutputParameters(ulvane::ConversionJob& job, const ulvane::OutputParameters& p) {
    job.videoCodecId = p.videoCodecId;
    job.audioCodecId = p.audioCodecId;
    job.videoBitRate = p.videoBitRate;
    job.outputWidth = p.width;
    job.outputHeight = p.height;
    job.outputFrameRate = p.frameRate;
    job.audioBitRate = p.audioBitRate;
    job.sampleRate = p.sampleRate;
    job.channels = p.channels;
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
    const auto params = ulvane::ResolveRows(ulvane::Dialog::Cut, r.rows);
    const std::string extension = r.reencode ? params->extension : ulvane::SourceExtension(source);
    if (extension.empty())
        return UsageError("SOURCE has no extension, so a direct cut cannot tell its container; use --reencode");
    const std::string name = ulvane::CleanFileName(r.name.value_or(ulvane::DefaultOutputName(source)));

    ulvane::ConversionJob job;
    job.PrepareForJob(1);
    job.joinMode = false;
    job.reencode = r.reencode;
    job.displayCount = 0;
    job.inputPaths[0] = source;
    job.outputPaths[0] = ulvane::FreeOutputPath(r.outDir, name, extension, ulvane::PathExists);
    job.segmentStart[0] = start / 1000.0;
    job.segmentEnd[0] = end / 1000.0;
    job.segmentLength[0] = job.segmentEnd[0] - job.segmentStart[0];
    FillOutputParameters(job, *params);
    return RunJob(job);
}

int Join(const ulvane::cli::Request& r) {
    if (r.sources.size() > static_cast<size_t>(ulvane::kMaxInputs))
        return UsageError("a join takes at most " + std::to_string(ulvane::kMaxInputs) + " files");
    for (const std::string& s : r.sources)
        if (!IsFile(s)) return UsageError("FILE does not exist: " + s);
    if (!IsFolder(r.outDir)) return UsageError("--out-dir is not a folder: " + r.outDir);
    const auto params = ulvane::ResolveRows(ulvane::Dialog::Join, r.rows);
    const std::string name = ulvane::CleanFileName(*r.name);

    ulvane::ConversionJob job;
    const int n = static_cast<int>(r.sources.size());
    job.PrepareForJob(n);
    job.joinMode = true;
    job.reencode = r.reencode;
    job.displayCount = n;
    double total = 0;
    for (int k = 0; k < n; ++k) {
        const std::string& s = r.sources[static_cast<size_t>(k)];
        const std::string extension = r.reencode ? params->extension : ulvane::SourceExtension(s);
        if (extension.empty())
            return UsageError("FILE has no extension, so a direct join cannot tell its container: " + s);
        job.inputPaths[k] = s;
        job.outputPaths[k] = ulvane::FreeOutputPath(r.outDir, name, extension, ulvane::PathExists);
        std::string ignored;
        if (auto in = ulvane::MediaInput::Open(s, ignored)) total = static_cast<int>(total + in->durationMicros() / 1e6);
    }
    job.joinTotalSeconds = static_cast<int32_t>(total);
    FillOutputParameters(job, *params);
    return RunJob(job);
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
    }
    return 2;
}
