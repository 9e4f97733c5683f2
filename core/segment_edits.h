// The edits of the cut tab's segment list, each from one state of the list to the next. The
// window records the state before each in the list's undo history; none of them touches the
// history itself.
#pragma once

#include <cstdint>
#include <string>

#include "core/segments.h"

namespace ulvane {

// The selected segment's marks set to [startMicros, endMicros); with nothing selected, a first
// segment of those marks is added and selected. A mark within the millisecond it already has
// keeps its time (a list read from a file may hold times between two milliseconds).
SegmentState WithMarks(SegmentState state, int64_t startMicros, int64_t endMicros);

// A new segment from `at` to the start of the next segment after it, else to the source's end
// (`lengthMicros`), placed in the list after the last segment that starts at or before `at` (a
// list in time order stays so), and selected. Unchanged when `at` is at or past the end.
SegmentState WithNewSegment(SegmentState state, int64_t at, int64_t lengthMicros);

// Without the selected segment; the one after it is selected then, else the new last one.
SegmentState WithoutSelected(SegmentState state);

// The selected segment one place up (-1) or down (+1), staying selected; unchanged at an end.
SegmentState WithSelectedMoved(SegmentState state, int step);

// Segment `index` with a new label, or a new output file ("" follows the export mode).
SegmentState WithLabel(SegmentState state, int index, std::string label);
SegmentState WithOutput(SegmentState state, int index, std::string output);

}  // namespace ulvane
