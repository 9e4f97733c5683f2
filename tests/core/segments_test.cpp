// The segment model: its checks, the parts outside it, the CSV form, the undo history and
// the store that keeps each source's segments.
#include "core/segments.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>

#include "tests/support/media_tools.h"

using namespace ulvane;
namespace fs = std::filesystem;

namespace {

constexpr int64_t kMs = 1000;
constexpr int64_t kS = 1000000;

std::vector<std::string> FolderNames(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
    return names;
}

}  // namespace

TEST(Segments, CheckFindsTheFirstBadSegmentAndSaysWhy) {
    struct Case {
        std::vector<Segment> segments;
        int64_t length;
        bool disjoint;
        int index;  // -1: no problem
        std::string why;
    };
    const Case cases[] = {
        {{{0, 5 * kS, ""}, {5 * kS, 10 * kS, ""}}, 10 * kS, true, -1, ""},
        {{{0, kS, ""}, {5 * kS, 3 * kS, ""}},
         0,
         false,
         1,
         "segment 2 ends at 00:00:03.000, before its start at 00:00:05.000"},
        {{{2 * kS, 2 * kS, ""}}, 0, false, 0, "segment 1 ends where it starts, at 00:00:02.000"},
        {{{-1, 5 * kS, ""}}, 10 * kS, false, 0, "segment 1 starts before the start of the file"},
        {{{0, kS, ""}, {0, 10 * kS + 2 * kMs, ""}},
         10 * kS,
         false,
         1,
         "ends at 00:00:10.002, after the end of the file at 00:00:10.000"},
        {{{0, 10 * kS + kMs, ""}}, 10 * kS, true, -1, ""},            // within the slack
        {{{0, 360000 * kS, ""}}, 0, true, -1, ""},                    // length unknown
        {{{4 * kS, 6 * kS, ""}, {0, 5 * kS, ""}}, 0, false, -1, ""},  // overlaps allowed
        {{{4 * kS, 6 * kS, ""}, {0, 5 * kS, ""}},
         0,
         true,
         1,
         "segment 2 (00:00:00.000 to 00:00:05.000) overlaps segment 1 (00:00:04.000 to 00:00:06.000)"},
        {{{0, kS, ""}, {8 * kS, 9 * kS, ""}, {2 * kS, 3 * kS, ""}, {500 * kMs, 700 * kMs, ""}},
         0,
         true,
         3,
         "segment 4 (00:00:00.500 to 00:00:00.700) overlaps segment 1"},
        {{{kS, 5 * kS, ""}, {kS, 2 * kS, ""}}, 0, true, 1, "overlaps segment 1"},
        {{{0, 2 * kS, ""}, {2 * kS, 4 * kS, ""}, {3 * kS + 1500, 3500 * kMs, ""}},
         0,
         true,
         2,
         "segment 3 (00:00:03.001500 to 00:00:03.500) overlaps segment 2"},
        // The first bad segment wins, whether it is bad on its own or overlaps one before it.
        {{{0, 5 * kS, ""}, {3 * kS, 4 * kS, ""}, {7 * kS, 6 * kS, ""}}, 0, true, 1, "overlaps segment 1"},
        {{{0, 5 * kS, ""}, {7 * kS, 6 * kS, ""}, {3 * kS, 4 * kS, ""}}, 0, true, 1, "before its start"},
    };
    for (size_t k = 0; k < std::size(cases); ++k) {
        const Case& c = cases[k];
        SCOPED_TRACE("case " + std::to_string(k));
        const std::optional<SegmentProblem> p = CheckSegments(c.segments, c.length, c.disjoint);
        ASSERT_EQ(p.has_value(), c.index >= 0) << (p ? p->why : "");
        if (!p) continue;
        EXPECT_EQ(p->index, c.index);
        EXPECT_NE(p->why.find(c.why), std::string::npos) << p->why;
    }
}

