// Turning and fitting pictures.
#include "engine/picture_fit.h"

#include <algorithm>
#include <cmath>
#include <cstring>

extern "C" {
#include <libavutil/display.h>
}

namespace ulvane {

void TurnedDisplayMatrix(const AVStream* st, int clockwise, int32_t matrix[9]) {
    size_t size = 0;
    const auto* m =
        st ? reinterpret_cast<const int32_t*>(av_stream_get_side_data(st, AV_PKT_DATA_DISPLAYMATRIX, &size)) : nullptr;
    int32_t own[9];
    if (!m || size < 9 * sizeof(int32_t)) {
        av_display_rotation_set(own, 0);
        m = own;
    }
    // Points are rows multiplied from the left: the source's matrix, then the turn, set as
    // the ffmpeg tool sets a turn it is asked for.
    int32_t turn[9];
    av_display_rotation_set(turn, clockwise);
    for (int k = 0; k < 9; ++k) matrix[k] = m[k];
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 2; ++c)
            matrix[3 * r + c] = static_cast<int32_t>(std::lround(
                (static_cast<double>(m[3 * r]) * turn[c] + static_cast<double>(m[3 * r + 1]) * turn[3 + c]) / 65536.0));
}

Orientation OrientationOf(const AVStream* st, int clockwise) {
    size_t size = 0;
    const auto* m =
        st ? reinterpret_cast<const int32_t*>(av_stream_get_side_data(st, AV_PKT_DATA_DISPLAYMATRIX, &size)) : nullptr;
    int32_t turned[9];
    if (clockwise % 360 != 0) {
        TurnedDisplayMatrix(st, clockwise, turned);
        m = turned;
        size = sizeof(turned);
    }
    if (!m || size < 9 * sizeof(int32_t)) return {};
    // Clockwise degrees, 0 to 360.
    double theta = -std::round(av_display_rotation_get(m));
    if (!std::isfinite(theta)) return {};
    theta -= 360 * std::floor(theta / 360 + 0.9 / 360);
    Orientation o;
    if (std::fabs(theta - 90) < 1.0) {
        // Clockwise: the top row comes from the source's left column, read upwards;
        // with a flip it is a plain transpose.
        o.transpose = true;
        o.flipY = m[3] <= 0;
    } else if (std::fabs(theta - 180) < 1.0) {
        o.flipX = m[0] < 0;
        o.flipY = m[4] < 0;
    } else if (std::fabs(theta - 270) < 1.0) {
        // Counter-clockwise: the top row comes from the source's right column; with a
        // flip the anti-transpose.
        o.transpose = true;
        o.flipX = true;
        o.flipY = m[3] < 0;
    } else if (std::fabs(theta) < 1.0) {
        o.flipY = m[4] < 0;
    }
    return o;
}

PictureFit FitInBox(int width, int height, AVRational sampleAspect, Orientation o, int boxWidth, int boxHeight,
                    bool even) {
    PictureFit fit{boxWidth, boxHeight, 0, 0};
    if (width <= 0 || height <= 0 || boxWidth <= 0 || boxHeight <= 0) return fit;
    double shownW = width, shownH = height;
    if (sampleAspect.num > 0 && sampleAspect.den > 0) shownW *= av_q2d(sampleAspect);
    if (o.transpose) std::swap(shownW, shownH);
    const int unit = even ? 2 : 1;
    auto round = [unit](double v, int most) {
        const int r = static_cast<int>(std::lround(v / unit)) * unit;
        return std::clamp(r, unit, most);
    };
    if (shownW * boxHeight >= shownH * boxWidth)
        fit.height = round(boxWidth * shownH / shownW, boxHeight);
    else
        fit.width = round(boxHeight * shownW / shownH, boxWidth);
    fit.x = (boxWidth - fit.width) / 2 / unit * unit;
    fit.y = (boxHeight - fit.height) / 2 / unit * unit;
    return fit;
}

void OrientPlane(const uint8_t* src, int srcStride, int width, int height, int bytesPerPixel, Orientation o,
                 uint8_t* dst, int dstStride) {
    const int bpp = bytesPerPixel;
    if (!o.transpose) {
        for (int y = 0; y < height; ++y) {
            const uint8_t* s = src + static_cast<ptrdiff_t>(o.flipY ? height - 1 - y : y) * srcStride;
            uint8_t* d = dst + static_cast<ptrdiff_t>(y) * dstStride;
            if (!o.flipX) {
                std::memcpy(d, s, static_cast<size_t>(width) * bpp);
                continue;
            }
            for (int x = 0; x < width; ++x)
                std::memcpy(d + static_cast<ptrdiff_t>(x) * bpp, s + static_cast<ptrdiff_t>(width - 1 - x) * bpp, bpp);
        }
        return;
    }
    // Shown pixel (x, y) is the source's row x, column y: moving along a shown row walks
    // down (or up) a source column. Done in tiles so both sides stay in the cache.
    const int shownW = height, shownH = width;
    const ptrdiff_t alongRow = o.flipY ? -static_cast<ptrdiff_t>(srcStride) : srcStride;
    const ptrdiff_t alongColumn = o.flipX ? -bpp : bpp;
    const uint8_t* origin = src + (o.flipY ? static_cast<ptrdiff_t>(height - 1) * srcStride : 0) +
                            (o.flipX ? static_cast<ptrdiff_t>(width - 1) * bpp : 0);
    constexpr int kTile = 32;
    for (int ty = 0; ty < shownH; ty += kTile) {
        const int yEnd = std::min(ty + kTile, shownH);
        for (int tx = 0; tx < shownW; tx += kTile) {
            const int xEnd = std::min(tx + kTile, shownW);
            for (int y = ty; y < yEnd; ++y) {
                const uint8_t* s = origin + y * alongColumn + tx * alongRow;
                uint8_t* d = dst + static_cast<ptrdiff_t>(y) * dstStride;
                if (bpp == 1) {
                    for (int x = tx; x < xEnd; ++x, s += alongRow) d[x] = *s;
                } else {
                    for (int x = tx; x < xEnd; ++x, s += alongRow)
                        std::memcpy(d + static_cast<ptrdiff_t>(x) * bpp, s, bpp);
                }
            }
        }
    }
}

}  // namespace ulvane
