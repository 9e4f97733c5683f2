// A picture scaler kept between pictures: rebuilt only when the source pictures or the
// wanted output change, so a run of same-shaped pictures shares one.
#pragma once

#include "engine/ffmpeg_util.h"

namespace ulvane {

struct ScalerTarget {
    int width = 0;
    int height = 0;
    AVPixelFormat format = AV_PIX_FMT_NONE;
    int flags = SWS_BICUBIC;  // SWS_* algorithm flags
    int threads = 0;          // slice threads of the scaler; 0 leaves FFmpeg's default (one)

    bool operator==(const ScalerTarget&) const = default;
};

class Scaler {
public:
    // The scaler from pictures shaped like `src` to `target`; null when FFmpeg cannot
    // make one. Colour ranges follow the pixel formats (full range for YUVJ sources).
    SwsContext* For(const AVFrame& src, const ScalerTarget& target);

private:
    SwsPtr sws_;
    int srcWidth_ = 0, srcHeight_ = 0, srcFormat_ = -1;
    ScalerTarget target_;
};

}  // namespace ulvane
