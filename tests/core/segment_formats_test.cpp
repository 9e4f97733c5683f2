// The segment list in other tools' forms: a list written in each comes back with its starts
// on the same pictures, the forms as other tools write them are read, and a bad line is
// named by its number.
#include "core/segment_formats.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

using namespace ulvane;

namespace {

constexpr int64_t kMs = 1000;
constexpr int64_t kS = 1000000;

struct FormatCase {
    const char* name;
    SegmentFormat format;
    int32_t rateNum, rateDen;
    bool keepsEnds;    // every end comes back (else each part ends where the next begins)
    bool keepsOutput;  // the output names come back
};

}  // namespace

// A list with labels, outputs, a gap, starts between pictures and past an hour, written in
// each form and read back: every start lands within a picture of where it was, and the
// labels come back; the forms that keep ends and outputs keep them too. The timecodes an
// EDL holds are those of its rate (drop-frame at 29.97: 00:01:00;02 is picture 1800).
TEST(SegmentFormats, AListWrittenInEachFormComesBackOnTheSamePictures) {
    const std::vector<Segment> segments = {
        {0, 12 * kS + 345 * kMs, "Intro", "part one"},
        {60060 * kMs, 90 * kS + 7, "Gap before, \"quoted\"; with = and #", "part one"},
        {90 * kS + 7, 599999400, "Tenth minute", ""},
        {3723 * kS + 480 * kMs, 3800 * kS, "Past an hour", "last"},
    };
    const int64_t length = 4000 * kS;
    const FormatCase cases[] = {
        {"csv", SegmentFormat::Csv, 0, 0, true, true},
        {"edl 25", SegmentFormat::Edl, 25, 1, true, false},
        {"edl 29.97 drop-frame", SegmentFormat::Edl, 30000, 1001, true, false},
        {"edl 23.976", SegmentFormat::Edl, 24000, 1001, true, false},
        {"chapter text", SegmentFormat::ChapterText, 0, 0, false, false},
        {"cue", SegmentFormat::Cue, 0, 0, false, false},
        {"ffmetadata", SegmentFormat::FfMetadata, 0, 0, true, false},
    };
    for (const FormatCase& c : cases) {
        SCOPED_TRACE(c.name);
        const SegmentSource source{length, c.rateNum, c.rateDen, "film.mkv"};
        ASSERT_EQ(MissingToWrite(c.format, source), "");
        const std::string text = WriteSegments(c.format, segments, source);
        const CsvResult back = ReadSegments(c.format, text, source);
        ASSERT_EQ(back.error, "") << text;
        ASSERT_EQ(back.segments.size(), segments.size()) << text;
        // A picture's time at the source's rate, else at 25 a second.
        const int64_t picture = c.rateNum > 0 ? kS * c.rateDen / c.rateNum : 40 * kMs;
        for (size_t k = 0; k < segments.size(); ++k) {
            SCOPED_TRACE("segment " + std::to_string(k + 1));
            EXPECT_LT(std::llabs(back.segments[k].startMicros - segments[k].startMicros), picture / 2 + 1);
            // A CUE sheet holds no quote inside its quoted title.
            std::string label = segments[k].label;
            if (c.format == SegmentFormat::Cue) std::replace(label.begin(), label.end(), '"', '\'');
            EXPECT_EQ(back.segments[k].label, label);
            // A part without its end ends where the next begins (a CUE sheet keeps a gap before
            // it), the last at the source's end.
            const bool last = k + 1 == segments.size();
            const bool gapKept =
                c.format == SegmentFormat::Cue && !last && segments[k].endMicros < segments[k + 1].startMicros;
            const int64_t end = c.keepsEnds || gapKept ? segments[k].endMicros
                                : last                 ? length
                                                       : segments[k + 1].startMicros;
            EXPECT_LT(std::llabs(back.segments[k].endMicros - end), picture / 2 + 1);
            EXPECT_EQ(back.segments[k].output, c.keepsOutput ? segments[k].output : "");
        }
        if (c.rateDen == 1001 && c.rateNum == 30000) {
            EXPECT_NE(text.find("00:01:00;02 00:01:29;29"), std::string::npos) << text;
            EXPECT_NE(text.find("00:01:29;29 00:10:00;00"), std::string::npos) << text;
        }
    }
}