TEST(Segments, OutsidePartsCoverWhatNoSegmentDoes) {
    struct Case {
        std::vector<Segment> segments;
        int64_t length;
        std::vector<Segment> outside;
    };
    const Case cases[] = {
        {{}, 10, {{0, 10, ""}}},
        {{{6, 8, "a"}, {1, 3, "b"}, {2, 4, "c"}}, 10, {{0, 1, ""}, {4, 6, ""}, {8, 10, ""}}},
        {{{0, 2, ""}, {2, 5, ""}}, 5, {}},
        {{{-1, 2, ""}, {8, 12, ""}}, 10, {{2, 8, ""}}},
        {{{1, 9, ""}, {2, 3, ""}}, 10, {{0, 1, ""}, {9, 10, ""}}},
        {{{3, 3, ""}, {5, 4, ""}}, 10, {{0, 10, ""}}},
        {{{1, 2, ""}}, 0, {}},
    };
    for (size_t k = 0; k < std::size(cases); ++k) {
        SCOPED_TRACE("case " + std::to_string(k));
        EXPECT_EQ(OutsideSegments(cases[k].segments, cases[k].length), cases[k].outside);
    }
}

TEST(SegmentsCsv, AwkwardLabelsAndExactTimesComeBack) {
    const std::vector<Segment> segments = {
        {1500 * kMs, 2 * kS, "a, b"},
        {3 * kS, 4 * kS, "say \"hi\""},
        {5 * kS + 1, 6 * kS + 999, "two\nlines\r\nand a CR\r"},
        {7 * kS, 8 * kS, "Überschrift — 日本語"},
        {9 * kS, 10 * kS, ""},
        {3600000 * kS, 3600001 * kS, ",\""},  // 1000 hours
    };
    const std::string csv = SegmentsToCsv(segments);
    EXPECT_EQ(csv.substr(0, csv.find('\n', 16) + 1), "start,end,label\n00:00:01.500,00:00:02.000,\"a, b\"\n");
    const CsvResult back = SegmentsFromCsv(csv);
    EXPECT_EQ(back.error, "");
    EXPECT_EQ(back.segments, segments);
}

TEST(SegmentsCsv, ForeignTextsAreRead) {
    struct Case {
        std::string text;
        std::vector<Segment> segments;
    };
    const Case cases[] = {
        {"start,end,label\r\n00:00:01.000,00:00:02.000,one\r\n", {{kS, 2 * kS, "one"}}},
        {"90,100\n", {{90 * kS, 100 * kS, ""}}},
        {"\xEF\xBB\xBF"
         "1:02.5,1:03,x\n",
         {{62500 * kMs, 63 * kS, "x"}}},
        {"Begin,Finish,Name\n0:59,1:00:00.5,y\n", {{59 * kS, 3600500 * kMs, "y"}}},
        {"\r\n5,6,a\r\r\n\n7,8,b\r9,10", {{5 * kS, 6 * kS, "a"}, {7 * kS, 8 * kS, "b"}, {9 * kS, 10 * kS, ""}}},
        {"1,2,\"he said \"\"hi\"\"\r\nthen left\"\n", {{kS, 2 * kS, "he said \"hi\"\r\nthen left"}}},
        {" 1 , 2.25 ,x,,\n,,\n", {{kS, 2250 * kMs, "x"}}},
        {"start,end,label\n", {}},
        {"", {}},
    };
    for (size_t k = 0; k < std::size(cases); ++k) {
        SCOPED_TRACE("case " + std::to_string(k));
        const CsvResult r = SegmentsFromCsv(cases[k].text);
        EXPECT_EQ(r.error, "");
        EXPECT_EQ(r.segments, cases[k].segments);
    }
}

TEST(SegmentsCsv, AnUnreadableLineFailsTheTextWithItsNumber) {
    const std::pair<std::string, std::string> cases[] = {
        {"start,end\n1,2\nx,3\n", "line 3: the start \"x\" is not a time"},
        {"1,2\n\n3,y\n", "line 3: the end \"y\" is not a time"},
        {"1,2,\"a\r\nb\"\n3\n", "line 3: no end time"},
        {"1,2\n3,4,\"open\n5,6\n", "line 2: a quoted field is not closed"},
        {"1,2,\"a\"b\n", "line 1: text follows"},
        {"1,2,a,b,c\n", "line 1: more than four fields"},
        {"1,2\n1:60,3\n", "line 2: the start \"1:60\""},
        // A mistyped first line is a line with an error, not a header that is passed over.
        {"0:1O,0:20,Intro\n0:30,0:40,Outro\n", "line 1: the start \"0:1O\" is not a time"},
        {"Start 1,End\n0:30,0:40\n", "line 1: the start \"Start 1\""},
        // A backwards or empty segment counts by line as well, the header and blank lines included.
        {"start,end\n\n1,2\n5,3\n", "line 4: the segment ends at 00:00:03.000, before its start at 00:00:05.000"},
        {"1,1\n", "line 1: the segment ends where it starts"},
    };
    for (const auto& [text, error] : cases) {
        SCOPED_TRACE(text);
        const CsvResult r = SegmentsFromCsv(text);
        EXPECT_EQ(r.error.find(error), 0u) << r.error;
        EXPECT_TRUE(r.segments.empty());
    }
}

