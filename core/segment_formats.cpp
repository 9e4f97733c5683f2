// Reading and writing the segment list as EDL, chapter text, CUE sheet and FFmpeg metadata.
#include "core/segment_formats.h"

#include <algorithm>
#include <cctype>
#include <cinttypes>
#include <cmath>
#include <cstdio>

#include "core/segment_formats_internal.h"
#include "core/time_text.h"

namespace ulvane {

namespace {

using namespace segment_text;

struct Part {
    int line;
    int64_t start;
    std::optional<int64_t> end;
    std::string label;
};
void TakeParts(const std::vector<Part>& parts, int64_t lengthMicros, SegmentIntake& intake) {
    for (size_t k = 0; k < parts.size(); ++k) {
        // The last part, started at or after the source's end, is refused as starting there.
        const int64_t end = parts[k].end           ? *parts[k].end
                            : k + 1 < parts.size() ? parts[k + 1].start
                                                   : std::max(lengthMicros, parts[k].start + 1);
        if (!intake.Take({parts[k].start, end, parts[k].label, {}}, parts[k].line)) return;
    }
}

// --- chapter text -------------------------------------------------------------------------

// "0:05", "1:02:03", "12:34.5": minutes and seconds, hours from an hour on, a fraction when
// the time is not a whole second (to the microsecond, without trailing zeros).
std::string ChapterClock(int64_t micros) {
    const int64_t seconds = micros / kSecond;
    char text[48];
    if (seconds >= 3600)
        std::snprintf(text, sizeof text, "%" PRId64 ":%02" PRId64 ":%02" PRId64, seconds / 3600, seconds / 60 % 60,
                      seconds % 60);
    else
        std::snprintf(text, sizeof text, "%" PRId64 ":%02" PRId64, seconds / 60, seconds % 60);
    std::string out = text;
    if (const int64_t fraction = micros % kSecond; fraction != 0) {
        std::snprintf(text, sizeof text, ".%06" PRId64, fraction);
        std::string digits = text;
        while (digits.back() == '0') digits.pop_back();
        out += digits;
    }
    return out;
}

std::string WriteChapterText(const std::vector<Segment>& segments) {
    std::string out;
    for (const Segment& s : segments) {
        out += ChapterClock(s.startMicros);
        if (!s.label.empty()) out += " " + OneLine(s.label);
        out += "\n";
    }
    return out;
}

// A line is a chapter when it starts with a time ("0:00 Intro", "(1:02:03) Part two",
// "12:00 - End"); a line that starts otherwise (a description around the list) is passed
// over, but one that starts with what is meant as a time and is none ("0:1O") fails.
void ReadChapterText(std::string_view text, int64_t lengthMicros, SegmentIntake& intake) {
    std::vector<Part> parts;
    for (const Line& line : SplitLines(text)) {
        std::string_view body = Trim(line.text);
        if (!body.empty() && (body.front() == '(' || body.front() == '[')) body.remove_prefix(1);
        const size_t timeEnd = std::min(body.find_first_of(" \t)]"), body.size());
        const std::string_view time = body.substr(0, timeEnd);
        if (time.empty() || !std::isdigit(static_cast<unsigned char>(time.front())) ||
            time.find(':') == std::string_view::npos)
            continue;
        const std::optional<int64_t> start = ParseTypedTime(time);
        if (!start) return intake.Fail(line.number, "\"" + std::string(time) + "\" is not a time");
        if (!parts.empty() && *start <= parts.back().start)
            return intake.Fail(line.number, "the chapter at " + std::string(time) +
                                                " does not start after the one on line " +
                                                std::to_string(parts.back().line));
        std::string_view title = body.substr(timeEnd);
        while (!title.empty() && std::string_view(" \t)]-:|").find(title.front()) != std::string_view::npos)
            title.remove_prefix(1);
        // Dashes as UTF-8 ("–", "—") between the time and the title.
        for (std::string_view dash : {"\xE2\x80\x93", "\xE2\x80\x94"})
            if (title.substr(0, dash.size()) == dash) title = Trim(title.substr(dash.size()));
        parts.push_back({line.number, *start, std::nullopt, std::string(Trim(title))});
    }
    TakeParts(parts, lengthMicros, intake);
}

// --- CUE sheet ----------------------------------------------------------------------------

constexpr int64_t kCueFrames = 75;

std::string CueTime(int64_t micros) {
    const int64_t frames = std::llround(static_cast<long double>(micros) * kCueFrames / kSecond);
    char text[40];
    std::snprintf(text, sizeof text, "%02" PRId64 ":%02" PRId64 ":%02" PRId64, frames / (kCueFrames * 60),
                  frames / kCueFrames % 60, frames % kCueFrames);
    return text;
}

std::optional<int64_t> ReadCueTime(std::string_view text) {
    const size_t a = text.find(':'), b = text.rfind(':');
    if (a == std::string_view::npos || a == b) return std::nullopt;
    const std::string_view mm = text.substr(0, a), ss = text.substr(a + 1, b - a - 1), ff = text.substr(b + 1);
    if (!AllDigits(mm) || mm.size() > 6 || ss.size() != 2 || !AllDigits(ss) || ff.size() != 2 || !AllDigits(ff))
        return std::nullopt;
    const int64_t seconds = std::stoll(std::string(mm)) * 60 + std::stoll(std::string(ss));
    const int64_t frames = std::stoll(std::string(ff));
    if (std::stoll(std::string(ss)) >= 60 || frames >= kCueFrames) return std::nullopt;
    return seconds * kSecond + frames * kSecond / kCueFrames;
}

// A quoted CUE word: CUE sheets know no escapes, so a quote inside becomes an apostrophe.
std::string CueQuoted(const std::string& text) {
    std::string out = OneLine(text);
    std::replace(out.begin(), out.end(), '"', '\'');
    return "\"" + out + "\"";
}

std::string WriteCue(const std::vector<Segment>& segments, const SegmentSource& source) {
    const std::string name = source.name.empty() ? "source" : source.name;
    const std::string type = Lower(name).ends_with(".mp3") ? "MP3" : "WAVE";
    std::string out = "FILE " + CueQuoted(name) + " " + type + "\n";
    for (size_t k = 0; k < segments.size(); ++k) {
        char track[48];
        std::snprintf(track, sizeof track, "  TRACK %02zu AUDIO\n", k + 1);
        out += track;
        if (!segments[k].label.empty()) out += "    TITLE " + CueQuoted(segments[k].label) + "\n";
        // A gap after the segment before is this track's pregap, which ends that one.
        if (k > 0 && segments[k - 1].endMicros < segments[k].startMicros &&
            CueTime(segments[k - 1].endMicros) != CueTime(segments[k].startMicros))
            out += "    INDEX 00 " + CueTime(segments[k - 1].endMicros) + "\n";
        out += "    INDEX 01 " + CueTime(segments[k].startMicros) + "\n";
    }
    return out;
}

// The word after a CUE keyword: quoted (to the closing quote), or up to the next blank.
std::string CueValue(std::string_view rest) {
    rest = Trim(rest);
    if (!rest.empty() && rest.front() == '"') {
        const size_t close = rest.find('"', 1);
        return std::string(rest.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
    }
    return std::string(rest.substr(0, std::min(rest.find_first_of(" \t"), rest.size())));
}

void ReadCue(std::string_view text, int64_t lengthMicros, SegmentIntake& intake) {
    std::vector<Part> parts;
    std::vector<std::optional<int64_t>> pregaps;
    int files = 0;
    bool indexed = true;  // the track before has its INDEX 01
    int trackLine = 0;
    for (const Line& line : SplitLines(text)) {
        const std::string_view body = Trim(line.text);
        const std::vector<std::string_view> words = Words(body);
        if (words.empty()) continue;
        const std::string keyword = Lower(words[0]);
        if (keyword == "file" && ++files > 1)
            return intake.Fail(line.number, "a second FILE: a sheet of one file is read");
        if (keyword == "track") {
            if (!indexed) return intake.Fail(trackLine, "a TRACK without its INDEX 01");
            if (words.size() < 2 || !AllDigits(words[1])) return intake.Fail(line.number, "a TRACK without its number");
            indexed = false;
            trackLine = line.number;
            parts.push_back({line.number, 0, std::nullopt, {}});
            pregaps.emplace_back();
        } else if (keyword == "title" && !parts.empty()) {
            parts.back().label = CueValue(body.substr(words[0].size()));
        } else if (keyword == "index" && !parts.empty()) {
            const std::optional<int64_t> at = words.size() < 3 ? std::nullopt : ReadCueTime(words[2]);
            if (!at) return intake.Fail(line.number, "an INDEX without a time mm:ss:ff");
            if (words[1] == "01" || words[1] == "1") {
                if (parts.size() > 1 && *at <= parts[parts.size() - 2].start)
                    return intake.Fail(line.number, "the track does not start after the one before");
                parts.back().start = *at;
                parts.back().line = line.number;
                indexed = true;
            } else if (words[1] == "00" || words[1] == "0") {
                pregaps.back() = at;
            }
        }
    }
    if (!indexed) return intake.Fail(trackLine, "a TRACK without its INDEX 01");
    for (size_t k = 0; k + 1 < parts.size(); ++k)
        if (pregaps[k + 1] && *pregaps[k + 1] > parts[k].start) parts[k].end = pregaps[k + 1];
    TakeParts(parts, lengthMicros, intake);
}

// --- FFmpeg metadata ----------------------------------------------------------------------

constexpr std::string_view kFfMetadataMagic = ";FFMETADATA1";

std::string FfEscaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '=' || c == ';' || c == '#' || c == '\\' || c == '\n') out += '\\';
        if (c != '\r') out += c;
    }
    return out;
}

