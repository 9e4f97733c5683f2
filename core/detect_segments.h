// Segments proposed from what detection found: the parts between silences or black stretches,
// or a segment from each scene change to the next. Times in microseconds from the file's start.
#pragma once

#include <cstdint>
#include <vector>

#include "core/segments.h"
#include "engine/detect.h"

namespace ulvane {

// Parts shorter than this are not worth a segment of their own: a click between two silences,
// a flash between two cuts.
inline constexpr int64_t kShortestProposedMicros = 250000;

// The parts of [0, lengthMicros) outside the stretches (silences, black pictures), in time
// order: the sound between silences, the programme around black breaks. Stretches may come in
// any order and overlap; they are clamped to the file. A part shorter than `shortestMicros`
// is dropped, so the stretches on its two sides count as one. `lengthMicros` 0 (unknown): the
// file is taken to end where the last stretch ends, so nothing after it is proposed.
std::vector<Segment> SegmentsBetween(const std::vector<Finding>& stretches, int64_t lengthMicros,
                                     int64_t shortestMicros = kShortestProposedMicros);

// The times `spans` cover, each once: sorted, spans that overlap or touch joined.
std::vector<Segment> CoveredSpans(std::vector<Segment> spans);

// The stretches themselves (the silences, the black breaks), in time order, clamped to the
// file; stretches that overlap or touch become one segment. `lengthMicros` 0: not clamped at
// the end.
std::vector<Segment> SegmentsOfStretches(const std::vector<Finding>& stretches, int64_t lengthMicros);

// A segment from each change (and from the file's start) to the next change (or the file's
// end). A change less than `shortestMicros` after the one before (or after the start) is
// passed over, its part joining the segment before; a last part that short joins the segment
// before it too. `lengthMicros` 0: the last change ends the last segment.
std::vector<Segment> SegmentsAtChanges(const std::vector<Finding>& changes, int64_t lengthMicros,
                                       int64_t shortestMicros = kShortestProposedMicros);

}  // namespace ulvane
