// Where a file's video has its key frames: the places a direct cut can start from.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace ulvane {

// The times of the video's key frames, in microseconds from the file's start, rising: from
// the container's index when it has one (MP4, MOV, Matroska...), else by reading the packets
// without decoding them. Meant for a background thread: returns what it found so far once
// `cancel` is set. Empty for a file without video or that cannot be opened.
std::vector<int64_t> KeyFrameTimes(const std::string& path, const std::atomic<bool>& cancel);

// The key frame a direct cut from `startMicros` begins with: the last one at or before it
// (the first one when none is); `startMicros` itself when `keys` is empty.
int64_t DirectCutStart(const std::vector<int64_t>& keys, int64_t startMicros);

}  // namespace ulvane
