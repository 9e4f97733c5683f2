// The segment list's checks, the parts outside it, its CSV form, its undo history and its store.
#include "core/segments.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <map>
#include <system_error>

#include "core/time_text.h"
#include "engine/atomic_file.h"

namespace ulvane {

namespace fs = std::filesystem;

namespace {

constexpr size_t kMaxTextBytes = size_t{16} << 20;
constexpr size_t kMaxSegments = 100000;
constexpr int64_t kEndSlackMicros = 1000;
constexpr std::string_view kStoreMagic = "ulvane-segments";

// FormatTime's text, with the microseconds after the milliseconds when there are any, and
// hours past FormatTime's range written here.
std::string TimeText(int64_t micros) {
    micros = std::max<int64_t>(micros, 0);
    const int64_t ms = micros / 1000;
    std::string text;
    if (ms <= std::numeric_limits<int32_t>::max()) {
        text = FormatTime(static_cast<int32_t>(ms));
    } else {
        constexpr int64_t kHourMs = 3600000;
        text = std::to_string(ms / kHourMs) + FormatTime(static_cast<int32_t>(ms % kHourMs)).substr(2);
    }
    if (micros % 1000 != 0) {
        char digits[8];
        std::snprintf(digits, sizeof digits, "%03d", static_cast<int>(micros % 1000));
        text += digits;
    }
    return text;
}

std::string Numbered(size_t index) {
    return "segment " + std::to_string(index + 1);
}

std::string Span(const Segment& s) {
    return TimeText(s.startMicros) + " to " + TimeText(s.endMicros);
}

// What is wrong with one segment on its own, said of `subject` ("segment 2"); "" when nothing.
std::string SegmentFault(const Segment& s, const std::string& subject, int64_t lengthMicros) {
    if (s.endMicros == s.startMicros) return subject + " ends where it starts, at " + TimeText(s.startMicros);
    if (s.endMicros < s.startMicros)
        return subject + " ends at " + TimeText(s.endMicros) + ", before its start at " + TimeText(s.startMicros);
    if (s.startMicros < 0) return subject + " starts before the start of the file";
    if (lengthMicros > 0 && s.endMicros > lengthMicros + kEndSlackMicros)
        return subject + " ends at " + TimeText(s.endMicros) + ", after the end of the file at " +
               TimeText(lengthMicros);
    return {};
}

// A line of a CSV text is a header (skipped) only when it is the first and none of its
// fields could be a time: "start,end,label". A first line with a mistyped time ("0:1O") is
// a line with an error, not a header.
bool HeaderLine(const std::vector<std::string>& fields) {
    return std::none_of(fields.begin(), fields.end(), [](const std::string& f) {
        return std::any_of(f.begin(), f.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
    });
}

bool Blank(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return std::isspace(static_cast<unsigned char>(c)); });
}

// Reads CSV records one by one: fields split at commas, quoted fields with doubled quotes
// and line breaks inside, any of CRLF, LF and CR ending a record. Counts lines as it goes.
class CsvRecords {
public:
    explicit CsvRecords(std::string_view text) : text_(text) {}

    // The next record into `fields`; false at the end of the text or on an error (then
    // `error` says what, with the line).
    bool Next(std::vector<std::string>& fields, std::string& error) {
        fields.clear();
        if (pos_ >= text_.size()) return false;
        recordLine_ = line_;
        std::string field;
        for (;;) {
            if (pos_ < text_.size() && text_[pos_] == '"') {
                if (!ReadQuoted(field, error)) return false;
                if (pos_ < text_.size() && text_[pos_] != ',' && !AtLineBreak()) {
                    error = LinePrefix() + "text follows a quoted field's closing quote";
                    return false;
                }
            } else {
                while (pos_ < text_.size() && text_[pos_] != ',' && !AtLineBreak()) field += text_[pos_++];
            }
            fields.push_back(std::move(field));
            field.clear();
            if (pos_ < text_.size() && text_[pos_] == ',') {
                ++pos_;
                continue;
            }
            SkipLineBreak();
            return true;
        }
    }

