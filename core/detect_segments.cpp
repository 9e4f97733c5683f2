// Segments proposed from detection findings.
#include "core/detect_segments.h"

#include <algorithm>

namespace ulvane {

std::vector<Segment> SegmentsBetween(const std::vector<Finding>& stretches, int64_t lengthMicros,
                                     int64_t shortestMicros) {
    std::vector<Finding> sorted = stretches;
    std::sort(sorted.begin(), sorted.end(),
              [](const Finding& a, const Finding& b) { return a.startMicros < b.startMicros; });
    int64_t end = lengthMicros;
    if (end <= 0)
        for (const Finding& f : sorted) end = std::max(end, f.endMicros);
    std::vector<Segment> parts;
    int64_t from = 0;  // where the current part starts: the end of the stretches so far
    auto add = [&](int64_t to) {
        if (to - from >= std::max<int64_t>(shortestMicros, 1)) parts.push_back({from, to, ""});
    };
    for (const Finding& f : sorted) {
        const int64_t s = std::clamp<int64_t>(f.startMicros, 0, end);
        const int64_t e = std::clamp<int64_t>(f.endMicros, 0, end);
        if (e <= s) continue;
        if (s > from) add(s);
        from = std::max(from, e);
    }
    add(end);
    return parts;
}

std::vector<Segment> CoveredSpans(std::vector<Segment> spans) {
    std::sort(spans.begin(), spans.end(),
              [](const Segment& a, const Segment& b) { return a.startMicros < b.startMicros; });
    std::vector<Segment> merged;
    for (const Segment& s : spans)
        if (!merged.empty() && s.startMicros <= merged.back().endMicros)
            merged.back().endMicros = std::max(merged.back().endMicros, s.endMicros);
        else
            merged.push_back(s);
    return merged;
}

std::vector<Segment> SegmentsOfStretches(const std::vector<Finding>& stretches, int64_t lengthMicros) {
    std::vector<Segment> parts;
    for (const Finding& f : stretches) {
        const int64_t s = std::max<int64_t>(f.startMicros, 0);
        const int64_t e = lengthMicros > 0 ? std::min(f.endMicros, lengthMicros) : f.endMicros;
        if (e > s) parts.push_back({s, e, ""});
    }
    return CoveredSpans(std::move(parts));
}

std::vector<Segment> SegmentsAtChanges(const std::vector<Finding>& changes, int64_t lengthMicros,
                                       int64_t shortestMicros) {
    std::vector<int64_t> cuts;
    for (const Finding& f : changes) cuts.push_back(f.startMicros);
    std::sort(cuts.begin(), cuts.end());
    const int64_t end = lengthMicros > 0 ? lengthMicros : (cuts.empty() ? 0 : cuts.back());
    std::vector<int64_t> bounds{0};
    for (int64_t c : cuts)
        if (c > 0 && c < end && c - bounds.back() >= shortestMicros) bounds.push_back(c);
    // A last part too short joins the segment before it.
    if (bounds.size() > 1 && end - bounds.back() < shortestMicros) bounds.pop_back();
    std::vector<Segment> segments;
    for (size_t i = 0; i < bounds.size(); ++i) {
        const int64_t to = i + 1 < bounds.size() ? bounds[i + 1] : end;
        if (to > bounds[i]) segments.push_back({bounds[i], to, ""});
    }
    return segments;
}

}  // namespace ulvane
