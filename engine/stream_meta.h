// Stream properties an output keeps from its source: rotation and language.
#pragma once

extern "C" {
#include <libavformat/avformat.h>
}

namespace ulvane {

// Copies the display matrix (rotation) and the language tag of `from` onto `to`.
void CopyStreamLooks(const AVStream* from, AVStream* to);

}  // namespace ulvane