    int recordLine() const { return recordLine_; }
    size_t offset() const { return pos_; }
    std::string LinePrefix() const { return ulvane::LinePrefix(recordLine_); }

private:
    bool AtLineBreak() const { return text_[pos_] == '\n' || text_[pos_] == '\r'; }

    void SkipLineBreak() {
        if (pos_ >= text_.size()) return;
        if (text_[pos_] == '\r' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '\n') ++pos_;
        ++pos_;
        ++line_;
    }

    bool ReadQuoted(std::string& field, std::string& error) {
        ++pos_;
        while (pos_ < text_.size()) {
            const char c = text_[pos_];
            if (c == '"') {
                if (pos_ + 1 < text_.size() && text_[pos_ + 1] == '"') {
                    field += '"';
                    pos_ += 2;
                    continue;
                }
                ++pos_;
                return true;
            }
            if (c == '\r' || c == '\n') {
                // A line break inside the field is kept as written; it still counts as a line.
                const size_t from = pos_;
                SkipLineBreak();
                field.append(text_.substr(from, pos_ - from));
            } else {
                field += c;
                ++pos_;
            }
        }
        error = LinePrefix() + "a quoted field is not closed";
        return false;
    }

    std::string_view text_;
    size_t pos_ = 0;
    int line_ = 1;
    int recordLine_ = 1;
};

void AppendCsvField(std::string& out, const std::string& field) {
    if (field.find_first_of(",\"\r\n") == std::string::npos) {
        out += field;
        return;
    }
    out += '"';
    for (char c : field) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

// Reads a regular file of at most kMaxTextBytes; nullopt for anything else. Opening does
// not wait on a pipe.
std::optional<std::string> ReadSmallFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return std::nullopt;
    std::optional<std::string> result;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<uint64_t>(st.st_size) <= kMaxTextBytes) {
        // The size fstat gave may be stale: the reads stop one buffer past the cap.
        std::string bytes;
        char buffer[1 << 16];
        ssize_t n = 0;
        while (bytes.size() <= kMaxTextBytes && (n = ::read(fd, buffer, sizeof buffer)) != 0) {
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) break;
            bytes.append(buffer, static_cast<size_t>(n));
        }
        if (n >= 0 && bytes.size() <= kMaxTextBytes) result = std::move(bytes);
    }
    ::close(fd);
    return result;
}

// What identifies a source's state: its absolute path, size and modification time.
struct SourceIdentity {
    std::string path;
    uintmax_t size = 0;
    int64_t modified = 0;  // the file clock's ticks
};

std::optional<SourceIdentity> IdentifySource(const std::string& source) {
    std::error_code ec;
    SourceIdentity id;
    id.path = fs::absolute(source, ec).lexically_normal().string();
    if (ec) return std::nullopt;
    id.size = fs::file_size(id.path, ec);
    if (ec) return std::nullopt;
    const fs::file_time_type modified = fs::last_write_time(id.path, ec);
    if (ec) return std::nullopt;
    id.modified = static_cast<int64_t>(modified.time_since_epoch().count());
    return id;
}

// 64-bit FNV-1a.
uint64_t HashPath(std::string_view path) {
    uint64_t hash = 0xcbf29ce484222325ULL;
    for (unsigned char c : path) hash = (hash ^ c) * 0x100000001b3ULL;
    return hash;
}

std::string EntryName(const std::string& absolutePath) {
    char name[32];
    std::snprintf(name, sizeof name, "%016" PRIx64 ".csv", HashPath(absolutePath));
    return name;
}

// One step of undo or redo: the newest state of `from`, leaving `current` on `to`.
std::optional<SegmentState> StepBetween(std::vector<SegmentState>& from, std::vector<SegmentState>& to,
                                        const SegmentState& current) {
    if (from.empty()) return std::nullopt;
    SegmentState state = std::move(from.back());
    from.pop_back();
    to.push_back(current);
    return state;
}

}  // namespace