// With the source's length: the one rule of the window and the command line.
TEST(SegmentsCsv, ASegmentPastTheEndIsShortenedWithANoteAndOneBeyondItRefused) {
    const std::string text = "start,end,label\n1,2,a\n8,15,b\n9,10.0005,c\n";
    const CsvResult fitted = SegmentsFromCsv(text, 10 * kS);
    EXPECT_EQ(fitted.error, "");
    EXPECT_EQ(fitted.segments,
              (std::vector<Segment>{{kS, 2 * kS, "a"}, {8 * kS, 10 * kS, "b"}, {9 * kS, 10000500, "c"}}));
    EXPECT_EQ(fitted.notes, std::vector<std::string>{"line 3: the segment's end 00:00:15.000 is past the end of the "
                                                     "file at 00:00:10.000; it ends there"});
    const CsvResult unknownLength = SegmentsFromCsv(text);
    EXPECT_EQ(unknownLength.segments[1].endMicros, 15 * kS);
    EXPECT_TRUE(unknownLength.notes.empty());
    const CsvResult beyond = SegmentsFromCsv("1,2\n3,4\n10,12\n", 10 * kS);
    EXPECT_EQ(beyond.error,
              "line 3: the segment starts at 00:00:10.000, at or after the end of the file at 00:00:10.000");
    EXPECT_TRUE(beyond.segments.empty());
}

TEST(SegmentsCsv, OversizedTextsAreRefused) {
    std::string lines;
    for (int i = 0; i < 100000; ++i) lines += "1,2\n";
    EXPECT_EQ(SegmentsFromCsv(lines).segments.size(), 100000u);
    const CsvResult tooMany = SegmentsFromCsv(lines + "3,4\n");
    EXPECT_EQ(tooMany.error, "line 100001: more than 100000 segments");
    EXPECT_TRUE(tooMany.segments.empty());
    const CsvResult tooLarge = SegmentsFromCsv("1,2\n" + std::string(16 << 20, '\n'));
    EXPECT_NE(tooLarge.error.find("16 MiB"), std::string::npos);
    EXPECT_TRUE(tooLarge.segments.empty());
}

namespace {

SegmentState StateAfter(int changes) {
    SegmentState s;
    for (int i = 0; i < changes; ++i) s.segments.push_back({i * kS, i * kS + kMs, "change " + std::to_string(i)});
    s.selected = changes - 1;
    return s;
}

// Makes `changes` changes, each adding a segment, and returns the current state.
SegmentState MakeChanges(SegmentHistory& history, int changes) {
    SegmentState current = StateAfter(0);
    for (int k = 1; k <= changes; ++k) {
        history.Record(current);
        current = StateAfter(k);
    }
    return current;
}

}  // namespace

TEST(SegmentHistory, UndoesEveryChangeBackToTheStartAndRedoesThem) {
    SegmentHistory history(200);
    SegmentState current = MakeChanges(history, 150);
    for (int k = 149; k >= 0; --k) {
        std::optional<SegmentState> back = history.Undo(current);
        ASSERT_TRUE(back) << k;
        ASSERT_EQ(*back, StateAfter(k));
        current = *back;
    }
    EXPECT_FALSE(history.canUndo());
    EXPECT_FALSE(history.Undo(current));
    for (int k = 1; k <= 150; ++k) current = history.Redo(current).value();
    EXPECT_EQ(current, StateAfter(150));
    EXPECT_FALSE(history.canRedo());

    // A change after an undo drops what was undone.
    current = history.Undo(current).value();
    EXPECT_TRUE(history.canRedo());
    history.Record(current);
    EXPECT_FALSE(history.canRedo());
    EXPECT_FALSE(history.Redo(StateAfter(3)));
    history.Clear();
    EXPECT_FALSE(history.canUndo());
}

TEST(SegmentHistory, KeepsOnlyTheLastDepthSteps) {
    SegmentHistory history(200);
    SegmentState current = MakeChanges(history, 250);
    int undone = 0;
    while (std::optional<SegmentState> back = history.Undo(current)) current = *back, ++undone;
    EXPECT_EQ(undone, 200);
    EXPECT_EQ(current, StateAfter(50));
}

