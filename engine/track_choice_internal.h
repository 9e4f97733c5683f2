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
// The streams `list` names, in its order; fails naming the first item that names none.
Status ResolveTrackList(const AVFormatContext* ctx, const std::string& list, std::vector<int>& streams);

}  // namespace ulvane
