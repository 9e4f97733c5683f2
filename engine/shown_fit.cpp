// Fitting a decoded picture for the preview.
#include "engine/shown_fit.h"

#include <algorithm>

#include "engine/picture_fit.h"

namespace ulvane {

bool FitDecodedPicture(Scaler& scaler, const AVFrame& f, AVFormatContext* ctx, AVStream* stream, int boxWidth,
                       int boxHeight, AVPixelFormat format, bool bars, std::vector<uint8_t>& out, int& width,
                       int& height, std::vector<uint8_t>& turned) {
    // Upright, as players show it, keeping its shape.
    const Orientation o = OrientationOf(stream);
    const PictureFit fit =
        FitInBox(f.width, f.height, av_guess_sample_aspect_ratio(ctx, stream, const_cast<AVFrame*>(&f)), o, boxWidth,
                 boxHeight, false);
    const int w = o.transpose ? fit.height : fit.width, h = o.transpose ? fit.width : fit.height;
    // The preview's picture is large and made often: bilinear, which still averages the
    // source's pixels when it shrinks them; the small snapshot bicubic.
    SwsContext* sws = scaler.For(f, {w, h, format, bars ? SWS_BICUBIC : SWS_BILINEAR});
    if (!sws || fit.width <= 0 || fit.height <= 0) return false;
    width = bars ? boxWidth : fit.width;
    height = bars ? boxHeight : fit.height;
    const int stride = width * 3;
    out.resize(static_cast<size_t>(stride) * height);
    if (bars) std::fill(out.begin(), out.end(), uint8_t{0});
    uint8_t* place = out.data() + (bars ? (static_cast<ptrdiff_t>(fit.y) * stride + fit.x * 3) : 0);
    if (!o.upright()) turned.resize(static_cast<size_t>(w) * h * 3);
    uint8_t* dst[4] = {o.upright() ? place : turned.data(), nullptr, nullptr, nullptr};
    int dstStride[4] = {o.upright() ? stride : w * 3, 0, 0, 0};
    if (sws_scale(sws, f.data, f.linesize, 0, f.height, dst, dstStride) != h) return false;
    if (!o.upright()) OrientPlane(turned.data(), w * 3, w, h, 3, o, place, stride);
    return true;
}

}  // namespace ulvane
