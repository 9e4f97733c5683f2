// Which picture is on screen when: decoded pictures, fed in the order they show, come out with
// the time each starts and how long it lasts. The picture shown at t is the last one that starts
// at or before t; the next one's start says how long it lasts. The grabber, the player (both
// ways) and the exact cut all go by this, so a paused picture, a grabbed one and the first
// picture of an exact cut from the same time are the same picture.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/cut_start.h"
#include "engine/ffmpeg_util.h"

namespace ulvane {

// A picture and when it shows, microseconds on the caller's clock.
struct ShownFrame {
    FramePtr frame;
    int64_t start = 0;
    int64_t lasting = 0;

    int64_t end() const { return start + lasting; }
};

class ShownPictures {
public:
    // Lasting of a picture whose end nothing tells, in the mode where starts are known
    // (KnowStarts): it shows to the end of what is cut or played.
    static constexpr int64_t kOpenEnd = INT64_MAX / 4;

    // Pictures that end at or before `from` are passed over, so the first one out is the picture
    // shown at `from` (or the first picture, when none starts that early). `frameMicros`: how
    // long a picture shows when nothing else tells (the last one; one without a time).
    ShownPictures(int64_t from, int64_t frameMicros);

    // The start of every picture, known beforehand (from the packets): each picture then comes
    // out as soon as it is fed, lasting up to the next start known after its own.
    void KnowStarts(std::vector<int64_t> starts);

    // Feeds the next picture (its data moved from `f`), starting at `at`; AV_NOPTS_VALUE when
    // unknown: it then follows the picture before by a picture's time. A picture that does not
    // start after the one fed before it is dropped: of equal or falling times, the first stays.
    // True when a picture came out into `out`.
    bool Feed(AVFrame* f, int64_t at, ShownFrame& out);
    // No more pictures: the one held back comes out, lasting a picture's time.
    bool Finish(ShownFrame& out);

    // Starts again for pictures shown from `from` (after a seek).
    void Restart(int64_t from);

private:
    int64_t from_;
    int64_t frameMicros_;
    std::vector<int64_t> starts_;
    FramePtr held_ = MakeFrame();
    int64_t heldAt_ = AV_NOPTS_VALUE;
    int64_t lastAt_ = AV_NOPTS_VALUE;  // the start of the picture fed last
};

}  // namespace ulvane
