// The engine's side of track lists: the kind and number of a stream, and a list resolved to
// stream indices.
#pragma once

#include <string>
#include <vector>

#include "engine/ffmpeg_util.h"
#include "engine/status.h"

namespace ulvane {

// 'v', 'a', 's' or 't' for a track of that kind; 0 for a stream that is no track of its own.
char TrackKind(const AVFormatContext* ctx, unsigned index);
// "a:1": the kind and the number among the file's tracks of that kind; "" for no track.
std::string TrackId(const AVFormatContext* ctx, unsigned index);
// A list resolved: the streams it names in its order, and the ones marked with a star as the
// default sound and subtitle track (-1 for none marked).
struct ResolvedTracks {
    std::vector<int> streams;
    int defaultSound = -1;
    int defaultSubtitle = -1;
};
// Resolves `list`; fails naming the first item that names no track, a star on a picture
// track or an attachment, or a second star of one kind.
Status ResolveTrackList(const AVFormatContext* ctx, const std::string& list, ResolvedTracks& resolved);

}  // namespace ulvane
