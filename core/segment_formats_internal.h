// What the readers and writers of the segment list formats share: a text split into numbered
// lines and words, and the EDL's own reader and writer (segment_edl.cpp).
#pragma once

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/segment_formats.h"

namespace ulvane::segment_text {

inline constexpr int64_t kSecond = 1000000;

inline std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

inline std::string_view Trim(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
    return text;
}

inline bool AllDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

// The lines of a text with their numbers (from 1), any of CRLF, LF and CR ending one; a
// byte order mark before the first is passed over.
struct Line {
    int number;
    std::string_view text;
};
inline std::vector<Line> SplitLines(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    std::vector<Line> lines;
    int number = 1;
    size_t from = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] != '\n' && text[i] != '\r') continue;
        if (i < text.size() || from < text.size()) lines.push_back({number++, text.substr(from, i - from)});
        if (i + 1 < text.size() && text[i] == '\r' && text[i + 1] == '\n') ++i;
        from = i + 1;
    }
    return lines;
}

inline std::vector<std::string_view> Words(std::string_view text) {
    std::vector<std::string_view> words;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
        const size_t from = i;
        while (i < text.size() && !std::isspace(static_cast<unsigned char>(text[i]))) ++i;
        if (i > from) words.push_back(text.substr(from, i - from));
    }
    return words;
}

// A label on one line: line breaks become spaces.
inline std::string OneLine(std::string text) {
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
    return text;
}

// An edit decision list of `segments` at the source's frame rate, and one read.
std::string WriteEdl(const std::vector<Segment>& segments, const SegmentSource& source);
void ReadEdl(std::string_view text, const SegmentSource& source, SegmentIntake& intake);

}  // namespace ulvane::segment_text