std::string WriteFfMetadata(const std::vector<Segment>& segments) {
    std::string out = std::string(kFfMetadataMagic) + "\n";
    for (const Segment& s : segments) {
        out += "\n[CHAPTER]\nTIMEBASE=1/1000000\nSTART=" + std::to_string(s.startMicros) +
               "\nEND=" + std::to_string(s.endMicros) + "\n";
        if (!s.label.empty()) out += "title=" + FfEscaped(s.label) + "\n";
    }
    return out;
}

// The entries of FFmpeg's metadata text: "key=value" with a backslash before a special
// character, and before a line break that goes on in the value.
struct FfEntry {
    int line;
    std::string key, value;
    bool section = false;  // "[CHAPTER]": key holds the section's name
};
std::vector<FfEntry> FfEntries(std::string_view text) {
    std::vector<FfEntry> entries;
    const std::vector<Line> lines = SplitLines(text);
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string_view raw = lines[i].text;
        if (raw.empty() || raw.front() == ';' || raw.front() == '#') continue;
        if (raw.front() == '[') {
            entries.push_back({lines[i].number, std::string(Trim(raw)), {}, true});
            continue;
        }
        FfEntry e{lines[i].number, {}, {}, false};
        bool inValue = false;
        std::string_view rest = raw;
        for (;;) {
            size_t k = 0;
            for (; k < rest.size(); ++k) {
                char c = rest[k];
                if (c == '\\' && k + 1 < rest.size()) {
                    c = rest[++k];
                } else if (c == '\\') {
                    break;  // an escaped line break: the value goes on below
                } else if (c == '=' && !inValue) {
                    inValue = true;
                    continue;
                }
                (inValue ? e.value : e.key) += c;
            }
            if (k == rest.size() || i + 1 >= lines.size()) break;
            (inValue ? e.value : e.key) += '\n';
            rest = lines[++i].text;
        }
        entries.push_back(std::move(e));
    }
    return entries;
}