std::optional<SegmentProblem> CheckSegments(const std::vector<Segment>& segments, int64_t lengthMicros, bool disjoint) {
    // The first segment wrong on its own; an overlap is looked for only among those before it.
    std::optional<SegmentProblem> problem;
    for (size_t i = 0; i < segments.size() && !problem; ++i)
        if (std::string why = SegmentFault(segments[i], Numbered(i), lengthMicros); !why.empty())
            problem = SegmentProblem{static_cast<int>(i), std::move(why)};
    if (!disjoint) return problem;
    const size_t valid = problem ? static_cast<size_t>(problem->index) : segments.size();
    // The segments before i, in list order, are disjoint; keyed by start, their ends rise
    // too, so i overlaps one of them only if it overlaps a neighbour by start.
    std::map<int64_t, size_t> placed;
    for (size_t i = 0; i < valid; ++i) {
        const Segment& s = segments[i];
        const auto after = placed.lower_bound(s.startMicros);
        std::optional<size_t> other;
        if (after != placed.end() && segments[after->second].startMicros < s.endMicros) other = after->second;
        if (after != placed.begin() && segments[std::prev(after)->second].endMicros > s.startMicros)
            other = std::prev(after)->second;
        if (other)
            return SegmentProblem{static_cast<int>(i), Numbered(i) + " (" + Span(s) + ") overlaps " + Numbered(*other) +
                                                           " (" + Span(segments[*other]) + ")"};
        placed.emplace(s.startMicros, i);
    }
    return problem;
}

std::vector<Segment> OutsideSegments(const std::vector<Segment>& segments, int64_t lengthMicros) {
    std::vector<Segment> covered;
    for (const Segment& s : segments) {
        const int64_t start = std::max<int64_t>(s.startMicros, 0);
        const int64_t end = std::min(s.endMicros, lengthMicros);
        if (start < end) covered.push_back({start, end, {}});
    }
    std::sort(covered.begin(), covered.end(),
              [](const Segment& a, const Segment& b) { return a.startMicros < b.startMicros; });
    std::vector<Segment> outside;
    int64_t reached = 0;  // everything before this is covered or already given out
    for (const Segment& s : covered) {
        if (s.startMicros > reached) outside.push_back({reached, s.startMicros, {}});
        reached = std::max(reached, s.endMicros);
    }
    if (reached < lengthMicros) outside.push_back({reached, lengthMicros, {}});
    return outside;
}

std::string SegmentsToCsv(const std::vector<Segment>& segments) {
    const bool outputs =
        std::any_of(segments.begin(), segments.end(), [](const Segment& s) { return !s.output.empty(); });
    std::string out = outputs ? "start,end,label,output\n" : "start,end,label\n";
    for (const Segment& s : segments) {
        out += TimeText(s.startMicros) + ',' + TimeText(s.endMicros) + ',';
        AppendCsvField(out, s.label);
        if (outputs) {
            out += ',';
            AppendCsvField(out, s.output);
        }
        out += '\n';
    }
    return out;
}

std::string LinePrefix(int line) {
    return "line " + std::to_string(line) + ": ";
}

bool SegmentIntake::Admit(std::string_view text) {
    if (text.size() > kMaxTextBytes) result_.error = "the text is larger than 16 MiB";
    return !failed();
}

void SegmentIntake::Fail(int line, const std::string& what) {
    if (!failed()) result_.error = LinePrefix(line) + what;
}

void SegmentIntake::Fail(const std::string& error) {
    if (!failed()) result_.error = error;
}

bool SegmentIntake::Take(Segment s, int line) {
    if (failed()) return false;
    const std::string at = LinePrefix(line);
    if (result_.segments.size() == kMaxSegments) {
        result_.error = at + "more than " + std::to_string(kMaxSegments) + " segments";
    } else if (lengthMicros_ > 0 && s.startMicros >= lengthMicros_ && s.endMicros > s.startMicros) {
        result_.error = at + "the segment starts at " + TimeText(s.startMicros) +
                        ", at or after the end of the file at " + TimeText(lengthMicros_);
    } else {
        result_.error = SegmentFault(s, at + "the segment", 0);
    }
    if (failed()) return false;
    if (lengthMicros_ > 0 && s.endMicros > lengthMicros_ + kEndSlackMicros) {
        result_.notes.push_back(at + "the segment's end " + TimeText(s.endMicros) + " is past the end of the file at " +
                                TimeText(lengthMicros_) + "; it ends there");
        s.endMicros = lengthMicros_;
    }
    result_.segments.push_back(std::move(s));
    return true;
}

