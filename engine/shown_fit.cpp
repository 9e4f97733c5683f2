// Fitting a decoded picture for the preview.
#include "engine/shown_fit.h"

#include <algorithm>

#include "engine/picture_fit.h"

namespace ulvane {

namespace {

bool Shrinkable(const AVFrame& f, int w, int h, bool bars) {
    return !bars && (f.format == AV_PIX_FMT_YUV420P || f.format == AV_PIX_FMT_YUVJ420P) && w < f.width && h < f.height;
}

// `f` shrunk to `w` x `h` in its own format into `scalers.between`; false when it cannot be.
bool Shrink(FitScalers& scalers, const AVFrame& f, int w, int h) {
    AVFrame* b = scalers.between.get();
    if (!b || b->width != w || b->height != h || b->format != f.format) {
        scalers.between = MakeFrame();
        b = scalers.between.get();
        if (!b) return false;
        b->width = w;
        b->height = h;
        b->format = f.format;
        if (av_frame_get_buffer(b, 0) < 0) {
            scalers.between.reset();
            return false;
        }
    }
    SwsContext* sws = scalers.shrink.For(f, {w, h, static_cast<AVPixelFormat>(f.format), SWS_AREA});
    return sws && sws_scale(sws, f.data, f.linesize, 0, f.height, b->data, b->linesize) == h;
}

}  // namespace

bool FitDecodedPicture(FitScalers& scalers, const AVFrame& f, AVFormatContext* ctx, AVStream* stream, int boxWidth,
                       int boxHeight, AVPixelFormat format, bool bars, std::vector<uint8_t>& out, int& width,
                       int& height, std::vector<uint8_t>& turned) {
    // Upright, as players show it, keeping its shape.
    const Orientation o = OrientationOf(stream);
    const PictureFit fit =
        FitInBox(f.width, f.height, av_guess_sample_aspect_ratio(ctx, stream, const_cast<AVFrame*>(&f)), o, boxWidth,
                 boxHeight, false);
    const int w = o.transpose ? fit.height : fit.width, h = o.transpose ? fit.width : fit.height;
    if (fit.width <= 0 || fit.height <= 0) return false;
    // The preview's picture is large and made often. Shrunk, its source's pixels are averaged
    // (area); enlarged, bilinear; the small snapshot bicubic.
    const bool shrink = Shrinkable(f, w, h, bars) && Shrink(scalers, f, w, h);
    const AVFrame& src = shrink ? *scalers.between : f;
    SwsContext* sws =
        (shrink ? scalers.convert : scalers.direct).For(src, {w, h, format, bars ? SWS_BICUBIC : SWS_BILINEAR});
    if (!sws) return false;
    width = bars ? boxWidth : fit.width;
    height = bars ? boxHeight : fit.height;
    const int stride = width * 3;
    // The scaler writes packed rows in whole words: past the last row's end when a row is not
    // a multiple of 8 bytes long. The buffers have room for that while it writes.
    constexpr size_t kScalerSlack = 64;
    const size_t outSize = static_cast<size_t>(stride) * height;
    out.resize(outSize + kScalerSlack);
    if (bars) std::fill(out.begin(), out.end(), uint8_t{0});
    uint8_t* place = out.data() + (bars ? (static_cast<ptrdiff_t>(fit.y) * stride + fit.x * 3) : 0);
    if (!o.upright()) turned.resize(static_cast<size_t>(w) * h * 3 + kScalerSlack);
    uint8_t* dst[4] = {o.upright() ? place : turned.data(), nullptr, nullptr, nullptr};
    int dstStride[4] = {o.upright() ? stride : w * 3, 0, 0, 0};
    const bool scaled = sws_scale(sws, src.data, src.linesize, 0, src.height, dst, dstStride) == h;
    if (scaled && !o.upright()) OrientPlane(turned.data(), w * 3, w, h, 3, o, place, stride);
    out.resize(outSize);
    return scaled;
}

}  // namespace ulvane
