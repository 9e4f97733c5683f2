// INI files read and written the way the desktop's private-profile functions do it, so
// that files written by hand or by another program read the same:
//  - "[section]" opens a section, "key=value" sets a key; section and key names match
//    without regard to letter case; the first of two equal sections or keys counts;
//  - blanks around names and values are dropped, and a value in matching quotes ("..."
//    or '...') is returned without them; values are cut to 999 characters;
//  - UTF-8 with or without a byte-order mark and UTF-16LE with a mark read alike;
//  - only a regular file of at most kMaxFileBytes is read; anything else there (a folder,
//    a device, a pipe, a bigger file) reads as missing and is never written over, and no
//    call throws;
//  - there is no cache: every call reads (or rewrites) the file;
//  - a write creates file, section and key as needed and leaves every other line,
//    comment and key as it was, byte for byte; it goes through a temporary file and a
//    rename, so a crash in the middle never leaves a truncated file.
#pragma once

#include <string>
#include <string_view>

namespace ulvane::ini {

// The most characters (UTF-16 units, as the platform counts) a value read keeps.
inline constexpr size_t kMaxValueUnits = 999;

// The largest file read.
inline constexpr size_t kMaxFileBytes = size_t{1} << 20;

// Why `file` is not read: "PATH: reason" for a folder, a device or pipe, a file larger than
// kMaxFileBytes, or a read error; "" when it reads, or is not there (which reads as empty).
std::string ReadProblem(const std::string& file);

// Why a write to `file` would fail now, as "PATH: reason" ("" when it would not): the file
// is not read (above), or its folder is missing or not writable (then the nearest folder
// that is there says why). Writes nothing.
std::string WriteProblem(const std::string& file);

// The value of `key` in `section`, or `fallback` when the file, section or key is missing.
std::string ReadString(const std::string& file, std::string_view section, std::string_view key,
                       std::string_view fallback = "");

// The value read as an integer: an optional sign and the leading decimal digits, 0 when
// there are none; `fallback` when the file, section or key is missing.
int ReadInt(const std::string& file, std::string_view section, std::string_view key, int fallback);

// Sets `key` in `section` to `value`. A value that would not read back as written
// (blanks at its ends, or quotes around it) is written in double quotes. Returns false
// when the file cannot be written (see WriteProblem) or the value holds a line break.
bool WriteString(const std::string& file, std::string_view section, std::string_view key, std::string_view value);

// Exposed for the tests: the text of a file's bytes as UTF-8, whatever its encoding.
std::string DecodeText(const std::string& bytes);

}  // namespace ulvane::ini
