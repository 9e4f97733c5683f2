// Cut and join launches.
#include "core/launch.h"

#include <algorithm>
#include <cctype>

#include "core/output_naming.h"

namespace ulvane {

void DescribeStreams(JoinFile& f, const MediaInfo& info) {
    f.size = SizeText(info.videoWidth, info.videoHeight);
    f.videoCodec = info.videoCodec;
    f.audioCodec = info.audioCodec;
    f.reorderDepth = info.videoReorderDepth;
    f.sampleRate = info.sampleRate;
    f.channels = info.channels;
    f.otherTracks = info.otherTracks;
}

JoinFile DescribedFile(const std::string& path, const MediaInfo& info) {
    JoinFile f;
    f.path = path;
    f.type = FileExtensionText(path);
    f.lengthMicros = info.durationMicros;
    f.hidesLeadingPictures = info.hidesLeadingPictures;
    DescribeStreams(f, info);
    return f;
}

namespace {

bool InList(int row, size_t size) {
    return row >= 0 && static_cast<size_t>(row) < size;
}

// Input k of a join is `f`: the whole file, or the clip of it.
void SetClip(ConversionJob& job, size_t k, const JoinFile& f) {
    job.segmentUsed[k] = f.clipped ? 1 : 0;
    job.segmentStart[k] = f.clipped ? static_cast<double>(f.startMicros) / 1e6 : 0;
    job.segmentEnd[k] = f.clipped ? static_cast<double>(f.endMicros) / 1e6 : 0;
    job.segmentLength[k] = job.segmentEnd[k] - job.segmentStart[k];
    job.clipLabels[k] = f.label.empty() ? DefaultOutputName(f.path) : f.label;
}

// The fields the monitor and the worker start from.
void Arm(ConversionJob& job) {
    job.currentInput.store(-1);
    job.cancelRequested.store(false);
    job.progressPercent.store(0);
}

}  // namespace

ResolvedPreset ResolveOutput(Dialog d, const RowChoice& rows, const OutputParameters& current) {
    // Rows outside their lists are looked up as row 0, which every list has, and their
    // values are cleared afterwards.
    RowChoice known = rows;
    const bool format = InList(rows.format, FormatPresets().size());
    const bool quality = InList(rows.quality, VideoBitRateLabels().size());
    const bool size = InList(rows.size, SizeLabels().size());
    const bool framerate = InList(rows.framerate, FrameRateLabels(d).size());
    const bool audioquality = InList(rows.audioquality, AudioBitRateLabels(d).size());
    const bool samplerate = InList(rows.samplerate, SampleRateLabels(d).size());
    if (!format) known.format = 0;
    if (!quality) known.quality = 0;
    if (!size) known.size = 0;
    if (!framerate) known.framerate = 0;
    if (!audioquality) known.audioquality = 0;
    if (!samplerate) known.samplerate = 0;
    ResolvedPreset out = ResolveRows(d, known).value();
    OutputParameters& p = out.parameters;
    if (!format) {
        p.videoCodecId = current.videoCodecId;
        p.audioCodecId = current.audioCodecId;
        out.extension.clear();
    }
    if (!quality) p.videoBitRate = p.videoQuality = 0;
    if (!size) p.outputWidth = p.outputHeight = 0;
    if (!framerate) p.outputFrameRate = 0;
    if (!audioquality) p.audioBitRate = 0;
    if (!samplerate) p.sampleRate = 0;
    return out;
}

namespace {

// "MP4" and "mp4" name the same container.
bool SameType(const std::string& a, const std::string& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

// Whether a direct join into `type` (the first file's) can follow pictures of one reorder
// depth with another's: only H.264 and HEVC, whose parameter sets then travel in band, in a
// container that carries them so and keeps each picture's decode and display times (MP4,
// MOV, MPEG transport streams).
bool DepthMayChange(const std::string& type, const std::string& videoCodec) {
    if (videoCodec != "h264" && videoCodec != "hevc") return false;
    for (const char* t : {"mp4", "mov", "ts", "m2ts", "mts"})
        if (SameType(type, t)) return true;
    return false;
}

}  // namespace

std::optional<JoinMismatch> FirstDirectJoinMismatch(const std::vector<JoinFile>& files) {
    const JoinFile* first = nullptr;
    for (size_t k = 0; k < files.size(); ++k) {
        const JoinFile& f = files[k];
        if (!f.described) continue;
        if (!first) {
            first = &f;
            continue;
        }
        const auto differs = [&](JoinParameter p, const std::string& value, const std::string& firstValue) {
            return JoinMismatch{static_cast<int>(k), p, value, firstValue};
        };
        if (!SameType(f.type, first->type)) return differs(JoinParameter::Type, f.type, first->type);
        if (f.size != first->size) return differs(JoinParameter::PictureSize, f.size, first->size);
        if (!f.videoCodec.empty() && !first->videoCodec.empty() && f.videoCodec != first->videoCodec)
            return differs(JoinParameter::VideoCodec, f.videoCodec, first->videoCodec);
        if (!f.audioCodec.empty()) {  // else no sound to append, or nothing known of it
            if (f.audioCodec != first->audioCodec)
                return differs(JoinParameter::AudioCodec, f.audioCodec, first->audioCodec);
            if (f.sampleRate && first->sampleRate && f.sampleRate != first->sampleRate)
                return differs(JoinParameter::SampleRate, std::to_string(f.sampleRate) + " Hz",
                               std::to_string(first->sampleRate) + " Hz");
            if (f.channels && first->channels && f.channels != first->channels)
                return differs(JoinParameter::Channels, std::to_string(f.channels), std::to_string(first->channels));
        }
        if (f.otherTracks != first->otherTracks)
            return differs(JoinParameter::OtherTracks, f.otherTracks, first->otherTracks);
        if (f.reorderDepth >= 0 && first->reorderDepth >= 0 && f.reorderDepth != first->reorderDepth &&
            !DepthMayChange(first->type, first->videoCodec))
            return differs(JoinParameter::ReorderDepth, std::to_string(f.reorderDepth),
                           std::to_string(first->reorderDepth));
    }
    return std::nullopt;
}

int32_t JoinTotalSeconds(const std::vector<JoinFile>& files) {
    int32_t total = 0;
    for (const JoinFile& f : files) {
        const int64_t length = f.clipped ? f.endMicros - f.startMicros : f.lengthMicros;
        total = static_cast<int32_t>(total + static_cast<double>(length) / 1e6);
    }
    return total;
}

void PrepareCutJob(ConversionJob& job) {
    job.PrepareForJob(1);
    job.displayCount = 0;
    job.progressPercent.store(-1);
}

void PrepareJoinJob(ConversionJob& job, int inputs) {
    job.PrepareForJob(inputs);
    job.displayCount = inputs;
    job.progressPercent.store(-1);
    job.joinTotalSeconds = 0;
}

std::string DirectExtension(const OutputChoice& out, const std::string& path) {
    return out.container.empty() ? SourceExtension(path) : "." + out.container;
}

LaunchResult FillCutJob(ConversionJob& job, const CutLaunch& cut, const ExistsTest& exists) {
    const OutputChoice& out = cut.output;
    const ResolvedPreset preset = ResolveOutput(Dialog::Cut, out.rows, job);
    const std::string extension = out.direct ? DirectExtension(out, cut.source) : preset.extension;
    if (extension.empty()) return {LaunchStatus::NoExtension, 0, {}, {}};
    const std::string name = NameWithoutExtension(out.name, extension);
    if (!NameFitsFolder(out.folder, name, extension)) return {LaunchStatus::NameTooLong, 0, {}, {}};
    job.joinMode = false;
    job.reencode = !out.direct;
    job.exactCut = out.direct && out.exact;
    job.inputPaths[0] = cut.source;
    job.keepTracks[0] = cut.tracks;
    job.outputPaths[0] = FreeOutputPath(out.folder, name, extension, exists);
    job.segmentStart[0] = cut.startMs / 1000.0;
    job.segmentEnd[0] = cut.endMs / 1000.0;
    job.segmentLength[0] = job.segmentEnd[0] - job.segmentStart[0];
    static_cast<OutputParameters&>(job) = preset.parameters;
    Arm(job);
    return {};
}

LaunchResult FillJoinJob(ConversionJob& job, const JoinLaunch& join, const ExistsTest& exists) {
    const OutputChoice& out = join.output;
    for (size_t k = 0; k < join.files.size(); ++k) {
        const JoinFile& f = join.files[k];
        if (!f.clipped) continue;
        if (std::optional<SegmentProblem> p =
                CheckSegments({{f.startMicros, f.endMicros, f.label}}, f.described ? f.lengthMicros : 0, false)) {
            LaunchResult r{LaunchStatus::BadSegment, static_cast<int>(k), {}, {}};
            r.problem = {static_cast<int>(k), p->why};
            return r;
        }
    }
    if (out.direct)
        if (std::optional<JoinMismatch> m = FirstDirectJoinMismatch(join.files))
            return {LaunchStatus::UnlikeFiles, m->file, *m, {}};
    // Hidden first pictures can be kept hidden only at the start of the output.
    for (size_t k = 1; out.direct && k < join.files.size(); ++k)
        if (join.files[k].hidesLeadingPictures) return {LaunchStatus::HiddenLead, static_cast<int>(k), {}, {}};
    const ResolvedPreset preset = ResolveOutput(Dialog::Join, out.rows, job);
    // Only a direct join takes the files' own extensions.
    std::vector<std::string> extensions;
    for (const JoinFile& f : join.files) {
        extensions.push_back(out.direct ? DirectExtension(out, f.path) : preset.extension);
        if (extensions.back().empty())
            return {LaunchStatus::NoExtension, static_cast<int>(extensions.size()) - 1, {}, {}};
        if (!NameFitsFolder(out.folder, NameWithoutExtension(out.name, extensions.back()), extensions.back()))
            return {LaunchStatus::NameTooLong, static_cast<int>(extensions.size()) - 1, {}, {}};
    }
    job.joinMode = true;
    job.reencode = !out.direct;
    job.exactCut = out.direct && out.exact;
    job.clipChapters = join.chapters;
    for (size_t k = 0; k < join.files.size(); ++k) {
        const JoinFile& f = join.files[k];
        job.inputPaths[k] = f.path;
        job.keepTracks[k] = f.tracks;
        job.outputPaths[k] =
            FreeOutputPath(out.folder, NameWithoutExtension(out.name, extensions[k]), extensions[k], exists);
        SetClip(job, k, f);
    }
    job.joinTotalSeconds = JoinTotalSeconds(join.files);
    static_cast<OutputParameters&>(job) = preset.parameters;
    Arm(job);
    return {};
}

namespace {

// The clips a segments export takes of its source, in output order.
std::vector<Segment> ExportClips(const SegmentsLaunch& launch) {
    return launch.mode == ExportMode::MergeOutside ? OutsideSegments(launch.segments, launch.file.lengthMicros)
                                                   : launch.segments;
}

// The name of the separate file of segment `k`: the stem, then the label or the number.
std::string SeparateName(const std::string& stem, const Segment& s, size_t k) {
    std::string part = CleanFileName(s.label);
    if (part.empty()) part = std::to_string(k + 1);
    return stem.empty() ? part : stem + " " + part;
}

// The files of a segments export, in the order of their first clip: each the clips (indices
// into the export's clips, in list order) that go into it and the file's name. Segments
// that name an output go into the file of that name; the others follow the mode: each into
// a file of its own ("stem label"), or all into the merged file. Without any output named,
// a merge makes one file; what lies outside the segments is always one file.
struct ExportFile {
    std::string name;
    std::vector<size_t> clips;
};
std::vector<ExportFile> ExportFiles(const SegmentsLaunch& launch, const std::vector<Segment>& clips,
                                    const std::string& stem, const std::string& extension) {
    const bool grouped =
        launch.mode != ExportMode::MergeOutside &&
        std::any_of(clips.begin(), clips.end(), [](const Segment& s) { return !CleanFileName(s.output).empty(); });
    std::vector<ExportFile> files;
    std::vector<std::pair<std::string, size_t>> byName;  // a group's name, its file
    for (size_t k = 0; k < clips.size(); ++k) {
        const std::string group = grouped ? NameWithoutExtension(CleanFileName(clips[k].output), extension) : "";
        if (group.empty() && launch.mode == ExportMode::Separate) {
            files.push_back({SeparateName(stem, clips[k], k), {k}});
            continue;
        }
        // The merged file of the segments without a name is keyed by "", as no group is.
        const auto found = std::find_if(byName.begin(), byName.end(), [&](const auto& g) { return g.first == group; });
        if (found != byName.end()) {
            files[found->second].clips.push_back(k);
            continue;
        }
        byName.emplace_back(group, files.size());
        files.push_back({group.empty() ? stem : group, {k}});
    }
    return files;
}

}  // namespace

void PrepareSegmentsJob(ConversionJob& job, const SegmentsLaunch& launch) {
    PrepareJoinJob(job, static_cast<int>(std::min<size_t>(ExportClips(launch).size(), kMaxInputs)));
}

LaunchResult FillSegmentsJob(ConversionJob& job, const SegmentsLaunch& launch, const ExistsTest& exists,
                             std::vector<size_t>* order) {
    const OutputChoice& out = launch.output;
    if (launch.segments.empty()) return {LaunchStatus::NoSegments, -1, {}, {}};
    const bool outside = launch.mode == ExportMode::MergeOutside;
    if (std::optional<SegmentProblem> p = CheckSegments(launch.segments, launch.file.lengthMicros, outside)) {
        LaunchResult r{LaunchStatus::BadSegment, p->index, {}, {}};
        r.problem = *p;
        return r;
    }
    const std::vector<Segment> clips = ExportClips(launch);
    if (clips.empty()) return {LaunchStatus::NoSegments, -1, {}, {}};
    if (clips.size() > static_cast<size_t>(kMaxInputs)) {
        LaunchResult r{LaunchStatus::BadSegment, kMaxInputs, {}, {}};
        r.problem = {kMaxInputs, "more than " + std::to_string(kMaxInputs) + " segments in one export"};
        return r;
    }
    const ResolvedPreset preset = ResolveOutput(Dialog::Cut, out.rows, job);
    const std::string extension = out.direct ? DirectExtension(out, launch.file.path) : preset.extension;
    if (extension.empty()) return {LaunchStatus::NoExtension, 0, {}, {}};
    const std::string stem = NameWithoutExtension(out.name, extension);
    const std::vector<ExportFile> files = ExportFiles(launch, clips, stem, extension);
    for (const ExportFile& file : files)
        if (!NameFitsFolder(out.folder, file.name, extension))
            return {LaunchStatus::NameTooLong, static_cast<int>(file.clips.front()), {}, {}};
    if (job.inputCount != static_cast<int>(clips.size())) PrepareSegmentsJob(job, launch);
    job.joinMode = true;
    job.reencode = !out.direct;
    job.exactCut = out.direct && out.exact;
    // One file, or files of their own: a file's clips are inputs next to each other.
    job.separateOutputs = launch.mode == ExportMode::Separate || files.size() > 1;
    job.sharesOutput.assign(clips.size(), 0);
    // A chapter per clip in each file of several (the engine leaves a file of one clip alone).
    job.clipChapters = launch.chapters && (launch.mode != ExportMode::Separate || files.size() < clips.size());
    // Two separate files never get one name, though neither exists yet.
    std::vector<std::string> taken;
    const ExistsTest existsOrTaken = [&](const std::string& path) {
        return std::find(taken.begin(), taken.end(), path) != taken.end() || exists(path);
    };
    int64_t total = 0;
    size_t input = 0;
    for (const ExportFile& file : files) {
        const std::string path = FreeOutputPath(out.folder, file.name, extension, existsOrTaken);
        taken.push_back(path);
        for (size_t k : file.clips) {
            JoinFile f = launch.file;
            f.clipped = true;
            f.startMicros = clips[k].startMicros;
            f.endMicros = clips[k].endMicros;
            f.label = clips[k].label.empty() && !outside ? "Segment " + std::to_string(k + 1) : clips[k].label;
            job.inputPaths[input] = f.path;
            job.keepTracks[input] = f.tracks;
            job.outputPaths[input] = path;
            job.sharesOutput[input] = k != file.clips.front() ? 1 : 0;
            SetClip(job, input, f);
            if (order) order->push_back(k);
            total += clips[k].lengthMicros();
            ++input;
        }
    }
    job.joinTotalSeconds = static_cast<int32_t>(std::min<int64_t>(total / 1000000, INT32_MAX));
    static_cast<OutputParameters&>(job) = preset.parameters;
    Arm(job);
    return {};
}

}  // namespace ulvane
