// What the commands that run a job share: usage errors, files and folders, the job's run
// with its progress and outcome, and what a file is for a join.
#include "cli/job_run.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "cli/cli_args.h"
#include "core/job_outcome.h"
#include "core/output_naming.h"
#include "core/time_text.h"
#include "engine/media_probe.h"
#include "engine/run_conversion.h"

namespace ulvane::cli {

namespace {

volatile std::sig_atomic_t g_interrupted = 0;
void OnInterrupt(int) {
    g_interrupted = 1;
}

// "1:05" for 65 s, "1:02:05" from an hour on.
std::string Clock(double seconds) {
    const long long t = static_cast<long long>(seconds < 0 ? 0 : seconds);
    char buf[32];
    if (t >= 3600)
        std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld", t / 3600, t / 60 % 60, t % 60);
    else
        std::snprintf(buf, sizeof buf, "%lld:%02lld", t / 60, t % 60);
    return buf;
}

// Progress on standard error: on a terminal one line rewritten in place, with the time
// spent and an estimate of the time left; otherwise plain lines a script can read.
class ProgressReport {
public:
    explicit ProgressReport(bool quiet) : quiet_(quiet), terminal_(::isatty(STDERR_FILENO) == 1) {}

    void Show(const ConversionJob& job) {
        if (quiet_) return;
        const int input = job.currentInput.load();
        const int percent = job.progressPercent.load();
        if (!terminal_) {
            if (input != shownInput_ && input >= 0 && input < job.inputCount && job.inputCount > 1)
                std::fprintf(stderr, "input %d of %d: %s\n", input + 1, job.inputCount,
                             job.inputPaths[static_cast<size_t>(input)].c_str());
            if (percent != shownPercent_) std::fprintf(stderr, "progress %d%%\n", percent);
        } else {
            const double spent = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin_).count();
            std::string line = "\r";
            if (job.inputCount > 1 && input >= 0 && input < job.inputCount)
                line += "file " + std::to_string(input + 1) + " of " + std::to_string(job.inputCount) + "  ";
            line += std::to_string(std::max(percent, 0)) + "%  " + Clock(spent) + " spent";
            if (percent > 0 && percent < 100) line += ", about " + Clock(spent * (100 - percent) / percent) + " left";
            line += "   ";
            std::fputs(line.c_str(), stderr);
            drawn_ = true;
        }
        shownInput_ = input;
        shownPercent_ = percent;
    }
    // Ends the rewritten line, so what follows starts on a line of its own.
    void Finish() {
        if (drawn_) std::fputs("\n", stderr);
        drawn_ = false;
    }

private:
    bool quiet_, terminal_;
    bool drawn_ = false;
    int shownPercent_ = -1, shownInput_ = -2;
    std::chrono::steady_clock::time_point begin_ = std::chrono::steady_clock::now();
};

}  // namespace