// Texts as other tools write them, and the faults a reader names by their line.
TEST(SegmentFormats, ForeignTextsAreReadAndABadLineIsNamed) {
    const SegmentSource pal{600 * kS, 25, 1, ""};
    const SegmentSource ntsc{600 * kS, 30000, 1001, ""};
    struct Case {
        const char* name;
        SegmentFormat format;
        SegmentSource source;
        std::string text;
        std::vector<Segment> segments;
        std::string error;  // the start of the error; "" when read
    };
    const Case cases[] = {
        {"edl: sound and picture lines of one event, a clip name, a comment, a speed line, an empty "
         "transition line, a dissolve",
         SegmentFormat::Edl,
         pal,
         "TITLE: Rough cut\r\nFCM: NON-DROP FRAME\r\n\r\n"
         "001  AX       V     C        00:00:01:00 00:00:03:12 01:00:00:00 01:00:02:12\r\n"
         "001  AX       AA    C        00:00:01:00 00:00:03:12 01:00:00:00 01:00:02:12\r\n"
         "* FROM CLIP NAME: Opening\r\n"
         "002  AX       V     C        00:01:00:00 00:01:10:00 01:00:02:12 01:00:12:12\r\n"
         "M2   AX       050.0                00:01:00:00\r\n"
         "* COMMENT: Interview\r\n"
         "003  AX       V     C        00:02:00:00 00:02:00:00 01:00:12:12 01:00:12:12\r\n"
         "003  AX       V     D    025 00:02:00:00 00:02:04:00 01:00:12:12 01:00:16:12\r\n",
         {{kS, 3480 * kMs, "Opening"}, {60 * kS, 70 * kS, "Interview"}, {120 * kS, 124 * kS, ""}},
         ""},
        {"edl: drop-frame by the separator",
         SegmentFormat::Edl,
         ntsc,
         "001  AX  V  C  00:01:00;02 00:10:00;00 00:00:00;00 00:08:59;28\n",
         {{60060 * kMs, 600 * kS - 600, ""}},
         ""},
        {"edl: drop-frame at 25 a second",
         SegmentFormat::Edl,
         pal,
         "001  AX  V  C  00:01:00;02 00:02:00;00 00:00:00;00 00:01:00;00\n",
         {},
         "line 1: a drop-frame timecode"},
        {"edl: a bad timecode",
         SegmentFormat::Edl,
         pal,
         "TITLE: x\n001  AX  V  C  00:00:01:00 00:00:02:00 00:00:00:00 00:00:01:00\n"
         "002  AX  V  C  00:00:03:00 00:00:04:25 00:00:01:00 00:00:02:00\n",
         {},
         "line 3: the source out \"00:00:04:25\""},
        {"chapter text: description lines, brackets, dashes, hours, the last to the end",
         SegmentFormat::ChapterText,
         {4000 * kS, 0, 0, ""},
         "Chapters of the talk:\n(0:00) Welcome\n\n12:30 - Part two\n1:02:03.5 \xE2\x80\x93 Questions\nThanks!\n",
         {{0, 750 * kS, "Welcome"}, {750 * kS, 3723500 * kMs, "Part two"}, {3723500 * kMs, 4000 * kS, "Questions"}},
         ""},
        {"chapter text: a mistyped time",
         SegmentFormat::ChapterText,
         pal,
         "0:00 Intro\n0:1O Next\n",
         {},
         "line 2: \"0:1O\" is not a time"},
        {"chapter text: out of order",
         SegmentFormat::ChapterText,
         pal,
         "0:00 A\n5:00 B\n4:00 C\n",
         {},
         "line 3: the chapter at 4:00 does not start after the one on line 2"},
        {"chapter text: a chapter at the end of the file",
         SegmentFormat::ChapterText,
         pal,
         "0:00 A\n10:00 B\n",
         {},
         "line 2: the segment starts at 00:10:00.000, at or after the end"},
        {"chapter text: without the source's length",
         SegmentFormat::ChapterText,
         {},
         "0:00 A\n",
         {},
         "the length of the source is needed"},
        {"cue: remarks, performer, a pregap, an unquoted title",
         SegmentFormat::Cue,
         pal,
         "REM GENRE Live\nPERFORMER \"Band\"\nTITLE \"Album\"\nFILE \"live.wav\" WAVE\n"
         "  TRACK 01 AUDIO\n    TITLE \"First song\"\n    PERFORMER \"Band\"\n    INDEX 01 00:00:00\n"
         "  TRACK 02 AUDIO\n    TITLE Second\n    INDEX 00 03:20:00\n    INDEX 01 03:22:37\n",
         {{0, 200 * kS, "First song"}, {202 * kS + 37 * kS / 75, 600 * kS, "Second"}},
         ""},
        {"cue: a track without INDEX 01",
         SegmentFormat::Cue,
         pal,
         "FILE \"a.wav\" WAVE\n  TRACK 01 AUDIO\n    TITLE \"x\"\n  TRACK 02 AUDIO\n    INDEX 01 00:10:00\n",
         {},
         "line 2: a TRACK without its INDEX 01"},
        {"ffmetadata: global entries, a stream section, escapes, a title over two lines",
         SegmentFormat::FfMetadata,
         pal,
         ";FFMETADATA1\ntitle=Film\n[STREAM]\ntitle=ignored\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=1500\nEND=4000\n"
         "title=a\\=b\\;c\\\nsecond line\n[CHAPTER]\nTIMEBASE=1/90000\nSTART=900000\nEND=1800000\n",
         {{1500 * kMs, 4 * kS, "a=b;c\nsecond line"}, {10 * kS, 20 * kS, ""}},
         ""},
        {"ffmetadata read from a .txt name",
         SegmentFormat::ChapterText,
         {},
         ";FFMETADATA1\n[CHAPTER]\nSTART=0\nEND=2000000000\n",
         {{0, 2 * kS, ""}},
         ""},
        {"ffmetadata: a chapter without its end",
         SegmentFormat::FfMetadata,
         pal,
         ";FFMETADATA1\n\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\n",
         {},
         "line 3: a chapter without its START and END"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CsvResult r = ReadSegments(c.format, c.text, c.source);
        if (c.error.empty()) {
            EXPECT_EQ(r.error, "");
            EXPECT_EQ(r.segments, c.segments);
        } else {
            EXPECT_EQ(r.error.substr(0, c.error.size()), c.error) << r.error;
            EXPECT_TRUE(r.segments.empty());
        }
    }
}

// The past-the-end rule of CSV holds for every form: a segment running past the source's
// end ends there, with a note naming its line.
TEST(SegmentFormats, ASegmentPastTheEndEndsThereWithANote) {
    const CsvResult r = ReadSegments(SegmentFormat::Edl,
                                     "001  AX  V  C  00:00:01:00 00:00:02:00 00:00:00:00 00:00:01:00\n"
                                     "002  AX  V  C  00:00:05:00 00:00:20:00 00:00:01:00 00:00:16:00\n",
                                     {10 * kS, 25, 1, ""});
    ASSERT_EQ(r.error, "");
    ASSERT_EQ(r.segments.size(), 2u);
    EXPECT_EQ(r.segments[1].endMicros, 10 * kS);
    ASSERT_EQ(r.notes.size(), 1u);
    EXPECT_EQ(r.notes[0].substr(0, 8), "line 2: ");
}