// Chapters: a [CHAPTER] section with START and END in its TIMEBASE (FFmpeg's 1/1000000000
// when none is given); the title is the label. Other sections and the global entries are
// passed over.
void ReadFfMetadata(std::string_view text, SegmentIntake& intake) {
    struct Chapter {
        int line;
        int64_t num = 1, den = 1000000000;
        std::optional<int64_t> start = {}, end = {};
        std::string title = {};
    };
    std::vector<Chapter> chapters;
    bool inChapter = false;
    for (const FfEntry& e : FfEntries(text)) {
        if (e.section) {
            inChapter = Lower(e.key) == "[chapter]";
            if (inChapter) chapters.push_back({e.line});
            continue;
        }
        if (!inChapter) continue;
        Chapter& c = chapters.back();
        const std::string key = Lower(Trim(e.key));
        const std::string value(Trim(e.value));
        if (key == "timebase") {
            const size_t slash = value.find('/');
            const std::string num = value.substr(0, slash),
                              den = slash == std::string::npos ? "" : value.substr(slash + 1);
            if (!AllDigits(num) || !AllDigits(den) || num.size() > 9 || den.size() > 10 || std::stoll(num) == 0 ||
                std::stoll(den) == 0)
                return intake.Fail(e.line, "the TIMEBASE \"" + value + "\" is not a fraction like 1/1000");
            c.num = std::stoll(num);
            c.den = std::stoll(den);
        } else if (key == "start" || key == "end") {
            const bool negative = !value.empty() && value.front() == '-';
            const std::string digits = value.substr(negative ? 1 : 0);
            if (!AllDigits(digits) || digits.size() > 18)
                return intake.Fail(e.line, "the " + Lower(key) + " \"" + value + "\" is not a whole number");
            (key == "start" ? c.start : c.end) = negative ? -std::stoll(digits) : std::stoll(digits);
        } else if (key == "title") {
            c.title = e.value;
        }
    }
    for (const Chapter& c : chapters) {
        if (!c.start || !c.end) return intake.Fail(c.line, "a chapter without its START and END");
        const auto micros = [&c](int64_t t) {
            return std::llround(std::clamp(static_cast<long double>(t) * c.num * kSecond / c.den, -1e15L, 1e15L));
        };
        if (!intake.Take({micros(*c.start), micros(*c.end), c.title, {}}, c.line)) return;
    }
}

}  // namespace

