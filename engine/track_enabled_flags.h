// The "enabled" flag of an MP4/MOV file's track headers. FFmpeg's MP4 writer enables the
// default track of each kind, and when a kind has none, its first track; readers take an
// enabled subtitle track for one to show unasked. TurnOffTracks clears the flag of the tracks
// named, in a file already written, in place.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/status.h"

namespace ulvane {

// Whether FFmpeg writes a file of this format (its short name) with the MP4 writer.
bool WrittenAsMp4(const char* formatName);

// Clears the enabled flag of the tracks with these ids (FFmpeg's writer numbers a file's tracks
// as its streams, from 1). Fails when the file cannot be read or written; a file whose boxes
// are not as expected (no movie box, a track missing) is left as it is.
Status TurnOffTracks(const std::string& path, const std::vector<uint32_t>& trackIds);

}  // namespace ulvane
