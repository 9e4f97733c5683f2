// ulvane-cli: the command line over the conversion engine, for scripts and tests.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli_args.h"
#include "core/launch.h"
#include "core/output_naming.h"
#include "core/output_presets.h"
#include "core/time_text.h"
#include "engine/frame_grabber.h"
#include "engine/media_probe.h"
#include "engine/run_conversion.h"

namespace {

volatile std::sig_atomic_t g_interrupted = 0;
void OnInterrupt(int) {
    g_interrupted = 1;
}

// A usage error: what is wrong in one line, and where the usage is; exit status 2.
int UsageError(const std::string& what, const std::string& command = "") {
    std::fprintf(stderr, "ulvane-cli: %s (%s)\n", what.c_str(), ulvane::cli::UsageHint(command).c_str());
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

    void Show(const ulvane::ConversionJob& job) {
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

// Runs the job on a worker thread, reports progress on stderr, forwards Ctrl+C as a
// cancel, and turns the statuses into the exit status.
int RunJob(ulvane::ConversionJob& job, bool quiet) {
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
    std::thread worker([&job] { ulvane::RunConversion(job); });
    ProgressReport progress(quiet);
    for (;;) {
        const bool running = job.currentInput.load() < job.inputCount;
        if (g_interrupted) job.cancelRequested.store(true);
        progress.Show(job);
        if (!running && job.currentInput.load() >= 0) break;
        // Look often, so the command returns as soon as the job is over; print at most
        // every 100 ms.
        for (int t = 0; t < 20 && job.currentInput.load() < job.inputCount; ++t)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    worker.join();
    progress.Finish();
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
    if (job.cancelRequested.load()) std::fprintf(stderr, "ulvane-cli: stopped; the unfinished output was removed\n");
    if (!job.notice.empty()) std::fprintf(stderr, "note: %s\n", job.notice.c_str());
    // A finished output (progress 100) holds the name it got; any other file under the
    // name asked for is not this job's.
    if (job.progressPercent.load() == 100) std::printf("%s\n", job.outputPaths[0].c_str());
    return failed ? 1 : 0;
}

// A typed time in milliseconds, or nullopt with a usage error printed.
std::optional<int32_t> ReadTime(const char* flag, const std::string& text) {
    const std::optional<int64_t> us = ulvane::ParseTypedTime(text);
    if (!us || *us / 1000 > INT32_MAX) {
        UsageError(std::string(flag) + ": not a time: '" + text + "' (HH:MM:SS.fff, MM:SS or SS)", "cut");
        return std::nullopt;
    }
    return static_cast<int32_t>(*us / 1000);
}

// An --end past the end of SOURCE cuts to its end, as scripts rely on; a note says so and
// gives the file's length. A source that cannot be probed is left to the job to refuse.
void NoteAnEndPastTheFile(const std::string& source, int32_t endMs, const std::string& endText) {
    if (IsUrl(source)) return;
    ulvane::ConversionJob probe;
    probe.probePath = source;
    if (ulvane::ProbeMediaFile(probe, ulvane::ProbeDepth::Streams) != ulvane::kProbeOk) return;
    const int64_t lengthMs = probe.info.durationMicros / 1000;
    if (lengthMs <= 0 || endMs <= lengthMs) return;
    std::fprintf(stderr, "note: --end %s is past the end of %s, which lasts %s; the cut goes to its end\n",
                 endText.c_str(), source.c_str(), ulvane::FormatTime(static_cast<int32_t>(lengthMs)).c_str());
}

// A name that, with its extension, would be too long for the file names of the output folder.
int NameTooLong(const std::string& what, const std::string& folder, const std::string& command) {
    return UsageError(what + " is too long for a file name in " + folder + " (with the extension, and a (n) " +
                          "number when the name is taken); give a shorter --name",
                      command);
}

int Cut(const ulvane::cli::Request& r) {
    const std::string& source = r.sources[0];
    if (!IsFile(source) && !IsUrl(source)) return UsageError("SOURCE does not exist: " + source, "cut");
    if (!IsFolder(r.outDir)) return UsageError("--out-dir is not a folder: " + r.outDir, "cut");
    const std::optional<int32_t> start = ReadTime("--start", r.startText);
    if (!start) return 2;
    const std::optional<int32_t> end = ReadTime("--end", r.endText);
    if (!end) return 2;
    if (*end <= *start)
        return UsageError("--end (" + r.endText + ") is not after --start (" + r.startText + ")", "cut");
    const std::string name = ulvane::CleanFileName(r.name.value_or(ulvane::DefaultOutputName(source)));
    if (name.empty())
        return UsageError(r.name ? "--name leaves no usable file name: '" + *r.name + "'"
                                 : "SOURCE's name gives no output name; give one with --name",
                          "cut");
    ulvane::OutputChoice output{!r.reencode, r.rows, r.outDir, name, r.exact};
    ulvane::ConversionJob job;
    ulvane::PrepareCutJob(job);
    const ulvane::LaunchResult launch = ulvane::FillCutJob(job, {source, *start, *end, output}, ulvane::PathExists);
    if (launch.status == ulvane::LaunchStatus::NameTooLong)
        return NameTooLong(r.name ? "--name" : "SOURCE's name", r.outDir, "cut");
    if (!launch.ok())
        return UsageError("SOURCE has no extension, so a direct cut cannot tell its container; use --reencode", "cut");
    NoteAnEndPastTheFile(source, *end, r.endText);
    return RunJob(job, r.quiet);
}

// What a join needs of each file; a file that cannot be probed is left to the job, which
// fails it with its reason.
ulvane::JoinFile DescribeJoinFile(const std::string& path) {
    ulvane::ConversionJob probe;
    probe.probePath = path;
    ulvane::JoinFile f;
    f.path = path;
    // What the files' containers tell is what a direct join compares; the job itself
    // refuses what it cannot read.
    if (ulvane::ProbeMediaFile(probe, ulvane::ProbeDepth::Streams) != ulvane::kProbeOk) {
        f.described = false;
        return f;
    }
    f.type = ulvane::FileExtensionText(path);
    f.size = ulvane::SizeText(probe.info.videoWidth, probe.info.videoHeight);
    f.lengthMicros = probe.info.durationMicros;
    f.hidesLeadingPictures = probe.info.hidesLeadingPictures;
    f.videoCodec = probe.info.videoCodec;
    f.audioCodec = probe.info.audioCodec;
    f.sampleRate = probe.info.sampleRate;
    f.channels = probe.info.channels;
    f.otherTracks = probe.info.otherTracks;
    f.reorderDepth = probe.info.videoReorderDepth;
    return f;
}

const char* JoinParameterName(ulvane::JoinParameter p) {
    static constexpr const char* kNames[] = {
        "file type",   "picture size",  "video codec",          "audio codec",
        "sample rate", "channel count", "list of other tracks", "picture reordering depth (B-frames)"};
    return kNames[static_cast<size_t>(p)];
}

int Join(const ulvane::cli::Request& r) {
    if (r.sources.size() > static_cast<size_t>(ulvane::kMaxInputs))
        return UsageError("a join takes at most " + std::to_string(ulvane::kMaxInputs) + " files", "join");
    for (const std::string& s : r.sources)
        if (!IsFile(s)) return UsageError("FILE does not exist: " + s, "join");
    if (!IsFolder(r.outDir)) return UsageError("--out-dir is not a folder: " + r.outDir, "join");
    const std::string name = ulvane::CleanFileName(*r.name);
    if (name.empty()) return UsageError("--name leaves no usable file name: '" + *r.name + "'", "join");
    ulvane::JoinLaunch join{{}, {!r.reencode, r.rows, r.outDir, name, false}};
    for (const std::string& s : r.sources) join.files.push_back(DescribeJoinFile(s));
    ulvane::ConversionJob job;
    ulvane::PrepareJoinJob(job, static_cast<int>(join.files.size()));
    const ulvane::LaunchResult result = ulvane::FillJoinJob(job, join, ulvane::PathExists);
    if (result.status == ulvane::LaunchStatus::UnlikeFiles) {
        // Copied packets only join into a playable file when the files agree with the first;
        // refused before anything is created, naming the file and what differs.
        const ulvane::JoinMismatch& m = result.mismatch;
        const auto value = [](const std::string& v) { return v.empty() ? std::string("none") : v; };
        std::fprintf(stderr,
                     "ulvane-cli: %s cannot be joined directly after %s: its %s is %s, the first file's is %s\n",
                     join.files[static_cast<size_t>(m.file)].path.c_str(), join.files.front().path.c_str(),
                     JoinParameterName(m.parameter), value(m.value).c_str(), value(m.firstValue).c_str());
        std::fprintf(stderr, "join them with --reencode\n");
        return 1;
    }
    if (result.status == ulvane::LaunchStatus::HiddenLead) {
        std::fprintf(stderr,
                     "ulvane-cli: %s hides its first pictures (an edit list, as phones write when they trim), which "
                     "only the first file of a direct join can keep hidden; put it first, or join with --reencode\n",
                     join.files[static_cast<size_t>(result.input)].path.c_str());
        return 1;
    }
    if (result.status == ulvane::LaunchStatus::NameTooLong) return NameTooLong("--name", r.outDir, "join");
    if (result.status == ulvane::LaunchStatus::NoExtension)
        return UsageError("FILE has no extension, so a direct join cannot tell its container: " +
                              join.files[static_cast<size_t>(result.input)].path,
                          "join");
    return RunJob(job, r.quiet);
}

int Probe(const ulvane::cli::Request& r) {
    const std::string& file = r.sources[0];
    if (!ulvane::PathExists(file)) return UsageError("FILE does not exist: " + file, "probe");
    ulvane::ConversionJob job;
    job.probePath = file;
    const int result = ulvane::ProbeMediaFile(job);
    if (result != ulvane::kProbeOk || job.info.rangeEndMicros < 0) {
        std::fprintf(stderr, "ulvane-cli: %s cannot be used: %s\n", file.c_str(), ulvane::ProbeResultText(result));
        return 1;
    }
    std::printf("duration_us=%lld\nwidth=%d\nheight=%d\nframe_rate=%d/%d\naudio_tracks=%d\nsubtitle_tracks=%d\n",
                static_cast<long long>(job.info.durationMicros), job.info.videoWidth, job.info.videoHeight,
                job.info.frameRateNum, job.info.frameRateDen, job.info.audioTracks, job.info.subtitleTracks);
    std::printf("rotation=%d\n", job.info.rotationDegrees);
    std::printf("other_tracks=%s\n", job.info.otherTracks.c_str());
    return 0;
}

int Grab(const ulvane::cli::Request& r) {
    const std::string& file = r.sources[0];
    if (!ulvane::PathExists(file)) return UsageError("FILE does not exist: " + file, "grab");
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
    if (!request) return UsageError(error, args.empty() ? "" : args[0]);
    switch (request->command) {
        case ulvane::cli::Command::Help:
            std::fputs(ulvane::cli::UsageText(request->helpFor).c_str(), stdout);
            return 0;
        case ulvane::cli::Command::Version:
            std::printf("ulvane-cli %s\n", ULVANE_VERSION);
            return 0;
        case ulvane::cli::Command::Cut:
            return Cut(*request);
        case ulvane::cli::Command::Join:
            return Join(*request);
        case ulvane::cli::Command::Probe:
            return Probe(*request);
        case ulvane::cli::Command::Grab:
            return Grab(*request);
    }
    return 2;
}
