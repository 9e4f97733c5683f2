// Segment lists on the command line: reading a list file, the chapters of a source, and
// converting a list from one format into another.
#include "cli/segment_lists.h"

#include <cstdio>
#include <fstream>

#include "cli/job_run.h"
#include "core/output_naming.h"
#include "core/time_text.h"
#include "engine/atomic_file.h"
#include "engine/media_probe.h"

namespace ulvane::cli {

namespace {

constexpr std::streamsize kMaxListBytes = 16 << 20;

// The text of a list file of at most 16 MiB; nullopt after a usage error.
std::optional<std::string> ReadListText(const std::string& path, const std::string& flag, const std::string& command) {
    std::ifstream in(path, std::ios::binary);
    std::string text(static_cast<size_t>(kMaxListBytes) + 1, '\0');
    if (in) in.read(text.data(), kMaxListBytes + 1);
    if (!in && !in.eof()) {
        UsageError(flag + " cannot be read: " + path, command);
        return std::nullopt;
    }
    text.resize(static_cast<size_t>(in.gcount()));
    if (text.size() > static_cast<size_t>(kMaxListBytes)) {
        UsageError(flag + " is larger than 16 MiB: " + path, command);
        return std::nullopt;
    }
    return text;
}

// The format of a list file by its extension; nullopt after a usage error naming the known ones.
std::optional<SegmentFormat> ListFormat(const std::string& path, const std::string& flag, const std::string& command) {
    if (std::optional<SegmentFormat> format = SegmentFormatOf(path)) return format;
    UsageError(flag + ": the format of " + path +
                   " is not known by its extension (.csv, .edl, .txt for chapter text, .cue, .ffmeta or .ffmetadata)",
               command);
    return std::nullopt;
}

}  // namespace

std::optional<SourceFacts> ProbeSource(const std::string& path) {
    ConversionJob probe;
    probe.probePath = path;
    if (ProbeMediaFile(probe, ProbeDepth::Streams) != kProbeOk) return std::nullopt;
    SourceFacts facts;
    facts.source.lengthMicros = probe.info.durationMicros;
    if (probe.info.videoWidth > 0) {
        facts.source.frameRateNum = probe.info.frameRateNum;
        facts.source.frameRateDen = probe.info.frameRateDen;
    }
    facts.source.name = std::string(FileNamePart(path));
    facts.chapters = probe.info.chapters;
    return facts;
}

std::optional<std::vector<Segment>> ReadSegmentList(const std::string& path, const SegmentSource& source,
                                                    const std::string& flag, const std::string& command) {
    const std::optional<SegmentFormat> format = ListFormat(path, flag, command);
    if (!format) return std::nullopt;
    const std::optional<std::string> text = ReadListText(path, flag, command);
    if (!text) return std::nullopt;
    CsvResult read = ReadSegments(*format, *text, source);
    if (!read.error.empty()) {
        UsageError(flag + " " + path + ": " + read.error, command);
        return std::nullopt;
    }
    for (const std::string& note : read.notes)
        std::fprintf(stderr, "note: %s %s: %s\n", flag.c_str(), path.c_str(), note.c_str());
    return std::move(read.segments);
}

int ConvertSegments(const Request& r) {
    const std::string& in = r.sources[1];
    const std::string& out = r.sources[2];
    const std::optional<SegmentFormat> from = ListFormat(in, "IN", "segments");
    if (!from) return 2;
    const std::optional<SegmentFormat> to = ListFormat(out, "OUT", "segments");
    if (!to) return 2;
    SegmentSource source;
    if (!r.sourceFile.empty()) {
        if (!IsFile(r.sourceFile)) return UsageError("--source does not exist: " + r.sourceFile, "segments");
        const std::optional<SourceFacts> facts = ProbeSource(r.sourceFile);
        if (!facts) return UsageError("--source cannot be read as a media file: " + r.sourceFile, "segments");
        source = facts->source;
    }
    // What the two formats need of the source, named before anything is read.
    for (const std::string& missing : {MissingToRead(*from, source), MissingToWrite(*to, source)})
        if (!missing.empty())
            return UsageError(missing + " of the source is needed" +
                                  (r.sourceFile.empty() ? ": give --source FILE" : ", and --source FILE has none") +
                                  " (" +
                                  (missing == "the length" ? "chapter text and CUE sheets end at the file's end"
                                                           : "EDL timecodes count its pictures") +
                                  ")",
                              "segments");
    const std::optional<std::vector<Segment>> segments = ReadSegmentList(in, source, "IN", "segments");
    if (!segments) return 2;
    if (segments->empty()) return UsageError("IN holds no segment: " + in, "segments");
    std::string error;
    if (!WriteFileAtomically(out, WriteSegments(*to, *segments, source), error, {})) {
        std::fprintf(stderr, "ulvane-cli: %s cannot be written: %s\n", out.c_str(), error.c_str());
        return 1;
    }
    std::printf("%s\n", out.c_str());
    return 0;
}

}  // namespace ulvane::cli
