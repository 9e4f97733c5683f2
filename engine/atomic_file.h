// Writing files so that a reader only ever sees a whole one: replacing a file's contents
// (the old file or the new one), and placing a new output beside others (it appears under
// its final name complete, and never replaces a file that is there); and reading a small
// file of the user's without waiting on whatever else stands at its path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ulvane {

struct AtomicWriteOptions {
    // An existing file's permission bits carry over to the new one; without this (or
    // when there is no file yet) the new file gets 0644.
    bool keepMode = true;
    // The data reaches the disk before the rename, so a crash cannot leave an empty file.
    bool sync = true;
};

// Writes `bytes` to a temporary file beside `path` and renames it over `path`. On any
// failure the old file is left as it was, the temporary file is removed, and `error`
// says what went wrong.
bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string& error,
                         const AtomicWriteOptions& options = {});

inline bool WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error,
                                const AtomicWriteOptions& options = {}) {
    return WriteFileAtomically(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), error,
                               options);
}

// The bytes of `path` when it is a regular file of at most `most` bytes; nullopt for anything
// else (missing, a folder, a device, larger) or a failed read. Opening never waits: a named
// pipe, which would block until a writer came, reads as not there.
std::optional<std::string> ReadRegularFile(const std::string& path, size_t most);

// ".../clip(3).mp4" for n = 3 and ".../clip.mp4": the number goes before the file name's
// last "." (at the end when the name has none).
std::string NumberedPath(const std::string& path, long n);

// How many bytes an output's file name may grow by beyond the name and extension it was
// given: a "(n)" number when the name is taken, and the part suffix while it is written.
inline constexpr size_t kOutputNameReserve = 16;

// Creates, exclusively, the empty file an output is written into until it is complete:
// "clip.mp4.part" beside "clip.mp4", else "clip.mp4.1.part", ... when another job writes
// the same name. A file left behind by a killed job is thus named as partial, and its
// extension is no player's. Returns its path, or "" with `error` saying why.
std::string CreatePartFile(const std::string& finalPath, std::string& error);

// Moves the complete `partPath` to `finalPath` without ever replacing a file: when that
// name is taken (another job placed its output meanwhile), to the first free one of
// "clip(0).mp4", "clip(1).mp4", ... Returns the path the file got, or "" with `error`
// saying why (the part file then stays where it was).
std::string PlaceWithoutReplacing(const std::string& partPath, const std::string& finalPath, std::string& error);

}  // namespace ulvane