CsvResult SegmentIntake::Finish() {
    if (failed()) {
        result_.segments.clear();
        result_.notes.clear();
    }
    return std::move(result_);
}

CsvResult SegmentsFromCsv(std::string_view text, int64_t lengthMicros) {
    SegmentIntake intake(lengthMicros);
    if (!intake.Admit(text)) return intake.Finish();
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    CsvRecords records(text);
    std::vector<std::string> fields;
    std::string error;
    bool first = true;
    while (records.Next(fields, error)) {
        if (std::all_of(fields.begin(), fields.end(), Blank)) continue;
        const bool header = first && HeaderLine(fields);
        first = false;
        if (header) continue;
        const int line = records.recordLine();
        const std::optional<int64_t> start = ParseTypedTime(fields[0]);
        const std::optional<int64_t> end = fields.size() < 2 ? std::nullopt : ParseTypedTime(fields[1]);
        if (fields.size() > 4 && !std::all_of(fields.begin() + 4, fields.end(), Blank)) {
            intake.Fail(line, "more than four fields (start, end, label, output); quote a label that holds a comma");
        } else if (fields.size() < 2) {
            intake.Fail(line, "no end time after \"" + fields[0] + "\"");
        } else if (!start) {
            intake.Fail(line, "the start \"" + fields[0] + "\" is not a time");
        } else if (!end) {
            intake.Fail(line, "the end \"" + fields[1] + "\" is not a time");
        } else {
            Segment s{*start, *end, fields.size() > 2 ? fields[2] : "", fields.size() > 3 ? fields[3] : ""};
            if (intake.Take(std::move(s), line)) continue;
        }
        break;
    }
    if (!error.empty()) intake.Fail(error);
    return intake.Finish();
}

void SegmentHistory::Record(const SegmentState& before) {
    redo_.clear();
    undo_.push_back(before);
    if (undo_.size() > depth_) undo_.erase(undo_.begin(), undo_.end() - static_cast<std::ptrdiff_t>(depth_));
}

std::optional<SegmentState> SegmentHistory::Undo(const SegmentState& current) {
    return StepBetween(undo_, redo_, current);
}

std::optional<SegmentState> SegmentHistory::Redo(const SegmentState& current) {
    return StepBetween(redo_, undo_, current);
}

void SegmentHistory::Clear() {
    undo_.clear();
    redo_.clear();
}

std::vector<Segment> SegmentStore::Load(const std::string& source) const {
    const std::optional<SourceIdentity> id = IdentifySource(source);
    if (!id) return {};
    const std::optional<std::string> text = ReadSmallFile((fs::path(folder_) / EntryName(id->path)).string());
    if (!text) return {};
    // The first record names the source the entry belongs to, as it was when saved.
    CsvRecords records(*text);
    std::vector<std::string> fields;
    std::string error;
    if (!records.Next(fields, error) || fields.size() != 4 || fields[0] != kStoreMagic ||
        fields[1] != std::to_string(id->size) || fields[2] != std::to_string(id->modified) || fields[3] != id->path)
        return {};
    CsvResult read = SegmentsFromCsv(std::string_view(*text).substr(records.offset()));
    return read.error.empty() ? std::move(read.segments) : std::vector<Segment>{};
}

bool SegmentStore::Save(const std::string& source, const std::vector<Segment>& segments) const {
    const std::optional<SourceIdentity> id = IdentifySource(source);
    if (!id) return false;
    const fs::path entry = fs::path(folder_) / EntryName(id->path);
    std::error_code ec;
    if (segments.empty()) {
        fs::remove(entry, ec);
        return !ec;
    }
    fs::create_directories(folder_, ec);
    if (ec || !fs::is_directory(folder_, ec)) return false;
    std::string text(kStoreMagic);
    text += ',' + std::to_string(id->size) + ',' + std::to_string(id->modified) + ',';
    AppendCsvField(text, id->path);
    text += '\n' + SegmentsToCsv(segments);
    std::string error;
    return WriteFileAtomically(entry.string(), text, error, {.keepMode = false, .sync = true});
}

}  // namespace ulvane
