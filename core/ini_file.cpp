// The INI reader and writer.
#include "core/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

#include "engine/atomic_file.h"

namespace ulvane::ini {

namespace {

enum class Encoding { Utf8, Utf8Bom, Utf16Le };

struct FileText {
    bool exists = false;
    bool refused = false;  // there, but not to be read (nor written over)
    Encoding encoding = Encoding::Utf8;
    std::string text;  // UTF-8, without a byte-order mark
};

// What reading a file gave: its bytes, nothing (no file there: it reads as empty), or a
// refusal with its reason (a folder, a device, a file past the cap, a read error).
struct Bytes {
    enum State { Read, Missing, Refused } state = Missing;
    std::string bytes;
    std::string problem;
};

std::string SystemReason(int error) {
    return std::error_code(error, std::generic_category()).message();
}

// Reads a regular file of at most kMaxFileBytes; throws nothing. Opening does not wait on a
// pipe (O_NONBLOCK), and nothing but a regular file is ever read from.
Bytes ReadBytes(const std::string& path) {
    Bytes b;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        if (errno != ENOENT && errno != ENOTDIR) b.state = Bytes::Refused, b.problem = SystemReason(errno);
        return b;
    }
    b.state = Bytes::Refused;
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        b.problem = SystemReason(errno);
    } else if (S_ISDIR(st.st_mode)) {
        b.problem = "is a folder";
    } else if (!S_ISREG(st.st_mode)) {
        b.problem = "is not a regular file";
    } else if (static_cast<uint64_t>(st.st_size) > kMaxFileBytes) {
        b.problem = "is larger than 1 MiB";
    } else {
        // Up to one byte past the cap: the size fstat gave may be stale (or 0, for the
        // kernel's own files), so the buffer grows while the reads fill it.
        b.bytes.resize(std::min<size_t>(static_cast<size_t>(st.st_size), kMaxFileBytes) + 1);
        size_t got = 0;
        ssize_t n = 0;
        while ((n = ::read(fd, b.bytes.data() + got, b.bytes.size() - got)) != 0) {
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) break;
            got += static_cast<size_t>(n);
            if (got > kMaxFileBytes) break;
            if (got == b.bytes.size()) b.bytes.resize(std::min(2 * got, kMaxFileBytes + 1));
        }
        if (n < 0) {
            b.problem = SystemReason(errno);
        } else if (got > kMaxFileBytes) {
            b.problem = "is larger than 1 MiB";
        } else {
            b.bytes.resize(got);
            b.state = Bytes::Read;
        }
    }
    ::close(fd);
    if (b.state != Bytes::Read) b.bytes.clear();
    return b;
}

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string Utf16LeToUtf8(std::string_view bytes) {
    std::string out;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        uint32_t u = static_cast<uint8_t>(bytes[i]) | static_cast<uint32_t>(static_cast<uint8_t>(bytes[i + 1])) << 8;
        if (u >= 0xD800 && u < 0xDC00 && i + 3 < bytes.size()) {
            const uint32_t lo =
                static_cast<uint8_t>(bytes[i + 2]) | static_cast<uint32_t>(static_cast<uint8_t>(bytes[i + 3])) << 8;
            if (lo >= 0xDC00 && lo < 0xE000) {
                u = 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00);
                i += 2;
            } else {
                u = 0xFFFD;
            }
        } else if (u >= 0xD800 && u < 0xE000) {
            u = 0xFFFD;
        }
        AppendUtf8(out, u);
    }
    return out;
}

// Next code point of UTF-8 text at `i` (advanced past it); bytes that are not UTF-8
// count as one character each.
uint32_t NextCodePoint(std::string_view s, size_t& i) {
    const auto b = static_cast<uint8_t>(s[i]);
    int len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    if (len == 0 || i + static_cast<size_t>(len) > s.size()) {
        ++i;
        return b;
    }
    uint32_t cp = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
    for (int k = 1; k < len; ++k) {
        const auto c = static_cast<uint8_t>(s[i + static_cast<size_t>(k)]);
        if ((c >> 6) != 2) {
            ++i;
            return b;
        }
        cp = (cp << 6) | (c & 0x3F);
    }
    i += static_cast<size_t>(len);
    return cp;
}

std::string Utf8ToUtf16Le(std::string_view s) {
    std::string out;
    for (size_t i = 0; i < s.size();) {
        uint32_t cp = NextCodePoint(s, i);
        auto put = [&](uint32_t u) {
            out += static_cast<char>(u & 0xFF);
            out += static_cast<char>(u >> 8);
        };
        if (cp >= 0x10000) {
            cp -= 0x10000;
            put(0xD800 + (cp >> 10));
            put(0xDC00 + (cp & 0x3FF));
        } else {
            put(cp);
        }
    }
    return out;
}

