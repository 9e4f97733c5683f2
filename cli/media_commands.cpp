// The cut and join commands: one segment, several of one source, whole files and clips.
#include <algorithm>
#include <cstdio>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/job_run.h"
#include "cli/segment_lists.h"
#include "core/job_words.h"
#include "core/launch.h"
#include "core/output_naming.h"
#include "core/segments.h"
#include "core/time_text.h"
#include "engine/container_fit.h"
#include "engine/track_choice.h"

namespace ulvane::cli {

namespace {

// One side of a part: empty is `otherwise` (the file's start or end); nullopt when not a time.
std::optional<int64_t> ReadSide(const std::string& text, int64_t otherwise) {
    if (text.empty()) return otherwise;
    return ParseTypedTime(text);
}

std::string Time(int64_t micros) {
    return FormatTime(static_cast<int32_t>(std::min<int64_t>(micros / 1000, INT32_MAX)));
}

// A part typed for `file` as a segment, or why it is none. An open end needs the file's length.
std::optional<std::string> ReadPart(const PartText& p, const JoinFile& file, const char* startFlag, const char* endFlag,
                                    Segment& segment) {
    const std::optional<int64_t> start = ReadSide(p.start, 0);
    if (!start) return std::string(startFlag) + ": not a time: '" + p.start + "' (HH:MM:SS.fff, MM:SS or SS)";
    const int64_t length = file.described ? file.lengthMicros : 0;
    if (p.end.empty() && length <= 0) return std::string("its length is unknown, so give ") + endFlag;
    const std::optional<int64_t> end = ReadSide(p.end, length);
    if (!end) return std::string(endFlag) + ": not a time: '" + p.end + "' (HH:MM:SS.fff, MM:SS or SS)";
    segment = {*start, *end, p.label};
    return std::nullopt;
}

// A join FILE's --from and --to, made a clip of it; why not, when they cannot be.
std::optional<std::string> ReadClip(const PartText& p, JoinFile& file) {
    Segment s;
    if (std::optional<std::string> bad = ReadPart(p, file, "--from", "--to", s)) return bad;
    if (s.endMicros <= s.startMicros)
        return "--to (" + Time(s.endMicros) + ") is not after --from (" + Time(s.startMicros) + ")";
    if (file.described && file.lengthMicros > 0 && s.startMicros >= file.lengthMicros)
        return "--from (" + Time(s.startMicros) + ") is past its end; it lasts " + Time(file.lengthMicros);
    file.clipped = true;
    file.startMicros = s.startMicros;
    file.endMicros = s.endMicros;
    return std::nullopt;
}

// The segments of a cut: each --segment, then those of the --segments list, then with
// --chapters-as-segments the source's chapters; a usage error on failure.
std::optional<std::vector<Segment>> ReadSegments(const Request& r, const JoinFile& file) {
    std::vector<Segment> segments;
    for (size_t k = 0; k < r.segments.size(); ++k) {
        Segment s;
        if (std::optional<std::string> bad = ReadPart(r.segments[k], file, "--segment", "--segment's end", s)) {
            UsageError("--segment " + std::to_string(k + 1) + ": " + *bad, "cut");
            return std::nullopt;
        }
        s.output = r.segments[k].output;
        segments.push_back(s);
    }
    if (r.segmentsFile.empty() && !r.chaptersAsSegments) return segments;
    // A list in another format may need the source's frame rate; chapters come from it.
    SourceFacts facts = ProbeSource(r.sources[0]).value_or(SourceFacts{});
    facts.source.lengthMicros = file.described ? file.lengthMicros : 0;
    if (!r.segmentsFile.empty()) {
        const std::optional<std::vector<Segment>> listed =
            ReadSegmentList(r.segmentsFile, facts.source, "--segments", "cut");
        if (!listed) return std::nullopt;
        segments.insert(segments.end(), listed->begin(), listed->end());
    }
    if (r.chaptersAsSegments) {
        const std::vector<Segment> chapters = ChapterSegments(facts.chapters);
        if (chapters.empty()) {
            UsageError("--chapters-as-segments: SOURCE has no chapters", "cut");
            return std::nullopt;
        }
        segments.insert(segments.end(), chapters.begin(), chapters.end());
    }
    return segments;
}

// A direct job into another container than its sources': refused (usage error, returned) when
// no such container is written or a main track cannot go into it; else each track it cannot
// keep as it is is named on standard error before the job starts. nullopt: go on.
std::optional<int> CheckContainer(const Request& r, const std::vector<std::string>& sources,
                                  const std::vector<std::string>& tracks, const std::string& command) {
    if (r.container.empty()) return std::nullopt;
    if (!WritesContainer(r.container))
        return UsageError("--container: no container is written as '." + r.container + "'", command);
    std::vector<std::string> seen;
    for (size_t k = 0; k < sources.size(); ++k) {
        const std::string& source = sources[k];
        const std::string seenAs = source + "\n" + tracks[k];
        if (std::find(seen.begin(), seen.end(), seenAs) != seen.end()) continue;
        seen.push_back(seenAs);
        const ContainerFit fit = FitContainer(source, r.container, tracks[k]);
        if (!fit.opened) continue;  // the job says why it cannot be read
        if (!fit.refused.empty())
            return UsageError(source + ": its " + fit.refused + " cannot go into ." + r.container +
                                  " without re-encoding; use --reencode or another --container",
                              command);
        for (const std::string& change : fit.changes)
            std::fprintf(stderr, "note: %s: %s\n", source.c_str(), change.c_str());
    }
    return std::nullopt;
}

// A direct --rotate into a container that keeps no display rotation is a usage error,
// returned; nullopt: go on.
std::optional<int> CheckRotation(const Request& r, const OutputChoice& out, const std::string& source,
                                 const std::string& command) {
    if (r.rotate == 0 || r.reencode) return std::nullopt;
    const std::string extension = DirectExtension(out, source);
    if (StoresRotation(extension.empty() ? "" : extension.substr(1))) return std::nullopt;
    return UsageError(
        "--rotate: a " + (extension.empty() ? std::string("file without an extension") : extension + " file") +
            " keeps no display rotation, so a direct job cannot turn it; use --reencode or --container mp4",
        command);
}

// A --tracks list that chooses no tracks of `source` is a usage error, returned; nullopt: go on.
std::optional<int> CheckTracks(const std::string& source, const std::string& list, const std::string& command) {
    if (list.empty()) return std::nullopt;
    const std::string why = CheckTrackList(source, list);
    if (why.empty()) return std::nullopt;
    return UsageError("--tracks " + list + ": " + source + ": " + why, command);
}

// A cut of several segments of one source: one file each, or merged, or what lies outside them.
int CutSegments(const Request& r) {
    const std::string& source = r.sources[0];
    if (!IsFile(source)) return UsageError("SOURCE does not exist: " + source, "cut");
    if (!IsFolder(r.outDir)) return UsageError("--out-dir is not a folder: " + r.outDir, "cut");
    if (std::optional<int> refused = CheckTracks(source, r.tracks, "cut")) return *refused;
    JoinFile file = DescribeJoinFile(source, r.tracks);
    const std::optional<std::vector<Segment>> segments = ReadSegments(r, file);
    if (!segments) return 2;
    if (segments->empty()) return UsageError("--segments holds no segment: " + r.segmentsFile, "cut");
    const ExportMode mode = r.mode.value_or(ExportMode::Separate);
    if (r.chapters && mode == ExportMode::Separate &&
        std::none_of(segments->begin(), segments->end(), [](const Segment& s) { return !s.output.empty(); }))
        return UsageError(
            "--chapters is for one merged file: add --merge or --merge-outside, or send segments "
            "into one file with --into",
            "cut");
    const std::string name = CleanFileName(r.name.value_or(DefaultOutputName(source)));
    if (name.empty())
        return UsageError(r.name ? "--name leaves no usable file name: '" + *r.name + "'"
                                 : "SOURCE's name gives no output name; give one with --name",
                          "cut");
    if (std::optional<int> refused = CheckContainer(r, {source}, {r.tracks}, "cut")) return *refused;
    SegmentsLaunch launch{file, *segments, mode, r.chapters,
                          OutputChoice{!r.reencode, r.rows, r.outDir, name, r.exact, r.container}};
    if (std::optional<int> refused = CheckRotation(r, launch.output, source, "cut")) return *refused;
    ConversionJob job;
    PrepareSegmentsJob(job, launch);
    const LaunchResult result = FillSegmentsJob(job, launch, PathExists);
    job.rotateDegrees = r.rotate;
    switch (result.status) {
        case LaunchStatus::Ready:
            if (r.skipDone) {
                ConversionJob intended;
                PrepareSegmentsJob(intended, launch);
                FillSegmentsJob(intended, launch, OnlySources({source}));
                if (std::optional<int> done = SkipWhenMade(intended)) return *done;
            }
            return RunJob(job, r.quiet);
        case LaunchStatus::BadSegment:
            return UsageError(result.problem.why, "cut");
        case LaunchStatus::NoSegments:
            return UsageError("the segments cover all of SOURCE: nothing lies outside them", "cut");
        case LaunchStatus::NameTooLong:
            return NameTooLong(r.name ? "--name" : "SOURCE's name", r.outDir, "cut");
        default:
            return UsageError("SOURCE has no extension, so a direct cut cannot tell its container; use --reencode",
                              "cut");
    }
}

}  // namespace

int Cut(const Request& r) {
    const std::string& source = r.sources[0];
    if (!r.segments.empty() || !r.segmentsFile.empty() || r.chaptersAsSegments) return CutSegments(r);
    if (!IsFile(source) && !IsUrl(source)) return UsageError("SOURCE does not exist: " + source, "cut");
    if (!IsFolder(r.outDir)) return UsageError("--out-dir is not a folder: " + r.outDir, "cut");
    const std::optional<int32_t> start = ReadTime("--start", r.startText, "cut");
    if (!start) return 2;
    const std::optional<int32_t> end = ReadTime("--end", r.endText, "cut");
    if (!end) return 2;
    if (*end <= *start)
        return UsageError("--end (" + r.endText + ") is not after --start (" + r.startText + ")", "cut");
    const std::string name = CleanFileName(r.name.value_or(DefaultOutputName(source)));
    if (name.empty())
        return UsageError(r.name ? "--name leaves no usable file name: '" + *r.name + "'"
                                 : "SOURCE's name gives no output name; give one with --name",
                          "cut");
    if (std::optional<int> refused = CheckContainer(r, {source}, {r.tracks}, "cut")) return *refused;
    OutputChoice output{!r.reencode, r.rows, r.outDir, name, r.exact, r.container};
    ConversionJob job;
    PrepareCutJob(job);
    if (std::optional<int> refused = CheckTracks(source, r.tracks, "cut")) return *refused;
    if (std::optional<int> refused = CheckRotation(r, output, source, "cut")) return *refused;
    const CutLaunch cut{source, *start, *end, output, r.tracks};
    const LaunchResult launch = FillCutJob(job, cut, PathExists);
    job.rotateDegrees = r.rotate;
    if (launch.status == LaunchStatus::NameTooLong)
        return NameTooLong(r.name ? "--name" : "SOURCE's name", r.outDir, "cut");
    if (!launch.ok())
        return UsageError("SOURCE has no extension, so a direct cut cannot tell its container; use --reencode", "cut");
    if (std::optional<int> refused = CheckCutAgainstTheFile(source, *start, *end, r.endText)) return *refused;
    // A plan's job skips by its part's own file.
    if (r.skipDone && r.chunk.empty()) {
        ConversionJob intended;
        PrepareCutJob(intended);
        FillCutJob(intended, cut, OnlySources({source}));
        if (std::optional<int> done = SkipWhenMade(intended)) return *done;
    }
    if (InParts(r)) return RunInParts(job, r, CutJobWords(cut, r.rotate));
    return RunJob(job, r.quiet);
}

// What a join needs of each file; a file that cannot be probed is left to the job, which
// fails it with its reason.
int Join(const Request& r) {
    if (r.sources.size() > static_cast<size_t>(kMaxJoinFiles))
        return UsageError("a join takes at most " + std::to_string(kMaxJoinFiles) + " files", "join");
    for (const std::string& s : r.sources)
        if (!IsFile(s)) return UsageError("FILE does not exist: " + s, "join");
    if (!IsFolder(r.outDir)) return UsageError("--out-dir is not a folder: " + r.outDir, "join");
    const std::string name = CleanFileName(*r.name);
    if (name.empty()) return UsageError("--name leaves no usable file name: '" + *r.name + "'", "join");
    if (std::optional<int> refused = CheckContainer(r, r.sources, r.fileTracks, "join")) return *refused;
    JoinLaunch join{{}, {!r.reencode, r.rows, r.outDir, name, false, r.container}};
    for (size_t k = 0; k < r.sources.size(); ++k) {
        if (std::optional<int> refused = CheckTracks(r.sources[k], r.fileTracks[k], "join")) return *refused;
        // A direct join compares the tracks it keeps of each file.
        join.files.push_back(DescribeJoinFile(r.sources[k], r.fileTracks[k]));
        if (!r.clips[k].given()) continue;
        if (const std::optional<std::string> bad = ReadClip(r.clips[k], join.files.back()))
            return UsageError(r.sources[k] + ": " + *bad, "join");
    }
    join.output.exact = r.exact;
    if (std::optional<int> refused = CheckRotation(r, join.output, r.sources[0], "join")) return *refused;
    join.chapters = r.chapters;
    ConversionJob job;
    PrepareJoinJob(job, static_cast<int>(join.files.size()));
    const LaunchResult result = FillJoinJob(job, join, PathExists);
    job.rotateDegrees = r.rotate;
    if (result.status == LaunchStatus::UnlikeFiles) {
        // Copied packets only join into a playable file when the files agree with the first;
        // refused before anything is created, naming the file and what differs.
        const JoinMismatch& m = result.mismatch;
        const auto value = [](const std::string& v) { return v.empty() ? std::string("none") : v; };
        std::fprintf(stderr,
                     "ulvane-cli: %s cannot be joined directly after %s: its %s is %s, the first file's is %s\n",
                     join.files[static_cast<size_t>(m.file)].path.c_str(), join.files.front().path.c_str(),
                     JoinParameterName(m.parameter), value(m.value).c_str(), value(m.firstValue).c_str());
        std::fprintf(stderr, "join them with --reencode\n");
        return 1;
    }
    if (result.status == LaunchStatus::HiddenLead) {
        std::fprintf(stderr,
                     "ulvane-cli: %s hides its first pictures (an edit list, as phones write when they trim), which "
                     "only the first file of a direct join can keep hidden; put it first, or join with --reencode\n",
                     join.files[static_cast<size_t>(result.input)].path.c_str());
        return 1;
    }
    if (result.status == LaunchStatus::NameTooLong) return NameTooLong("--name", r.outDir, "join");
    if (result.status == LaunchStatus::BadSegment)
        return UsageError(join.files[static_cast<size_t>(result.input)].path + ": " + result.problem.why, "join");
    if (result.status == LaunchStatus::NoExtension)
        return UsageError("FILE has no extension, so a direct join cannot tell its container: " +
                              join.files[static_cast<size_t>(result.input)].path,
                          "join");
    if (r.skipDone && r.chunk.empty()) {
        ConversionJob intended;
        PrepareJoinJob(intended, static_cast<int>(join.files.size()));
        FillJoinJob(intended, join, OnlySources(r.sources));
        if (std::optional<int> done = SkipWhenMade(intended)) return *done;
    }
    if (InParts(r)) return RunInParts(job, r, JoinJobWords(join, r.rotate));
    return RunJob(job, r.quiet);
}

}  // namespace ulvane::cli
