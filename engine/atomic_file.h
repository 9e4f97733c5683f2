// Replacing a file's contents so that a reader only ever sees the old file or the new one.
#pragma once

#include <cstddef>
#include <cstdint>
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

}  // namespace ulvane
