// The segment list's edits.
#include "core/segment_edits.h"

#include <algorithm>
#include <utility>

namespace ulvane {

namespace {

bool HasSelection(const SegmentState& state) {
    return state.selected >= 0 && state.selected < static_cast<int>(state.segments.size());
}

}  // namespace

SegmentState WithMarks(SegmentState state, int64_t startMicros, int64_t endMicros) {
    if (!HasSelection(state)) {
        state.segments.push_back({startMicros, endMicros, ""});
        state.selected = static_cast<int>(state.segments.size()) - 1;
        return state;
    }
    Segment& s = state.segments[size_t(state.selected)];
    if (s.startMicros / 1000 != startMicros / 1000) s.startMicros = startMicros;
    if (s.endMicros / 1000 != endMicros / 1000) s.endMicros = endMicros;
    return state;
}

SegmentState WithNewSegment(SegmentState state, int64_t at, int64_t lengthMicros) {
    if (at >= lengthMicros) return state;
    int64_t end = lengthMicros;
    int place = 0;
    for (size_t i = 0; i < state.segments.size(); ++i) {
        const Segment& s = state.segments[i];
        if (s.startMicros > at) end = std::min(end, s.startMicros);
        if (s.startMicros <= at) place = static_cast<int>(i) + 1;
    }
    state.segments.insert(state.segments.begin() + place, Segment{at, end, ""});
    state.selected = place;
    return state;
}

SegmentState WithoutSelected(SegmentState state) {
    if (!HasSelection(state)) return state;
    state.segments.erase(state.segments.begin() + state.selected);
    state.selected = std::min(state.selected, static_cast<int>(state.segments.size()) - 1);
    return state;
}

SegmentState WithSelectedMoved(SegmentState state, int step) {
    const int to = state.selected + step;
    if (!HasSelection(state) || to < 0 || to >= static_cast<int>(state.segments.size())) return state;
    std::swap(state.segments[size_t(state.selected)], state.segments[size_t(to)]);
    state.selected = to;
    return state;
}

SegmentState WithLabel(SegmentState state, int index, std::string label) {
    if (index >= 0 && index < static_cast<int>(state.segments.size()))
        state.segments[size_t(index)].label = std::move(label);
    return state;
}

SegmentState WithOutput(SegmentState state, int index, std::string output) {
    if (index >= 0 && index < static_cast<int>(state.segments.size()))
        state.segments[size_t(index)].output = std::move(output);
    return state;
}

}  // namespace ulvane
