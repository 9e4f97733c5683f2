// The tracks of a file as a user picks them: listed with their numbers, and chosen by a list
// such as "v:0,a:1,s:0" (a kind and its number among the file's tracks of that kind, from 0:
// v pictures, a sound, s subtitles, t attachments). A star after a sound or subtitle track
// makes it the default of its kind ("v:0,a:1*,a:0,s:0*"): the starred sound is the main one
// (else the first sound listed), and a listed subtitle track is the default only when starred.
#pragma once

#include <string>
#include <vector>

namespace ulvane {

struct FileTrack {
    std::string id;  // "a:1"
    std::string codec;
    std::string language;       // "" when untagged
    std::string title;          // "" when untagged
    int channels = 0;           // sound
    int width = 0, height = 0;  // pictures
    bool isDefault = false;
};

// Every track of the file at `path` in the file's order; empty, with `error`, when it cannot
// be read.
std::vector<FileTrack> ListTracks(const std::string& path, std::string& error);

// Why `list` does not choose tracks of the file at `path` ("" when it does): a malformed item,
// a track the file does not have, one listed twice, a star on a picture track or an
// attachment, two stars on one kind, or no picture or sound track at all.
std::string CheckTrackList(const std::string& path, const std::string& list);

}  // namespace ulvane