// A usage error: what is wrong in one line, and where the usage is; exit status 2.
int UsageError(const std::string& what, const std::string& command) {
    std::fprintf(stderr, "ulvane-cli: %s (%s)\n", what.c_str(), UsageHint(command).c_str());
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

// A source given as a URL ("http://host/a.ts") is left to the engine to open.
bool IsUrl(const std::string& path) {
    const size_t at = path.find("://");
    return at != std::string::npos && at > 0 &&
           std::all_of(path.begin(), path.begin() + static_cast<std::ptrdiff_t>(at), [](char c) {
               return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
           });
}

// Runs the job on a worker thread, reports progress on stderr, forwards Ctrl+C as a
// cancel, and turns the statuses into the exit status.
int RunJob(ConversionJob& job, bool quiet) {
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
    // Over once RunConversion returns: a job stopped in its input i leaves currentInput at i + 1,
    // short of inputCount, so that count cannot tell.
    std::atomic<bool> over{false};
    std::thread worker([&job, &over] {
        RunConversion(job);
        over.store(true);
    });
    ProgressReport progress(quiet);
    for (;;) {
        const bool running = !over.load();
        if (g_interrupted) job.cancelRequested.store(true);
        progress.Show(job);
        if (!running) break;
        // Look often, so the command returns as soon as the job is over; print at most
        // every 100 ms.
        for (int t = 0; t < 20 && !over.load(); ++t) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    worker.join();
    progress.Finish();
    const JobOutcome outcome = RecordOutcome(job);
    for (int i : outcome.failedInputs) {
        const std::string& why = job.inputError[static_cast<size_t>(i)];
        std::fprintf(stderr, "failed: %s: %s\n", job.inputPaths[static_cast<size_t>(i)].c_str(),
                     why.empty() ? "unknown reason" : why.c_str());
    }
    for (int i : outcome.unfinishedInputs)
        std::fprintf(stderr, "not done (cancelled): %s\n", job.inputPaths[static_cast<size_t>(i)].c_str());
    if (job.cancelRequested.load()) std::fprintf(stderr, "ulvane-cli: stopped; the unfinished output was removed\n");
    if (!job.notice.empty()) std::fprintf(stderr, "note: %s\n", job.notice.c_str());
    for (const std::string& made : outcome.made) std::printf("%s\n", made.c_str());
    return outcome.succeeded() ? 0 : 1;
}

std::optional<int> SkipWhenMade(const ConversionJob& intended) {
    const int outputs = intended.separateOutputs ? intended.inputCount : 1;
    if (outputs <= 0 || static_cast<size_t>(outputs) > intended.outputPaths.size()) return std::nullopt;
    for (int i = 0; i < outputs; ++i)
        if (!IsFile(intended.outputPaths[static_cast<size_t>(i)])) return std::nullopt;
    for (int i = 0; i < outputs; ++i) {
        // The clips of a group share their file's name: it is named once.
        const std::string& path = intended.outputPaths[static_cast<size_t>(i)];
        if (i > 0 && path == intended.outputPaths[static_cast<size_t>(i) - 1]) continue;
        std::fprintf(stderr, "note: made before, skipped: %s\n", path.c_str());
        std::printf("%s\n", path.c_str());
    }
    return 0;
}

ExistsTest OnlySources(std::vector<std::string> sources) {
    return [sources = std::move(sources)](const std::string& path) {
        return std::any_of(sources.begin(), sources.end(), [&](const std::string& source) {
            std::error_code error;
            return std::filesystem::equivalent(source, path, error);
        });
    };
}

std::optional<int32_t> ReadTime(const std::string& flag, const std::string& text, const std::string& command) {
    const std::optional<int64_t> us = ParseTypedTime(text);
    if (!us || *us / 1000 > INT32_MAX) {
        UsageError(flag + ": not a time: '" + text + "' (HH:MM:SS.fff, MM:SS or SS)", command);
        return std::nullopt;
    }
    return static_cast<int32_t>(*us / 1000);
}

namespace {

// A note on standard error when the file is cut short (a download stopped): its header says
// it lasts longer than its pictures and sound do.
void NoteACutShortFile(const std::string& source, const MediaInfo& info) {
    if (info.statedDurationMicros <= info.durationMicros) return;
    std::fprintf(stderr, "note: %s is cut short: its header says it lasts %s, but its pictures and sound end at %s\n",
                 source.c_str(), FormatTime(static_cast<int32_t>(info.statedDurationMicros / 1000)).c_str(),
                 FormatTime(static_cast<int32_t>(info.durationMicros / 1000)).c_str());
}

}  // namespace

// A --start at or past the end of SOURCE (where its pictures and sound really end, for a file
// cut short) is a usage error; an --end past it cuts to its end, as scripts rely on, and a
// note says so and gives the file's length. A source that cannot be probed is left to the job.
std::optional<int> CheckCutAgainstTheFile(const std::string& source, int32_t startMs, int32_t endMs,
                                          const std::string& endText) {
    if (IsUrl(source)) return std::nullopt;
    ConversionJob probe;
    probe.probePath = source;
    if (ProbeMediaFile(probe, ProbeDepth::Streams) != kProbeOk) return std::nullopt;
    NoteACutShortFile(source, probe.info);
    const int64_t lengthMs = probe.info.durationMicros / 1000;
    if (lengthMs <= 0) return std::nullopt;
    const std::string length = FormatTime(static_cast<int32_t>(lengthMs));
    if (startMs >= lengthMs)
        return UsageError("--start " + FormatTime(startMs) + " is at or past the end of SOURCE, which lasts " + length,
                          "cut");
    if (endMs > lengthMs)
        std::fprintf(stderr, "note: --end %s is past the end of %s, which lasts %s; the cut goes to its end\n",
                     endText.c_str(), source.c_str(), length.c_str());
    return std::nullopt;
}

// A name that, with its extension, would be too long for the file names of the output folder.
int NameTooLong(const std::string& what, const std::string& folder, const std::string& command) {
    return UsageError(what + " is too long for a file name in " + folder + " (with the extension, and a (n) " +
                          "number when the name is taken); give a shorter --name",
                      command);
}

JoinFile DescribeJoinFile(const std::string& path, const std::string& tracks) {
    ConversionJob probe;
    probe.probePath = path;
    probe.probeTracks = tracks;
    // What the files' containers tell is what a direct join compares; the job itself
    // refuses what it cannot read.
    if (ProbeMediaFile(probe, ProbeDepth::Streams) != kProbeOk) {
        JoinFile f;
        f.path = path;
        f.described = false;
        return f;
    }
    NoteACutShortFile(path, probe.info);
    JoinFile f = DescribedFile(path, probe.info);
    f.tracks = tracks;
    return f;
}

const char* JoinParameterName(JoinParameter p) {
    static constexpr const char* kNames[] = {
        "file type",   "picture size",  "video codec",          "audio codec",
        "sample rate", "channel count", "list of other tracks", "picture reordering depth (B-frames)"};
    return kNames[static_cast<size_t>(p)];
}
}  // namespace ulvane::cli
