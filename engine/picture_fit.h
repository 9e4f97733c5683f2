// Showing a source picture upright and undistorted in a box of another size: the turn
// its display matrix asks for, and the place of the scaled picture inside the box
// (letterbox or pillarbox), keeping the shown aspect ratio.
#pragma once

#include <cstdint>

extern "C" {
#include <libavformat/avformat.h>
}

namespace ulvane {

// A turn by quarter turns and flips. The picture shown at (x, y) is the source's pixel
// at (sx, sy): with `transpose` sx = y, sy = x, otherwise sx = x, sy = y; then flipX
// takes sx from the right edge, flipY sy from the bottom.
struct Orientation {
    bool transpose = false, flipX = false, flipY = false;
    bool upright() const { return !transpose && !flipX && !flipY; }
};

// The turn the stream's display matrix asks for, as the ffmpeg tool applies it: 90, 180
// and 270 degrees with or without a flip, then `clockwise` degrees more (a user's turn).
// Any other angle is left as it is.
Orientation OrientationOf(const AVStream* st, int clockwise = 0);

// The stream's display matrix (the identity without one) turned `clockwise` degrees more.
void TurnedDisplayMatrix(const AVStream* st, int clockwise, int32_t matrix[9]);

// Where the scaled picture lies in the box: its size and top-left corner.
struct PictureFit {
    int width = 0, height = 0, x = 0, y = 0;
    bool fills(int boxWidth, int boxHeight) const { return width == boxWidth && height == boxHeight; }
};

// The largest picture of the source's shown aspect ratio (coded size, sample aspect and
// turn applied) that fits in the box, centred. With `even`, sizes and offsets are even
// (for 4:2:0 pictures).
PictureFit FitInBox(int width, int height, AVRational sampleAspect, Orientation o, int boxWidth, int boxHeight,
                    bool even);

// Copies a `width` x `height` plane of `bytesPerPixel` pixels turned by `o` into `dst`
// (whose size is the turned one).
void OrientPlane(const uint8_t* src, int srcStride, int width, int height, int bytesPerPixel, Orientation o,
                 uint8_t* dst, int dstStride);

}  // namespace ulvane
