// Segment lists in other tools' formats and export groups, by what the files made show:
// each file holds the source's pictures of its segments, in list order, and nothing else.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>

#include "tests/cli/cli_test_util.h"
#include "tests/support/content.h"

using namespace ulvane::test;

namespace {

constexpr double kPicture = 0.04;  // the sources' pictures, at 25 a second

// 12 s of moving pictures (a key frame every 2 s, B-frames) and a tone.
std::string MovingSource() {
    return Fixture("lists_moving12.mp4", {"-f",   "lavfi",   "-i",          "testsrc2=size=320x240:rate=25:duration=12",
                                          "-f",   "lavfi",   "-i",          "sine=f=440:duration=12",
                                          "-c:v", "libx264", "-preset",     "veryfast",
                                          "-g",   "50",      "-keyint_min", "50",
                                          "-bf",  "3",       "-c:a",        "aac"});
}

// The same in Matroska, with three chapters: One 1-2 s, Two 4-5.52 s, Three 5.52-7 s.
std::string ChapteredSource() {
    static const TempDir dir;
    const std::string meta = dir / "chapters.ffmeta";
    WriteFileBytes(meta,
                   ";FFMETADATA1\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=1000\nEND=2000\ntitle=One\n"
                   "[CHAPTER]\nTIMEBASE=1/1000\nSTART=4000\nEND=5520\ntitle=Two\n"
                   "[CHAPTER]\nTIMEBASE=1/1000\nSTART=5520\nEND=7000\ntitle=Three\n");
    return Fixture("lists_chaptered12.mkv",
                   {"-i", MovingSource(), "-i", meta, "-map", "0", "-map_chapters", "1", "-c", "copy"});
}

// When each picture of `path` shows, in seconds from the file's start, in display order (a
// Matroska copy of an MP4 starts its pictures a sound frame late).
std::vector<double> PictureTimes(const std::string& path) {
    const double start = std::atof(
        Run({"ffprobe", "-v", "error", "-show_entries", "format=start_time", "-of", "csv=p=0", path}).out.c_str());
    const CommandResult r = Run({"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                                 "frame=best_effort_timestamp_time", "-of", "csv=p=0", path});
    std::vector<double> times;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);)
        if (!line.empty()) times.push_back(std::atof(line.c_str()) - start);
    std::sort(times.begin(), times.end());
    return times;
}

// The source picture a segment from `start` shows first (the one on screen, or the next
// when it starts within half a picture's time), and the last before `end` (one that starts
// less than half a picture's time before the end is left out).
size_t FirstPicture(const std::vector<double>& times, double start) {
    size_t k = static_cast<size_t>(std::upper_bound(times.begin(), times.end(), start + 1e-6) - times.begin()) - 1;
    if (k + 1 < times.size() && times[k + 1] - start < kPicture / 2 - 1e-6) ++k;
    return k;
}
size_t LastPicture(const std::vector<double>& times, double end) {
    size_t m = static_cast<size_t>(std::lower_bound(times.begin(), times.end(), end - 1e-6) - times.begin()) - 1;
    if (end - times[m] < kPicture / 2 - 1e-6) --m;
    return m;
}

struct Part {
    double start, end;
};
constexpr double kToTheEnd = 1e6;  // a part that ends with the source

// `file` holds the source's pictures of `parts`, one after the other: as many pictures, and
// at each part's first and last one the very source picture (nearer to it than to its
// neighbours).
struct SourcePictures {
    std::vector<GreyPicture> pictures;
    std::vector<double> times;
};
SourcePictures PicturesWithTimes(const std::string& path) {
    return {PicturesOf(path), PictureTimes(path)};
}

void ExpectPicturesOf(const std::string& file, const SourcePictures& source, const std::vector<Part>& parts) {
    ASSERT_EQ(source.pictures.size(), source.times.size());
    const std::vector<GreyPicture> shown = PicturesOf(file);
    size_t at = 0;
    std::vector<std::pair<size_t, size_t>> checks;  // output picture, source picture
    for (const Part& p : parts) {
        const size_t first = FirstPicture(source.times, p.start), last = LastPicture(source.times, p.end);
        checks.push_back({at, first});
        at += last - first + 1;
        checks.push_back({at - 1, last});
    }
    ASSERT_EQ(shown.size(), at) << file;
    for (const auto& [out, due] : checks) {
        const double psnr = Psnr(shown[out], source.pictures[due]);
        EXPECT_GE(psnr, 38.0) << file << ": picture " << out << " against source picture " << due;
        for (size_t other : {due - 1, due + 1})
            if (other < source.pictures.size()) {
                EXPECT_GT(psnr, Psnr(shown[out], source.pictures[other]))
                    << file << ": picture " << out << " shows " << other;
            }
    }
}

std::vector<std::string> ChapterTitles(const std::string& file) {
    const CommandResult r =
        Run({"ffprobe", "-v", "error", "-show_entries", "chapter_tags=title", "-of", "csv=p=0", file});
    std::vector<std::string> titles;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);)
        if (!line.empty()) titles.push_back(line);
    return titles;
}

}  // namespace

