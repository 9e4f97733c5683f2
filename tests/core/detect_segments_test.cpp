// Findings to segments, as tables in milliseconds.
#include "core/detect_segments.h"

#include <gtest/gtest.h>

using namespace ulvane;

namespace {

using Ms = std::vector<std::pair<int64_t, int64_t>>;

std::vector<Finding> Findings(const Ms& ms) {
    std::vector<Finding> f;
    for (auto [s, e] : ms) f.push_back({s * 1000, e * 1000, 0});
    return f;
}

Ms MsOf(const std::vector<Segment>& segments) {
    Ms ms;
    for (const Segment& s : segments) ms.emplace_back(s.startMicros / 1000, s.endMicros / 1000);
    return ms;
}

}  // namespace

TEST(DetectSegments, BetweenStretchesOrTheStretchesThemselves) {
    struct Row {
        const char* what;
        Ms stretches;
        int64_t lengthMs;
        Ms between, themselves;
    };
    const Row rows[] = {
        {"nothing found: the whole file", {}, 10000, {{0, 10000}}, {}},
        {"parts around two silences",
         {{1000, 2000}, {6000, 7500}},
         10000,
         {{0, 1000}, {2000, 6000}, {7500, 10000}},
         {{1000, 2000}, {6000, 7500}}},
        {"a silence at each end", {{0, 500}, {9000, 10000}}, 10000, {{500, 9000}}, {{0, 500}, {9000, 10000}}},
        {"out of order and overlapping",
         {{6000, 7500}, {1000, 3000}, {2500, 4000}},
         10000,
         {{0, 1000}, {4000, 6000}, {7500, 10000}},
         {{1000, 4000}, {6000, 7500}}},
        {"a click between two silences is no part",
         {{1000, 2000}, {2100, 3000}},
         5000,
         {{0, 1000}, {3000, 5000}},
         {{1000, 2000}, {2100, 3000}}},
        {"clamped to the file", {{-500, 300}, {9500, 12000}}, 10000, {{300, 9500}}, {{0, 300}, {9500, 10000}}},
        {"a short part at the end is dropped", {{1000, 9900}}, 10000, {{0, 1000}}, {{1000, 9900}}},
        {"unknown length: up to the last stretch",
         {{1000, 2000}, {5000, 6000}},
         0,
         {{0, 1000}, {2000, 5000}},
         {{1000, 2000}, {5000, 6000}}},
        {"all silent", {{0, 10000}}, 10000, {}, {{0, 10000}}},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(MsOf(SegmentsBetween(Findings(r.stretches), r.lengthMs * 1000)), r.between) << r.what;
        EXPECT_EQ(MsOf(SegmentsOfStretches(Findings(r.stretches), r.lengthMs * 1000)), r.themselves) << r.what;
    }
}

TEST(DetectSegments, AtEachChange) {
    struct Row {
        const char* what;
        Ms changes;  // start == end
        int64_t lengthMs;
        Ms want;
    };
    const Row rows[] = {
        {"no change: the whole file", {}, 10000, {{0, 10000}}},
        {"three scenes", {{2000, 2000}, {5000, 5000}}, 10000, {{0, 2000}, {2000, 5000}, {5000, 10000}}},
        {"a flash right after a cut joins the scene before",
         {{2000, 2000}, {2100, 2100}, {5000, 5000}},
         10000,
         {{0, 2000}, {2000, 5000}, {5000, 10000}}},
        {"a change at the very start or end adds nothing",
         {{0, 0}, {4000, 4000}, {9900, 9900}},
         10000,
         {{0, 4000}, {4000, 10000}}},
        {"out of order", {{5000, 5000}, {2000, 2000}}, 8000, {{0, 2000}, {2000, 5000}, {5000, 8000}}},
        {"unknown length: the last change ends the last", {{2000, 2000}, {5000, 5000}}, 0, {{0, 2000}, {2000, 5000}}},
    };
    for (const Row& r : rows)
        EXPECT_EQ(MsOf(SegmentsAtChanges(Findings(r.changes), r.lengthMs * 1000)), r.want) << r.what;
}
