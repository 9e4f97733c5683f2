// Whether a direct job can copy a file into another container, and what becomes of the
// tracks that container cannot keep as they are: told before the job starts.
#pragma once

#include <string>
#include <vector>

namespace ulvane {

// A track a container cannot keep as it is, as the window words it in its own language.
struct TrackChange {
    char kind = 'a';          // 'a' sound, 's' subtitle, 't' attachment
    int number = 0;           // among the file's tracks of that kind, from 1
    std::string codec;        // "subrip"
    std::string convertedTo;  // "mov_text"; "" when the track is left out
};

struct ContainerFit {
    bool opened = false;    // the file could be read; else `error` says why
    bool writable = false;  // FFmpeg writes a container of that extension
    // A main track (the video, the main sound) the container cannot hold: "video (vp9)";
    // "" when both fit. A copy into it is then not possible.
    std::string refused;
    char refusedKind = 0;      // 'v' the video, 'a' the main sound, when one is refused
    std::string refusedCodec;  // its codec ("vp9")
    // The other tracks it cannot keep as they are, in the file's order, each with what
    // happens to it: "subtitle track 1 (subrip): converted to mov_text", "...: left out".
    std::vector<std::string> changes;
    std::vector<TrackChange> trackChanges;  // the same, one for each line of `changes`
    std::string error;
};

// How a copy of the file at `path` into a container named by `extension` ("mp4", "mkv",
// "ts") keeps its tracks: all of them, or those `tracks` lists (see track_choice.h).
ContainerFit FitContainer(const std::string& path, const std::string& extension, const std::string& tracks = "");

// Whether FFmpeg writes a container of that extension.
bool WritesContainer(const std::string& extension);

// Whether a container of that extension keeps a display rotation (MP4 and QuickTime files do),
// so that a direct job can turn the pictures without encoding them again.
bool StoresRotation(const std::string& extension);

}  // namespace ulvane
