// The segment list in the forms other tools read and write: CSV (segments.h), an edit
// decision list (CMX 3600), chapter text as video sites show it ("0:00 Intro"), CUE sheets
// and FFmpeg's metadata chapters. Each reader follows the rules of SegmentIntake, so a bad
// line is named by its number and a segment past the source's end is handled as in CSV.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/segments.h"
#include "engine/conversion_job.h"

namespace ulvane {

enum class SegmentFormat {
    Csv,          // .csv: start, end, label, output
    Edl,          // .edl: events with source in and out timecodes at the source's frame rate
    ChapterText,  // .txt: "1:02:03 Title" lines; each part ends where the next begins
    Cue,          // .cue: TRACK / INDEX 01 mm:ss:ff at 75 frames a second
    FfMetadata,   // .ffmeta, .ffmetadata: ";FFMETADATA1" with [CHAPTER] sections
};

// The format a file's name asks for, by its extension (any letter case); nullopt for an
// extension none of them has.
std::optional<SegmentFormat> SegmentFormatOf(std::string_view path);
// The extensions, with their dot, each format is known by (the first is the one to write).
std::vector<std::string> SegmentFormatExtensions(SegmentFormat format);

// What a format needs of the source its segments belong to.
struct SegmentSource {
    int64_t lengthMicros = 0;  // 0: unknown
    // The pictures' rate (30000/1001 for NTSC); 0: unknown.
    int32_t frameRateNum = 0, frameRateDen = 0;
    std::string name;  // the source's file name, for a CUE sheet's FILE line and an EDL's title
};

// What a reader or writer of `format` needs and `source` lacks: "the frame rate" (EDL), "the
// length" (chapter text and CUE, whose last part ends at the file's end); "" when nothing.
std::string MissingToRead(SegmentFormat format, const SegmentSource& source);
std::string MissingToWrite(SegmentFormat format, const SegmentSource& source);

// The segments in `format`. What a format cannot hold is left out: the output names (only
// CSV holds them), the ends in chapter text and CUE (a part ends where the next begins; a
// CUE sheet keeps a gap before a track as its INDEX 00), and in an EDL every time falls on a
// picture of the source's rate. Assumes MissingToWrite is "".
std::string WriteSegments(SegmentFormat format, const std::vector<Segment>& segments, const SegmentSource& source);

// Reads the segments of `text` in `format`; a text that begins with ";FFMETADATA1" is read
// as FFmpeg metadata whatever the format asked. Assumes MissingToRead is "" (else fails).
CsvResult ReadSegments(SegmentFormat format, std::string_view text, const SegmentSource& source);

// The chapters of a file as segments, each named by its title; those of no length are left out.
std::vector<Segment> ChapterSegments(const std::vector<MediaChapter>& chapters);

}  // namespace ulvane
