// The segments a user marks in one source: the list, its undo history, the CSV form, the
// parts outside them, and the store that brings them back when the file is opened again.
// Times are microseconds of the source's own timeline (0 = the file's start).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ulvane {

struct Segment {
    int64_t startMicros = 0;
    int64_t endMicros = 0;
    std::string label;  // "" when the user gave none
    // The file the segment goes into, by its name without extension: segments of one name
    // are merged into that file; "" follows the export mode.
    std::string output = {};
    int64_t lengthMicros() const { return endMicros - startMicros; }
    bool operator==(const Segment&) const = default;
};

// What is wrong with a list of segments of a source lasting `lengthMicros` (0: unknown, so
// only the order of each segment's ends is checked): the first bad segment (0-based) and why,
// in plain English ("segment 2 ends at 00:00:03.000, before its start at 00:00:05.000").
// `disjoint`: the segments may not overlap (a merge of what lies outside them needs that).
struct SegmentProblem {
    int index = -1;
    std::string why;
};
std::optional<SegmentProblem> CheckSegments(const std::vector<Segment>& segments, int64_t lengthMicros, bool disjoint);

// The parts of [0, lengthMicros) outside every segment, in time order, without empty parts;
// the segments need not be sorted and may overlap.
std::vector<Segment> OutsideSegments(const std::vector<Segment>& segments, int64_t lengthMicros);

// The CSV form: a header line "start,end,label" ("start,end,label,output" when a segment
// names its output file, and only then, so that lists without outputs stay readable by the
// versions that know three fields), then a line per segment with the times as time text
// (HH:MM:SS.mmm, and three more digits for a time between two milliseconds, so the times come
// back exact), the label and the output quoted where they hold a comma, a quote or a line
// break. Reading takes any line ending, a header or none (a first line is a header only when
// none of its fields holds a digit), times in any form ParseTypedTime reads, and a missing
// label or output; a line it cannot read, or whose segment ends at or before its start, fails
// the whole text with its number. Every reader of segments (see segment_formats.h) applies
// the rules of SegmentIntake.
std::string SegmentsToCsv(const std::vector<Segment>& segments);
struct CsvResult {
    std::vector<Segment> segments;
    std::string error;               // "" when read; else "line 3: the end "x" is not a time"
    std::vector<std::string> notes;  // "line 4: the segment's end ... is past the end ...; it ends there"
};
CsvResult SegmentsFromCsv(std::string_view text, int64_t lengthMicros = 0);

// The rules every reader of a segment list applies, one segment at a time in the text's
// order: a text over 16 MiB or of more than 100,000 segments is refused; a segment that ends
// at or before its start fails the text; with the source's length (`lengthMicros` > 0; 0:
// unknown), a segment that starts at or after the end fails the text, and one that runs past
// the end is shortened to it, with a note naming its line: the one rule of both the window
// and the command line. A failed text gives no segments and no notes.
class SegmentIntake {
public:
    explicit SegmentIntake(int64_t lengthMicros) : lengthMicros_(lengthMicros) {}
    // The text as a whole: false (and the error set) when it is too large.
    bool Admit(std::string_view text);
    // Takes `s`, read at line `line`; false when it fails the text (the error then set).
    bool Take(Segment s, int line);
    // A reader's own error at `line` ("line 3: ..."): fails the text.
    void Fail(int line, const std::string& what);
    void Fail(const std::string& error);  // an error that names its line itself
    bool failed() const { return !result_.error.empty(); }
    // What was read; the intake is spent.
    CsvResult Finish();

private:
    int64_t lengthMicros_;
    CsvResult result_;
};

// "line 3: " for the messages of the readers.
std::string LinePrefix(int line);

// The undo history of a segment list: each change stores the whole list (and which segment
// was selected) before it. Keeps the last `depth` steps (older ones are dropped); a change
// after an undo drops the steps that were undone.
struct SegmentState {
    std::vector<Segment> segments;
    int selected = -1;
    bool operator==(const SegmentState&) const = default;
};
class SegmentHistory {
public:
    explicit SegmentHistory(size_t depth = 200) : depth_(depth) {}
    // Records `before`, the state a change is about to leave.
    void Record(const SegmentState& before);
    bool canUndo() const { return !undo_.empty(); }
    bool canRedo() const { return !redo_.empty(); }
    // The state to go back to from `current` (which becomes redoable); nullopt when none.
    std::optional<SegmentState> Undo(const SegmentState& current);
    std::optional<SegmentState> Redo(const SegmentState& current);
    void Clear();

private:
    size_t depth_;
    std::vector<SegmentState> undo_, redo_;
};

// Where the segments of each source are kept: one small file per source in `folder` (the
// user's data folder), named from a hash of the source's path, and valid only while the
// source has the same path, size and modification time. Never writes beside a source.
class SegmentStore {
public:
    explicit SegmentStore(std::string folder) : folder_(std::move(folder)) {}
    // The segments kept for `source`; empty when none, or when the file changed since.
    std::vector<Segment> Load(const std::string& source) const;
    // Keeps `segments` for `source` (an empty list removes the entry). False when the folder
    // cannot be written; nothing else is touched then.
    bool Save(const std::string& source, const std::vector<Segment>& segments) const;

private:
    std::string folder_;
};

}  // namespace ulvane