// Two groups and a segment of none, in one job: exactly three files, each group's segments
// merged in list order with a chapter each, the other segment in a file of its own named by
// its label, every file stdout names holding the source's pictures of its segments.
TEST(CliSegmentLists, GroupsMakeAFileEachAndASegmentOfNoneFollowsTheMode) {
    const std::string source = MovingSource();
    TempDir lists, out;
    const std::string csv = lists / "groups.csv";
    WriteFileBytes(csv,
                   "start,end,label,output\n1.01,2.43,a,intro\n3.21,4.03,b,\n5.61,6.83,c,intro\n"
                   "7.41,8.23,d,outro.mp4\n9.01,10.43,e,outro\n");
    const CommandResult r = Cli({"cut", source, "--segments", csv, "--exact", "--chapters", "--out-dir",
                                 out.path().string(), "--name", "talk", "--quiet"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(FilesIn(out.path()), (std::vector<std::string>{"intro.mp4", "outro.mp4", "talk b.mp4"}));
    EXPECT_EQ(r.out, out / "intro.mp4" + "\n" + out / "talk b.mp4" + "\n" + out / "outro.mp4" + "\n");
    const SourcePictures pictures = PicturesWithTimes(source);
    const struct {
        const char* name;
        std::vector<Part> parts;
        std::vector<std::string> chapters;
    } files[] = {{"intro.mp4", {{1.01, 2.43}, {5.61, 6.83}}, {"a", "c"}},
                 {"talk b.mp4", {{3.21, 4.03}}, {}},
                 {"outro.mp4", {{7.41, 8.23}, {9.01, 10.43}}, {"d", "e"}}};
    for (const auto& f : files) {
        SCOPED_TRACE(f.name);
        const std::string path = out / f.name;
        double length = 0;
        for (const Part& p : f.parts) length += p.end - p.start;
        EXPECT_EQ(Problems(Inspect(path), true, true, length, 0.1), "");
        ExpectPicturesOf(path, pictures, f.parts);
        EXPECT_EQ(ChapterTitles(path), f.chapters);
    }
}

// Lists other tools make, and a file's own chapters: each segment cut to its own file, named
// by its clip name, title or chapter, holding the source's pictures from its start to its end
// (a chapter line ends where the next begins, the last at the file's end).
TEST(CliSegmentLists, AnEdlChapterTextAndAFilesChaptersAreCutAsAsked) {
    const std::string source = ChapteredSource();
    const SourcePictures pictures = PicturesWithTimes(source);
    ASSERT_EQ(pictures.pictures.size(), 300u);
    TempDir lists;
    const std::string edl = lists / "cut.edl";
    WriteFileBytes(edl,
                   "TITLE: cut\nFCM: NON-DROP FRAME\n\n"
                   "001  AX       V     C        00:00:01:05 00:00:02:10 01:00:00:00 01:00:01:05\n"
                   "* FROM CLIP NAME: Alpha\n"
                   "002  AX       V     C        00:00:07:00 00:00:08:00 01:00:01:05 01:00:02:05\n"
                   "* FROM CLIP NAME: Beta\n");
    const std::string text = lists / "chapters.txt";
    WriteFileBytes(text, "Chapters:\n0:09.01 Nine\n0:10.21 - Ten\n0:11.41 Eleven\n");
    const struct {
        const char* name;
        std::vector<std::string> flags;
        std::vector<std::pair<std::string, Part>> files;  // name, segment
    } cases[] = {
        {"edl", {"--segments", edl}, {{"out Alpha.mkv", {1.2, 2.4}}, {"out Beta.mkv", {7.0, 8.0}}}},
        {"chapter text",
         {"--segments", text},
         {{"out Nine.mkv", {9.01, 10.21}}, {"out Ten.mkv", {10.21, 11.41}}, {"out Eleven.mkv", {11.41, kToTheEnd}}}},
        {"the file's chapters",
         {"--chapters-as-segments"},
         {{"out One.mkv", {1.0, 2.0}}, {"out Two.mkv", {4.0, 5.52}}, {"out Three.mkv", {5.52, 7.0}}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir out;
        std::vector<std::string> args = {"cut",    source, "--exact", "--out-dir", out.path().string(),
                                         "--name", "out",  "--quiet"};
        args.insert(args.end(), c.flags.begin(), c.flags.end());
        const CommandResult r = Cli(args);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        std::vector<std::string> names;
        for (const auto& [name, part] : c.files) names.push_back(name);
        std::sort(names.begin(), names.end());
        ASSERT_EQ(FilesIn(out.path()), names);
        for (const auto& [name, part] : c.files) {
            SCOPED_TRACE(name);
            EXPECT_EQ(Problems(Inspect(out / name), true, true, std::min(part.end, 12.0) - part.start, 0.1), "");
            ExpectPicturesOf(out / name, pictures, {part});
        }
    }
}

// `segments convert`: the format by the extension, the source for what a format needs (a
// usage error naming it without), and a bad line named by its number, as for CSV.
TEST(CliSegmentLists, ConvertNeedsTheSourceOnlyWhereAFormatDoes) {
    const std::string source = MovingSource();
    TempDir dir;
    const std::string csv = dir / "list.csv";
    WriteFileBytes(csv, "start,end,label\n1.2,2.4,Alpha\n7,8,Beta\n");
    const std::string badEdl = dir / "bad.edl";
    WriteFileBytes(badEdl,
                   "TITLE: x\n001  AX  V  C  00:00:01:00 00:00:02:00 00:00:00:00 00:00:01:00\n"
                   "002  AX  V  C  00:00:03:00 00:00:0x:00 00:00:01:00 00:00:02:00\n");
    const struct {
        std::vector<std::string> args;
        int exit;
        std::string says;  // on standard error; "" for none
    } cases[] = {
        {{"segments", "convert", csv, dir / "list.edl"}, 2, "the frame rate of the source is needed: give --source"},
        {{"segments", "convert", csv, dir / "list.txt"}, 0, ""},
        {{"segments", "convert", dir / "list.txt", dir / "back.csv"}, 2, "the length of the source is needed"},
        {{"segments", "convert", csv, dir / "list.edl", "--source", source}, 0, ""},
        {{"segments", "convert", dir / "list.edl", dir / "back.csv", "--source", source}, 0, ""},
        {{"segments", "convert", csv, dir / "list.doc"}, 2, "not known by its extension"},
        {{"segments", "convert", badEdl, dir / "x.csv", "--source", source},
         2,
         "IN " + badEdl + ": line 3: the source out \"00:00:0x:00\" is not a timecode"},
        {{"cut", source, "--into", "a", "--segment", "1-2", "--out-dir", dir.path().string()},
         2,
         "--into comes after the --segment"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[2]);
        const CommandResult r = Cli(c.args);
        EXPECT_EQ(r.exitCode, c.exit) << r.err;
        if (!c.says.empty()) {
            EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        }
    }
    // Through an EDL at 25 pictures a second and back, the times are those of the list.
    EXPECT_EQ(ReadFileBytes(dir / "back.csv"),
              "start,end,label\n00:00:01.200,00:00:02.400,Alpha\n"
              "00:00:07.000,00:00:08.000,Beta\n");
}