namespace {

struct StoreFixture {
    test::TempDir dir;
    const fs::path folder = dir.path() / "data" / "segments";
    SegmentStore store{folder.string()};
    const std::vector<Segment> segments = {{kS, 2 * kS, "first, \"quoted\"\nlabel"}, {3 * kS, 4500 * kMs, ""}};

    std::string Source(const std::string& sub, const std::string& bytes = "movie bytes") const {
        fs::create_directories(dir.path() / sub);
        const std::string path = (dir.path() / sub / "clip.mp4").string();
        test::WriteFileBytes(path, bytes);
        return path;
    }
};

}  // namespace

TEST(SegmentStore, KeepsEachSourcesSegmentsAwayFromTheSource) {
    StoreFixture f;
    const std::string source = f.Source("films");
    EXPECT_TRUE(f.store.Load(source).empty());
    ASSERT_TRUE(f.store.Save(source, f.segments));
    EXPECT_EQ(SegmentStore(f.folder.string()).Load(source), f.segments);
    EXPECT_EQ(f.store.Load((f.dir.path() / "films" / "." / "clip.mp4").string()), f.segments);
    EXPECT_EQ(FolderNames(f.dir.path() / "films"), std::vector<std::string>{"clip.mp4"});
    EXPECT_EQ(FolderNames(f.folder).size(), 1u);

    ASSERT_TRUE(f.store.Save(source, {}));
    EXPECT_TRUE(f.store.Load(source).empty());
    EXPECT_TRUE(FolderNames(f.folder).empty());
}

TEST(SegmentStore, AChangedSourceGetsNothing) {
    const std::pair<const char*, void (*)(const std::string&)> changes[] = {
        {"size", [](const std::string& p) { test::WriteFileBytes(p, "movie bytes, longer"); }},
        {"modification time",
         [](const std::string& p) { fs::last_write_time(p, fs::last_write_time(p) - std::chrono::seconds(5)); }},
        {"same size rewritten later",
         [](const std::string& p) {
             test::WriteFileBytes(p, "MOVIE BYTES");
             fs::last_write_time(p, fs::last_write_time(p) + std::chrono::seconds(5));
         }},
    };
    for (const auto& [what, change] : changes) {
        SCOPED_TRACE(what);
        StoreFixture f;
        const std::string source = f.Source("films");
        ASSERT_TRUE(f.store.Save(source, f.segments));
        change(source);
        EXPECT_TRUE(f.store.Load(source).empty());
    }
}

TEST(SegmentStore, AFolderThatCannotBeWrittenLeavesEverythingAsItWas) {
    StoreFixture f;
    const std::string source = f.Source("films");
    // A regular file where the folder should be: nothing can be made inside it.
    test::WriteFileBytes(f.dir / "blocked", "not a folder");
    EXPECT_FALSE(SegmentStore(f.dir / "blocked").Save(source, f.segments));
    EXPECT_EQ(test::ReadFileBytes(f.dir / "blocked"), "not a folder");

    // A write that fails half way (the file size limit holds for root too) keeps the old entry.
    ASSERT_TRUE(f.store.Save(source, f.segments));
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const rlimit small{4096, old.rlim_max};
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved = f.store.Save(source, {{0, kS, std::string(20000, 'x')}});
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(saved);
    EXPECT_EQ(f.store.Load(source), f.segments);
    EXPECT_EQ(FolderNames(f.folder).size(), 1u) << "no temporary file is left behind";
}

TEST(SegmentStore, AnEntryRecordedForAnotherPathIsIgnored) {
    StoreFixture f;
    const std::string a = f.Source("a"), b = f.Source("b");
    ASSERT_TRUE(f.store.Save(a, f.segments));
    const std::string entryA = FolderNames(f.folder).at(0);
    ASSERT_TRUE(f.store.Save(b, {{0, kS, "b's"}}));
    std::vector<std::string> names = FolderNames(f.folder);
    ASSERT_EQ(names.size(), 2u);
    const std::string entryB = names[0] == entryA ? names[1] : names[0];
    // As if b's name were a's hash too: the entry there speaks of a, which b has the same
    // size and time as.
    fs::copy_file(f.folder / entryA, f.folder / entryB, fs::copy_options::overwrite_existing);
    fs::last_write_time(b, fs::last_write_time(a));
    EXPECT_TRUE(f.store.Load(b).empty());
    EXPECT_EQ(f.store.Load(a), f.segments);
}