std::vector<Segment> ChapterSegments(const std::vector<MediaChapter>& chapters) {
    std::vector<Segment> segments;
    for (const MediaChapter& c : chapters)
        if (c.endMicros > c.startMicros)
            segments.push_back({std::max<int64_t>(c.startMicros, 0), c.endMicros, c.title});
    return segments;
}

std::optional<SegmentFormat> SegmentFormatOf(std::string_view path) {
    const size_t dot = path.rfind('.');
    const size_t slash = path.find_last_of("/\\");
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return std::nullopt;
    const std::string extension = Lower(path.substr(dot));
    for (SegmentFormat f : {SegmentFormat::Csv, SegmentFormat::Edl, SegmentFormat::ChapterText, SegmentFormat::Cue,
                            SegmentFormat::FfMetadata}) {
        const std::vector<std::string> known = SegmentFormatExtensions(f);
        if (std::find(known.begin(), known.end(), extension) != known.end()) return f;
    }
    return std::nullopt;
}

std::vector<std::string> SegmentFormatExtensions(SegmentFormat format) {
    switch (format) {
        case SegmentFormat::Csv:
            return {".csv"};
        case SegmentFormat::Edl:
            return {".edl"};
        case SegmentFormat::ChapterText:
            return {".txt"};
        case SegmentFormat::Cue:
            return {".cue"};
        case SegmentFormat::FfMetadata:
            return {".ffmeta", ".ffmetadata"};
    }
    return {};
}

std::string MissingToRead(SegmentFormat format, const SegmentSource& source) {
    if (format == SegmentFormat::Edl && (source.frameRateNum <= 0 || source.frameRateDen <= 0)) return "the frame rate";
    if ((format == SegmentFormat::ChapterText || format == SegmentFormat::Cue) && source.lengthMicros <= 0)
        return "the length";
    return {};
}

std::string MissingToWrite(SegmentFormat format, const SegmentSource& source) {
    if (format == SegmentFormat::Edl && (source.frameRateNum <= 0 || source.frameRateDen <= 0)) return "the frame rate";
    return {};
}

std::string WriteSegments(SegmentFormat format, const std::vector<Segment>& segments, const SegmentSource& source) {
    switch (format) {
        case SegmentFormat::Csv:
            return SegmentsToCsv(segments);
        case SegmentFormat::Edl:
            return WriteEdl(segments, source);
        case SegmentFormat::ChapterText:
            return WriteChapterText(segments);
        case SegmentFormat::Cue:
            return WriteCue(segments, source);
        case SegmentFormat::FfMetadata:
            return WriteFfMetadata(segments);
    }
    return {};
}

CsvResult ReadSegments(SegmentFormat format, std::string_view text, const SegmentSource& source) {
    std::string_view body = text;
    if (body.substr(0, 3) == "\xEF\xBB\xBF") body.remove_prefix(3);
    if (body.substr(0, kFfMetadataMagic.size()) == kFfMetadataMagic) format = SegmentFormat::FfMetadata;
    if (format == SegmentFormat::Csv) return SegmentsFromCsv(text, source.lengthMicros);
    SegmentIntake intake(source.lengthMicros);
    if (const std::string missing = MissingToRead(format, source); !missing.empty()) {
        intake.Fail(missing + " of the source is needed to read this list");
        return intake.Finish();
    }
    if (!intake.Admit(text)) return intake.Finish();
    switch (format) {
        case SegmentFormat::Edl:
            ReadEdl(text, source, intake);
            break;
        case SegmentFormat::ChapterText:
            ReadChapterText(text, source.lengthMicros, intake);
            break;
        case SegmentFormat::Cue:
            ReadCue(text, source.lengthMicros, intake);
            break;
        case SegmentFormat::FfMetadata:
        case SegmentFormat::Csv:
            ReadFfMetadata(text, intake);
            break;
    }
    return intake.Finish();
}

}  // namespace ulvane
