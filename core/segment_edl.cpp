// The CMX 3600 edit decision list: events with source in and out timecodes at the source's
// frame rate, drop-frame too.
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <optional>

#include "core/segment_formats_internal.h"

namespace ulvane::segment_text {

namespace {

// Timecodes count pictures at a whole number a second (30 for 29.97): `nominal`. A
// drop-frame count leaves out `drop` numbers (2 at 29.97, 4 at 59.94) at each minute but
// every tenth, so that it keeps up with the clock: 00:01:00;02 is picture 1800.
struct Timecode {
    int64_t num, den;  // the pictures' real rate
    int64_t nominal;
    int64_t drop;  // 0: non-drop

    static Timecode Of(const SegmentSource& s, bool dropFrame) {
        Timecode t{s.frameRateNum, s.frameRateDen, 0, 0};
        t.nominal = std::max<int64_t>(1, (t.num + t.den / 2) / t.den);
        if (dropFrame) t.drop = t.nominal / 15;
        return t;
    }
    // Whether the rate is one whose timecode is counted drop-frame (29.97, 59.94).
    static bool DropRate(const SegmentSource& s) {
        return s.frameRateDen == 1001 && (s.frameRateNum == 30000 || s.frameRateNum == 60000);
    }
    // The picture a time falls on, as a cut takes it: a start halfway between two pictures
    // starts on the one on screen, an end halfway keeps the picture it ends in.
    int64_t Picture(int64_t micros, bool start) const {
        const long double pictures = static_cast<long double>(micros) * num / (static_cast<long double>(den) * kSecond);
        return static_cast<int64_t>(start ? std::ceil(pictures - 0.5L) : std::floor(pictures + 0.5L));
    }
    int64_t Micros(int64_t picture) const {
        return std::llround(static_cast<long double>(picture) * den * kSecond / num);
    }
    std::string Text(int64_t picture) const {
        if (drop > 0) {
            const int64_t perTen = nominal * 600 - drop * 9, perMinute = nominal * 60 - drop;
            const int64_t tens = picture / perTen, within = picture % perTen;
            picture += drop * 9 * tens + (within > drop ? drop * ((within - drop) / perMinute) : 0);
        }
        char text[40];
        std::snprintf(text, sizeof text, "%02" PRId64 ":%02" PRId64 ":%02" PRId64 "%c%02" PRId64,
                      picture / (nominal * 3600), picture / (nominal * 60) % 60, picture / nominal % 60,
                      drop > 0 ? ';' : ':', picture % nominal);
        return text;
    }
    // "01:02:03:04" (or with ';' or '.' before the pictures); nullopt for anything else.
    std::optional<int64_t> Read(std::string_view text) const {
        int64_t parts[4];
        for (int k = 0; k < 4; ++k) {
            const size_t end = k < 3 ? text.find_first_of(":;.") : text.size();
            const std::string_view part = text.substr(0, end);
            if (part.size() != 2 || !AllDigits(part)) return std::nullopt;
            parts[k] = (part[0] - '0') * 10 + (part[1] - '0');
            if (k < 3) text.remove_prefix(end + 1);
        }
        if (parts[1] >= 60 || parts[2] >= 60 || parts[3] >= nominal) return std::nullopt;
        const int64_t minutes = parts[0] * 60 + parts[1];
        return (minutes * 60 + parts[2]) * nominal + parts[3] - drop * (minutes - minutes / 10);
    }
};

}  // namespace

std::string WriteEdl(const std::vector<Segment>& segments, const SegmentSource& source) {
    const Timecode tc = Timecode::Of(source, Timecode::DropRate(source));
    std::string out = "TITLE: " + OneLine(source.name.empty() ? "Segments" : source.name) + "\n";
    out += tc.drop > 0 ? "FCM: DROP FRAME\n" : "FCM: NON-DROP FRAME\n";
    int64_t recorded = 0;
    for (size_t k = 0; k < segments.size(); ++k) {
        const int64_t in = tc.Picture(segments[k].startMicros, true);
        const int64_t outPicture = tc.Picture(segments[k].endMicros, false);
        char event[32];
        std::snprintf(event, sizeof event, "%03zu", k + 1);
        out += std::string("\n") + event + "  AX       AA/V  C        " + tc.Text(in) + " " + tc.Text(outPicture) +
               " " + tc.Text(recorded) + " " + tc.Text(recorded + outPicture - in) + "\n";
        recorded += outPicture - in;
        if (!segments[k].label.empty()) out += "* FROM CLIP NAME: " + OneLine(segments[k].label) + "\n";
    }
    return out;
}

// Events: a line that starts with the event's number and ends with four timecodes (source in
// and out, record in and out). The lines after it that say "* FROM CLIP NAME:" give its label,
// else its first other comment does. A second line of the same event (a transition's) stands
// for it when the first holds no picture; an event of no picture is passed over.
void ReadEdl(std::string_view text, const SegmentSource& source, SegmentIntake& intake) {
    bool drop = false;
    struct Event {
        int line;
        std::string number;
        int64_t in, out;
        std::string clip, comment;
    };
    std::vector<Event> events;
    for (const Line& line : SplitLines(text)) {
        const std::string_view body = Trim(line.text);
        const std::vector<std::string_view> words = Words(body);
        if (words.empty()) continue;
        if (body.substr(0, 4) == "FCM:") {
            drop = Lower(body).find("non") == std::string::npos && Lower(body).find("drop") != std::string::npos;
            continue;
        }
        if (body.front() == '*') {
            if (events.empty()) continue;
            std::string_view comment = Trim(body.substr(1));
            constexpr std::string_view kClip = "FROM CLIP NAME:";
            if (Lower(comment.substr(0, kClip.size())) == Lower(kClip)) {
                if (events.back().clip.empty()) events.back().clip = Trim(comment.substr(kClip.size()));
            } else if (events.back().comment.empty()) {
                if (const size_t colon = comment.find(':');
                    colon != std::string_view::npos && Lower(comment.substr(0, colon)) == "comment")
                    comment = Trim(comment.substr(colon + 1));
                events.back().comment = comment;
            }
            continue;
        }
        if (!AllDigits(words[0])) continue;  // TITLE:, M2 and other lines that are no event
        if (words.size() < 7) return intake.Fail(line.number, "an event without its four timecodes");
        // A timecode with ';' or '.' before its pictures counts drop-frame.
        const std::string_view inText = words[words.size() - 4], outText = words[words.size() - 3];
        const bool dropHere = drop || inText.find_first_of(";.") != std::string_view::npos;
        if (dropHere && !Timecode::DropRate(source))
            return intake.Fail(line.number, "a drop-frame timecode, but the source's rate is " +
                                                std::to_string(source.frameRateNum) + "/" +
                                                std::to_string(source.frameRateDen) + " pictures a second");
        const Timecode tc = Timecode::Of(source, dropHere);
        const std::optional<int64_t> in = tc.Read(inText), out = tc.Read(outText);
        if (!in) return intake.Fail(line.number, "the source in \"" + std::string(inText) + "\" is not a timecode");
        if (!out) return intake.Fail(line.number, "the source out \"" + std::string(outText) + "\" is not a timecode");
        Event e{line.number, std::string(words[0]), tc.Micros(*in), tc.Micros(*out), {}, {}};
        if (!events.empty() && events.back().number == e.number) {
            if (events.back().in != events.back().out) continue;
            e.clip = events.back().clip;
            events.back() = std::move(e);
        } else {
            events.push_back(std::move(e));
        }
    }
    for (const Event& e : events) {
        if (e.in == e.out) continue;
        if (!intake.Take({e.in, e.out, e.clip.empty() ? e.comment : e.clip, {}}, e.line)) return;
    }
}

}  // namespace ulvane::segment_text
