// The launch of a cut or join job, shared by the window and ulvane-cli: from the chosen
// output rows and files to the job record's fields, ready for RunConversion.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/output_presets.h"
#include "core/segments.h"
#include "engine/conversion_job.h"

namespace ulvane {

// What a settings dialog or the command line chose for a job's output.
struct OutputChoice {
    bool direct = true;  // packets copied; the rows are then not used by the job
    RowChoice rows;
    std::string folder;
    std::string name;    // the output file's name, without extension, already cleaned
    bool exact = false;  // a direct cut that starts on the very picture at its start
    // The container a direct job writes, by its extension ("mp4"); "" keeps the source's.
    std::string container;
};

// The extension of a direct job's output for the source at `path`: the chosen container's,
// else the source's own ("" when it has none).
std::string DirectExtension(const OutputChoice& out, const std::string& path);

// The output parameters and container extension `rows` stand for in the lists of `d`.
// A row outside its list (a list left without a selection) gives 0 for its value; a
// format row outside its list keeps the codec ids of `current` and has no extension.
ResolvedPreset ResolveOutput(Dialog d, const RowChoice& rows, const OutputParameters& current);

// One file of a join, as the source list shows it.
struct JoinFile {
    std::string path;
    bool described = true;  // false: the file could not be probed; it is left to the job
    std::string type;       // FileExtensionText of the path
    std::string size;       // SizeText of the picture
    int64_t lengthMicros = 0;
    bool hidesLeadingPictures = false;  // its container hides its first pictures (an edit list)
    // Codec names ("" when unknown or without such a stream) and the sound's shape (0 unknown).
    std::string videoCodec;
    std::string audioCodec;
    int reorderDepth = -1;  // pictures its video's decoder holds back (B-frames); -1 unknown
    int sampleRate = 0;
    int channels = 0;
    // The codecs of its other sound and subtitle tracks in order ("ac3, subrip"; "" none).
    std::string otherTracks;
    // A clip: only [startMicros, endMicros) of the file is taken (source timeline); a whole
    // file when not set.
    bool clipped = false;
    int64_t startMicros = 0, endMicros = 0;
    std::string label;   // the segment's label, for a chapter
    std::string tracks;  // the file's tracks kept ("v:0,a:1,s:0"); "" every track
};

// A probed file as a join (or a segments export) describes it.
JoinFile DescribedFile(const std::string& path, const MediaInfo& info);
// The part of that description its tracks make (picture size, codecs, sound shape, other
// tracks), from a probe of the tracks kept.
void DescribeStreams(JoinFile& f, const MediaInfo& info);

// What two files of a direct join can differ in (the window and ulvane-cli name them by this order).
enum class JoinParameter { Type, PictureSize, VideoCodec, AudioCodec, SampleRate, Channels, OtherTracks, ReorderDepth };

// The first file that cannot follow the first described file in a direct join, and how
// it differs: the parameter, its value and the first file's ("" for no such stream).
struct JoinMismatch {
    int file = -1;
    JoinParameter parameter = JoinParameter::Type;
    std::string value, firstValue;
};

// A direct join copies packets, so its files must agree with the first one in type (without
// regard to letter case: "MP4" is "mp4"), picture size, codecs, the sound's sample rate and
// channels, and the other tracks a copy keeps. A file after the first may lack sound; it may
// not bring sound the first lacks. Its video must hold back as many pictures for reordering
// as the first's (the depth is part of the decoder set-up the output carries once), except
// H.264 and HEVC in MP4, MOV or a transport stream, which take each file's set-up in band and
// keep both times of each picture (Matroska keeps one, rebuilt from the first file's depth).
// Files not described, and values not known, are left to the job.
std::optional<JoinMismatch> FirstDirectJoinMismatch(const std::vector<JoinFile>& files);
inline bool DirectJoinCompatible(const std::vector<JoinFile>& files) {
    return !FirstDirectJoinMismatch(files).has_value();
}

// The join's progress scale: the files' lengths in seconds, added up file by file and cut
// to whole seconds after each file.
int32_t JoinTotalSeconds(const std::vector<JoinFile>& files);

struct CutLaunch {
    std::string source;
    int32_t startMs = 0, endMs = 0;
    OutputChoice output;
    std::string tracks;  // the source's tracks kept ("v:0,a:1,s:0"); "" every track
};

struct JoinLaunch {
    std::vector<JoinFile> files;  // in join order; each a whole file or a clip of one
    OutputChoice output;
    bool chapters = false;  // a chapter per file or clip, named by its label, else its file
};

// How the segments of one source are exported.
enum class ExportMode {
    Separate,      // each segment to its own file
    Merge,         // all segments, in list order, into one file
    MergeOutside,  // everything except the segments, in time order, into one file
};

// An export of several segments of one source. `file` describes the source as the join list
// would (its length tells where the parts outside the segments end).
struct SegmentsLaunch {
    JoinFile file;
    std::vector<Segment> segments;
    ExportMode mode = ExportMode::Merge;
    bool chapters = false;  // merged: a chapter per segment, named by its label, else "Segment n"
    OutputChoice output;    // output.name: the merged file's name, or the stem of each separate one
};

enum class LaunchStatus {
    Ready,
    NoExtension,  // a direct job's source has no extension, so no container to copy into
    UnlikeFiles,  // a direct join of files that differ (see `mismatch`)
    HiddenLead,   // a direct join where a file after the first hides its first pictures
    NameTooLong,  // the name, with its extension, is too long for the output folder's file system
    BadSegment,   // a segment is empty, reversed, outside the source or (merged outside) overlaps
    NoSegments,   // nothing to export: no segment, or nothing outside them
};
struct LaunchResult {
    LaunchStatus status = LaunchStatus::Ready;
    int input = -1;          // NoExtension, HiddenLead, UnlikeFiles: the input in question
    JoinMismatch mismatch;   // UnlikeFiles: how that input differs
    SegmentProblem problem;  // BadSegment: which segment and why
    bool ok() const { return status == LaunchStatus::Ready; }
};

using ExistsTest = std::function<bool(const std::string&)>;

// Resets `job` for a cut or a join of `inputs` files before the output is chosen; the
// monitor shows no progress line until the job is filled.
void PrepareCutJob(ConversionJob& job);
void PrepareJoinJob(ConversionJob& job, int inputs);

// Fill a prepared job with every field of the launch, output paths chosen so that no
// existing file is replaced (`exists` is the file-system test). A name typed with the
// output's extension keeps one. On a result other than Ready the job is left as prepared.
LaunchResult FillCutJob(ConversionJob& job, const CutLaunch& cut, const ExistsTest& exists);
LaunchResult FillJoinJob(ConversionJob& job, const JoinLaunch& join, const ExistsTest& exists);
// A segments export, one job: PrepareSegmentsJob sizes the record for `launch` (a clip per
// segment, or per part outside them); Fill then names the outputs: the merged file from
// output.name, or each separate one "name label" (else "name n", n from 1) made safe.
// Segments that name an output (Segment::output) are merged into the file of that name, in
// list order, in the modes Separate and Merge; the others follow the mode (the parts outside
// the segments name none). A file's clips are then inputs
// next to each other, the files in the order of their first segments (sharesOutput).
void PrepareSegmentsJob(ConversionJob& job, const SegmentsLaunch& launch);
// `order`, where given, receives the segment (index into launch.segments) each input takes;
// with MergeOutside, the part outside them.
LaunchResult FillSegmentsJob(ConversionJob& job, const SegmentsLaunch& launch, const ExistsTest& exists,
                             std::vector<size_t>* order = nullptr);

}  // namespace ulvane