FileText Load(const std::string& path) {
    FileText f;
    Bytes read = ReadBytes(path);
    f.refused = read.state == Bytes::Refused;
    if (read.state != Bytes::Read) return f;
    f.exists = true;
    std::string* bytes = &read.bytes;
    if (bytes->size() >= 2 && static_cast<uint8_t>((*bytes)[0]) == 0xFF && static_cast<uint8_t>((*bytes)[1]) == 0xFE) {
        f.encoding = Encoding::Utf16Le;
        f.text = Utf16LeToUtf8(std::string_view(*bytes).substr(2));
    } else if (bytes->size() >= 3 && bytes->compare(0, 3, "\xEF\xBB\xBF") == 0) {
        f.encoding = Encoding::Utf8Bom;
        f.text = bytes->substr(3);
    } else {
        f.text = std::move(*bytes);
    }
    return f;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// One line of the file: where it is, and what it says.
struct Line {
    size_t begin = 0, end = 0;  // [begin, end) without the line break
    enum Kind { Other, Section, Key } kind = Other;
    std::string_view name;   // section or key name, trimmed
    std::string_view value;  // key value, trimmed
};

std::vector<Line> Parse(std::string_view text) {
    std::vector<Line> lines;
    for (size_t pos = 0; pos < text.size();) {
        size_t nl = text.find('\n', pos);
        const size_t stop = nl == std::string_view::npos ? text.size() : nl;
        Line l;
        l.begin = pos;
        l.end = stop;
        const std::string_view t = Trim(text.substr(pos, stop - pos));
        if (!t.empty() && t.front() == '[') {
            l.kind = Line::Section;
            const size_t close = t.find(']');
            l.name = Trim(t.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
        } else if (!t.empty() && t.front() != ';') {
            if (const size_t eq = t.find('='); eq != std::string_view::npos) {
                l.kind = Line::Key;
                l.name = Trim(t.substr(0, eq));
                l.value = Trim(t.substr(eq + 1));
            }
        }
        lines.push_back(l);
        pos = nl == std::string_view::npos ? text.size() : nl + 1;
    }
    return lines;
}

// Index of the first line of `section`'s header, and one past its last line.
struct SectionSpan {
    size_t header = SIZE_MAX, end = 0;
};
SectionSpan FindSection(const std::vector<Line>& lines, std::string_view section) {
    SectionSpan s;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].kind != Line::Section) continue;
        if (s.header != SIZE_MAX) {
            s.end = i;
            return s;
        }
        if (SameName(lines[i].name, section)) s.header = i;
    }
    if (s.header != SIZE_MAX) s.end = lines.size();
    return s;
}

std::optional<std::string_view> FindValue(std::string_view text, std::string_view section, std::string_view key) {
    const std::vector<Line> lines = Parse(text);
    const SectionSpan s = FindSection(lines, section);
    if (s.header == SIZE_MAX) return std::nullopt;
    for (size_t i = s.header + 1; i < s.end; ++i)
        if (lines[i].kind == Line::Key && SameName(lines[i].name, key)) return lines[i].value;
    return std::nullopt;
}

std::string Unquote(std::string_view v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    return std::string(v);
}

// The first kMaxValueUnits UTF-16 units of `v`, never splitting a character.
std::string Cut(const std::string& v) {
    size_t units = 0, i = 0;
    while (i < v.size()) {
        size_t next = i;
        const uint32_t cp = NextCodePoint(v, next);
        const size_t add = cp >= 0x10000 ? 2 : 1;
        if (units + add > kMaxValueUnits) break;
        units += add;
        i = next;
    }
    return v.substr(0, i);
}

}  // namespace

std::string DecodeText(const std::string& bytes) {
    if (bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xFF && static_cast<uint8_t>(bytes[1]) == 0xFE)
        return Utf16LeToUtf8(std::string_view(bytes).substr(2));
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) return bytes.substr(3);
    return bytes;
}

std::string ReadProblem(const std::string& file) {
    const Bytes b = ReadBytes(file);
    return b.state == Bytes::Refused ? file + ": " + b.problem : std::string();
}

