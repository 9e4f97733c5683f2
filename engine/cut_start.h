// The picture a cut starts on: a start less than half a picture's time (at least a millisecond,
// for a time given to the millisecond) before a picture starts on that picture; any other
// start, within the picture shown there. The exact cut goes by it, and the window shows it.
// Microseconds on one clock throughout.
#pragma once

#include <cstdint>

namespace ulvane {

// Whether a cut from `start` starts on the picture that starts next, at `nextStart`.
bool StartsOnNextPicture(int64_t start, int64_t nextStart, int64_t frameMicros);

// The start of the picture a cut from `start` starts on, given the picture shown at `start`
// (when it starts and how long it lasts; a picture that starts just after `start`, within its
// millisecond, stands for the next one). On 25 fps, a start at 4.4791 s, where the picture of
// 4.440 s shows, starts on the picture of 4.480 s; a start at 4.47 s on that of 4.440 s.
int64_t CutStartPicture(int64_t start, int64_t shownFrom, int64_t shownFor);

}  // namespace ulvane
