// Fitting one decoded picture for the preview: turned upright, its shape kept, scaled into
// a box (with black bars, or alone at the fitted size). The frame grabber's stills and the
// player's moving pictures both go through here, so that a paused picture and the still
// shown in its place are the same pixels.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/ffmpeg_util.h"
#include "engine/scaler.h"

namespace ulvane {

// The scalers of one kind of fitted picture, kept between pictures.
struct FitScalers {
    Scaler direct;  // source to the fitted picture in one step
    // A 4:2:0 source shrunk in its own format (area averaging), then converted at that size:
    // several times cheaper than one step, which matters for playback.
    Scaler shrink, convert;
    FramePtr between;
};

// `f` decoded from `stream` of `ctx`, fitted in `boxWidth` x `boxHeight` as `format` pixels
// (3 bytes each) into `out`: with `bars` the whole box, black around the picture; without,
// the fitted picture alone, its size in `width` and `height`. `turned` is scratch room for
// pictures the display matrix turns. False when the picture cannot be converted.
bool FitDecodedPicture(FitScalers& scalers, const AVFrame& f, AVFormatContext* ctx, AVStream* stream, int boxWidth,
                       int boxHeight, AVPixelFormat format, bool bars, std::vector<uint8_t>& out, int& width,
                       int& height, std::vector<uint8_t>& turned);

}  // namespace ulvane