std::string WriteProblem(const std::string& file) {
    if (std::string read = ReadProblem(file); !read.empty()) return read;
    namespace fs = std::filesystem;
    // The file goes in through a temporary file beside it: its folder must be there and
    // writable. When it is not there, the nearest folder that is says why.
    std::error_code ec;
    fs::path folder = fs::path(file).parent_path();
    if (folder.empty()) folder = ".";
    bool missing = false;
    while (!fs::exists(fs::symlink_status(folder, ec)) && folder.has_relative_path()) {
        folder = folder.parent_path();
        missing = true;
    }
    const std::string name = folder.string();
    if (!fs::is_directory(folder, ec)) return name + ": " + SystemReason(ENOTDIR);
    if (::access(name.c_str(), W_OK | X_OK) != 0) return name + ": " + SystemReason(errno);
    if (missing) return fs::path(file).parent_path().string() + ": " + SystemReason(ENOENT);
    return {};
}

std::string ReadString(const std::string& file, std::string_view section, std::string_view key,
                       std::string_view fallback) {
    const FileText f = Load(file);
    const auto value = f.exists ? FindValue(f.text, section, key) : std::nullopt;
    return Cut(value ? Unquote(*value) : std::string(fallback));
}

int ReadInt(const std::string& file, std::string_view section, std::string_view key, int fallback) {
    const FileText f = Load(file);
    const auto raw = f.exists ? FindValue(f.text, section, key) : std::nullopt;
    if (!raw) return fallback;
    const std::string value = Unquote(*raw);
    size_t i = 0;
    bool negative = false;
    if (i < value.size() && (value[i] == '+' || value[i] == '-')) negative = value[i++] == '-';
    long long n = 0;
    for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i)
        n = std::min<long long>(n * 10 + (value[i] - '0'), static_cast<long long>(INT_MAX) + 1);
    n = negative ? -n : n;
    return static_cast<int>(std::max<long long>(std::min<long long>(n, INT_MAX), INT_MIN));
}

bool WriteString(const std::string& file, std::string_view section, std::string_view key, std::string_view value) {
    if (value.find_first_of("\r\n") != std::string_view::npos ||
        section.find_first_of("\r\n]") != std::string_view::npos ||
        key.find_first_of("\r\n=") != std::string_view::npos)
        return false;
    std::string stored(value);
    const bool quoted =
        value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front();
    if (!value.empty() && (IsBlank(value.front()) || IsBlank(value.back()) || quoted)) stored = "\"" + stored + "\"";

    FileText f = Load(file);
    if (f.refused) return false;  // never written over: what is there was not read
    std::string& text = f.text;
    const std::string eol = text.find("\r\n") != std::string::npos || !f.exists ? "\r\n" : "\n";
    const std::vector<Line> lines = Parse(text);
    const SectionSpan s = FindSection(lines, section);
    if (s.header == SIZE_MAX) {
        if (!text.empty() && text.back() != '\n') text += eol;
        text += "[" + std::string(section) + "]" + eol + std::string(key) + "=" + stored + eol;
    } else {
        size_t at = SIZE_MAX, lastContent = s.header;
        for (size_t i = s.header + 1; i < s.end; ++i) {
            if (lines[i].kind == Line::Key && SameName(lines[i].name, key)) {
                at = i;
                break;
            }
            if (!Trim(std::string_view(text).substr(lines[i].begin, lines[i].end - lines[i].begin)).empty())
                lastContent = i;
        }
        if (at != SIZE_MAX) {
            // Keep the line's own key text, the blanks after its "=" and its line break;
            // replace the value.
            const Line& l = lines[at];
            size_t from = text.find('=', l.begin) + 1;
            const size_t stop = l.end > l.begin && text[l.end - 1] == '\r' ? l.end - 1 : l.end;
            while (from < stop && (text[from] == ' ' || text[from] == '\t')) ++from;
            text.replace(from, stop - from, stored);
        } else {
            const Line& after = lines[lastContent];
            size_t insert = after.end;
            std::string piece = std::string(key) + "=" + stored;
            if (insert < text.size()) {
                insert += 1;  // after that line's "\n"
                piece += eol;
            } else {
                piece = eol + piece + eol;
            }
            text.insert(insert, piece);
        }
    }
    std::string bytes;
    switch (f.encoding) {
        case Encoding::Utf8:
            bytes = text;
            break;
        case Encoding::Utf8Bom:
            bytes = "\xEF\xBB\xBF" + text;
            break;
        case Encoding::Utf16Le:
            bytes = "\xFF\xFE" + Utf8ToUtf16Le(text);
            break;
    }
    std::string error;
    return WriteFileAtomically(file, bytes, error);
}

}  // namespace ulvane::ini
