// ulvane-cli: the command line over the conversion engine, for scripts and tests.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli_args.h"
#include "cli/commands.h"
#include "cli/job_run.h"
#include "cli/segment_lists.h"
#include "core/output_naming.h"
#include "engine/frame_grabber.h"
#include "engine/media_probe.h"
#include "engine/track_choice.h"

namespace {

using ulvane::cli::UsageError;

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
    if (job.info.statedDurationMicros > job.info.durationMicros)
        std::printf("stated_duration_us=%lld\n", static_cast<long long>(job.info.statedDurationMicros));
    // A line a track, numbered as --tracks takes them: track=ID CODEC [WxH | Nch] [lang=L] [default] [title=T]
    std::string error;
    for (const ulvane::FileTrack& t : ulvane::ListTracks(file, error)) {
        std::string line = "track=" + t.id + " " + t.codec;
        if (t.width > 0) line += " " + std::to_string(t.width) + "x" + std::to_string(t.height);
        if (t.channels > 0) line += " " + std::to_string(t.channels) + "ch";
        if (!t.language.empty()) line += " lang=" + t.language;
        if (t.isDefault) line += " default";
        if (!t.title.empty()) line += " title=" + t.title;
        std::printf("%s\n", line.c_str());
    }
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
            return ulvane::cli::Cut(*request);
        case ulvane::cli::Command::Join:
            return ulvane::cli::Join(*request);
        case ulvane::cli::Command::Probe:
            return Probe(*request);
        case ulvane::cli::Command::Grab:
            return Grab(*request);
        case ulvane::cli::Command::Detect:
            return ulvane::cli::Detect(*request);
        case ulvane::cli::Command::Batch:
            return ulvane::cli::Batch(*request);
        case ulvane::cli::Command::Assemble:
            return ulvane::cli::Assemble(*request);
        case ulvane::cli::Command::Segments:
            return ulvane::cli::ConvertSegments(*request);
    }
    return 2;
}
