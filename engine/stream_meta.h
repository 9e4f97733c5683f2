// Stream properties an output keeps from its source: rotation, language, title and the
// flags that tell a player which track to choose.
#pragma once

extern "C" {
#include <libavformat/avformat.h>
}

namespace ulvane {

// Copies the language, title and choice flags (default, forced, ...) of `from` onto `to`,
// and its display matrix (rotation) when
// `rotation` is set: copied pictures keep it, re-encoded ones are turned upright instead.
void CopyStreamLooks(const AVStream* from, AVStream* to, bool rotation);

}  // namespace ulvane
