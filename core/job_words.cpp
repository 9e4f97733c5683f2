// Jobs as command words.
#include "core/job_words.h"

#include <algorithm>
#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <iterator>
#include <string_view>

namespace ulvane {

namespace {

// The escapes of $'…' that ShellLine writes, and the characters they stand for.
constexpr std::string_view kEscaped = "nrt\\'\"";
constexpr std::string_view kEscapedAs = "\n\r\t\\'\"";

// Reads the $'…' that starts at `line[at]` onto `word`; the place of its closing quote, or
// npos when it is not closed. Other escapes are kept as written, backslash and all.
size_t ReadDollarQuoted(const std::string& line, size_t at, std::string& word) {
    for (size_t k = at + 2; k < line.size(); ++k) {
        if (line[k] == '\'') return k;
        const size_t e = line[k] == '\\' && k + 1 < line.size() ? kEscaped.find(line[k + 1]) : std::string_view::npos;
        if (e != std::string_view::npos) {
            word += kEscapedAs[e];
            ++k;
        } else {
            word += line[k];
        }
    }
    return std::string::npos;
}

}  // namespace

std::optional<std::vector<std::string>> SplitWords(const std::string& line, std::string& error) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;  // a word was begun: '' is an empty word of its own
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (blank(c)) {
            if (inWord) words.push_back(std::move(word));
            word.clear();
            inWord = false;
        } else if (c == '#' && !inWord) {
            break;
        } else if (c == '$' && i + 1 < line.size() && line[i + 1] == '\'') {
            i = ReadDollarQuoted(line, i, word);
            if (i == std::string::npos) {
                error = "a $' is not closed";
                return std::nullopt;
            }
            inWord = true;
        } else if (c == '\'') {
            const size_t close = line.find('\'', i + 1);
            if (close == std::string::npos) {
                error = "a ' is not closed";
                return std::nullopt;
            }
            word.append(line, i + 1, close - i - 1);
            i = close;
            inWord = true;
        } else if (c == '"') {
            size_t k = i + 1;
            for (; k < line.size() && line[k] != '"'; ++k) {
                if (line[k] == '\\' && k + 1 < line.size() &&
                    std::string_view("\"\\$`").find(line[k + 1]) != std::string_view::npos)
                    ++k;
                word += line[k];
            }
            if (k >= line.size()) {
                error = "a \" is not closed";
                return std::nullopt;
            }
            i = k;
            inWord = true;
        } else if (c == '\\') {
            if (i + 1 < line.size()) word += line[++i];
            inWord = true;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) words.push_back(std::move(word));
    return words;
}

namespace {

// Letters, digits and the marks no shell reads apart need no quotes.
bool Plain(const std::string& w) {
    if (w.empty()) return false;
    for (const char c : w) {
        const auto u = static_cast<unsigned char>(c);
        if (!(std::isalnum(u) || std::string_view("-_./:,+=%@^").find(c) != std::string_view::npos || u >= 0x80))
            return false;
    }
    return true;
}

std::string Seconds(int64_t micros) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%" PRId64 ".%06" PRId64, micros / 1'000'000, micros % 1'000'000);
    return buf;
}

// The words every job has: its method, container, rows and output.
void AddOutput(std::vector<std::string>& w, const OutputChoice& out, int rotate) {
    w.insert(w.end(), {"--out-dir", out.folder, "--name", out.name});
    if (!out.direct) {
        w.emplace_back("--reencode");
        const std::pair<const char*, int> rows[] = {{"--format", out.rows.format},
                                                    {"--quality", out.rows.quality},
                                                    {"--size", out.rows.size},
                                                    {"--framerate", out.rows.framerate},
                                                    {"--audioquality", out.rows.audioquality},
                                                    {"--samplerate", out.rows.samplerate}};
        for (const auto& [flag, row] : rows) w.insert(w.end(), {flag, std::to_string(row)});
    } else {
        if (out.exact) w.emplace_back("--exact");
        if (!out.container.empty()) w.insert(w.end(), {"--container", out.container});
    }
    if (rotate != 0) w.insert(w.end(), {"--rotate", std::to_string(rotate)});
}

}  // namespace

std::string ShellLine(const std::vector<std::string>& words) {
    std::string line;
    for (const std::string& w : words) {
        if (!line.empty()) line += ' ';
        if (Plain(w)) {
            line += w;
            continue;
        }
        if (w.find_first_of("\r\n") != std::string::npos) {
            line += "$'";
            for (const char c : w) {
                const size_t e = kEscapedAs.find(c);
                line += e == std::string_view::npos ? std::string(1, c) : std::string{'\\', kEscaped[e]};
            }
            line += '\'';
            continue;
        }
        line += '\'';
        for (const char c : w) line += c == '\'' ? std::string("'\\''") : std::string(1, c);
        line += '\'';
    }
    return line;
}

std::vector<std::string> CutJobWords(const CutLaunch& cut, int rotate) {
    std::vector<std::string> w{"cut",     cut.source,
                               "--start", Seconds(int64_t{cut.startMs} * 1000),
                               "--end",   Seconds(int64_t{cut.endMs} * 1000)};
    if (!cut.tracks.empty()) w.insert(w.end(), {"--tracks", cut.tracks});
    AddOutput(w, cut.output, rotate);
    return w;
}

std::vector<std::string> SegmentsJobWords(const SegmentsLaunch& launch, int rotate) {
    std::vector<std::string> w{"cut", launch.file.path};
    for (const Segment& s : launch.segments) {
        w.insert(w.end(), {"--segment", Seconds(s.startMicros) + "-" + Seconds(s.endMicros)});
        if (!s.label.empty()) w.insert(w.end(), {"--label", s.label});
        if (!s.output.empty()) w.insert(w.end(), {"--into", s.output});
    }
    w.emplace_back(launch.mode == ExportMode::Separate ? "--separate"
                   : launch.mode == ExportMode::Merge  ? "--merge"
                                                       : "--merge-outside");
    if (launch.chapters) w.emplace_back("--chapters");
    if (!launch.file.tracks.empty()) w.insert(w.end(), {"--tracks", launch.file.tracks});
    AddOutput(w, launch.output, rotate);
    return w;
}

std::vector<std::string> JoinJobWords(const JoinLaunch& join, int rotate) {
    std::vector<std::string> w{"join"};
    AddOutput(w, join.output, rotate);
    if (join.chapters) w.emplace_back("--chapters");
    for (const JoinFile& f : join.files) {
        w.push_back(f.path);
        if (f.clipped) w.insert(w.end(), {"--from", Seconds(f.startMicros), "--to", Seconds(f.endMicros)});
        if (!f.tracks.empty()) w.insert(w.end(), {"--tracks", f.tracks});
    }
    return w;
}

std::string FailureReason(const std::string& err) {
    constexpr std::string_view kSkipped[] = {"note: ", "progress ", "input "};
    std::string reason;
    size_t start = 0;
    while (start < err.size()) {
        size_t end = err.find('\n', start);
        if (end == std::string::npos) end = err.size();
        std::string_view line(err.data() + start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || std::any_of(std::begin(kSkipped), std::end(kSkipped),
                                        [&](std::string_view s) { return line.starts_with(s); }))
            continue;
        if (line.starts_with("ulvane-cli: ")) line.remove_prefix(12);
        if (const size_t hint = line.rfind(" (see 'ulvane-cli"); hint != std::string_view::npos)
            line = line.substr(0, hint);
        if (!reason.empty()) reason += "; ";
        reason += line;
    }
    return reason;
}

}  // namespace ulvane
