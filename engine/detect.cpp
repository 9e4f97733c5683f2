// Detection of black pictures and scene changes, by our own code over the decoded pictures: one
// decode of the main video, no filter graph (see docs/ARCHITECTURE.md). Silences are found in
// detect_silence.cpp.
#include "engine/detect.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>

#include "engine/decode_loop.h"
#include "engine/ffmpeg_util.h"
#include "engine/media_input.h"
#include "engine/scaler.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace ulvane {
namespace {

// Calls `onFrame` for every picture of the main video, its time in microseconds from the
// file's start; the other streams are not even read into packets.
// `roughPictures` skips the loop filter, whose blocking artefacts move no darkness.
Status DecodePictures(const std::string& path, const DetectControl& control, bool roughPictures,
                      const std::function<void(const AVFrame*, int64_t, AVRational)>& onFrame) {
    std::unique_ptr<MediaInput> in;
    if (Status s = MediaInput::Open(path, in, control.cancel); !s.ok()) return s;
    AVStream* st = in->video();
    if (!st) return Status::Failed("the file has no pictures");
    for (unsigned i = 0; i < in->ctx()->nb_streams; ++i)
        if (in->ctx()->streams[i] != st) in->ctx()->streams[i]->discard = AVDISCARD_ALL;
    CodecContextPtr dec;
    if (Status s = OpenStreamDecoder(st, true, dec); !s.ok()) return s;
    if (roughPictures) dec->skip_loop_filter = AVDISCARD_ALL;
    const int64_t start = in->startMicros();
    const int64_t duration = in->durationMicros();
    auto cancelled = [&] { return control.cancel && control.cancel->load(std::memory_order_relaxed); };
    DecodeLoop loop(dec.get());
    const DecodeEnd end = loop.Run(
        [&](AVPacket* pkt) {
            if (cancelled()) return AVERROR_EXIT;
            if (const int rc = ReadStreamPacket(*in, st->index, pkt); rc < 0) return rc;
            if (control.permille && duration > 0 && pkt->pts != AV_NOPTS_VALUE) {
                const int64_t at = ToMicros(pkt->pts, st->time_base) - start;
                control.permille->store(static_cast<int>(std::clamp<int64_t>(at * 1000 / duration, 0, 1000)),
                                        std::memory_order_relaxed);
            }
            return 0;
        },
        [&](AVFrame* frame) {
            const int64_t ts = frame->best_effort_timestamp;
            if (ts != AV_NOPTS_VALUE) onFrame(frame, ToMicros(ts, st->time_base) - start, st->time_base);
            return FrameVerdict::kGoOn;
        });
    if (cancelled()) return Status::Cancelled();
    if (!end.drained()) return Status::Failed("cannot read the file: " + AvErrorText(end.error));
    if (control.permille) control.permille->store(1000, std::memory_order_relaxed);
    return {};
}

// A picture reduced to a fixed grid of samples of each of its three components (8 bits),
// enough to judge its darkness and compare it with the next. Formats whose components are 8
// bits wide are sampled where they lie; others are scaled to the grid first.
class PictureSampler {
public:
    static constexpr int kColumns = 160;
    static constexpr int kRows = 90;
    static constexpr int kPoints = kColumns * kRows;

    // Fills `out` with kPoints luma samples, then kPoints of each chroma component (128 when
    // the picture has none). False for a picture that cannot be read.
    bool Sample(const AVFrame* f, std::vector<uint8_t>& out) {
        out.assign(3 * kPoints, 128);
        const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(f->format));
        if (!d || f->width <= 0 || f->height <= 0) return false;
        fullRange_ = f->color_range == AVCOL_RANGE_JPEG || (d->name && std::string(d->name).rfind("yuvj", 0) == 0);
        const bool direct = !(d->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BITSTREAM |
                                          AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_FLOAT)) &&
                            d->comp[0].depth == 8;
        if (direct) {
            for (int c = 0; c < std::min<int>(3, d->nb_components); ++c) {
                if (d->comp[c].depth != 8) continue;
                const int shiftW = c ? d->log2_chroma_w : 0;
                const int shiftH = c ? d->log2_chroma_h : 0;
                SampleComponent(f->data[d->comp[c].plane], f->linesize[d->comp[c].plane], d->comp[c].step,
                                d->comp[c].offset, AV_CEIL_RSHIFT(f->width, shiftW), AV_CEIL_RSHIFT(f->height, shiftH),
                                out.data() + c * kPoints);
            }
            return true;
        }
        // Other formats (RGB, deeper samples): scaled onto the grid as 8-bit YUV.
        if (!small_) {
            small_.reset(av_frame_alloc());
            small_->format = AV_PIX_FMT_YUV444P;
            small_->width = kColumns;
            small_->height = kRows;
            if (!small_ || av_frame_get_buffer(small_.get(), 0) < 0) return false;
        }
        SwsContext* sws = scaler_.For(*f, {kColumns, kRows, AV_PIX_FMT_YUV444P, SWS_POINT});
        if (!sws || sws_scale(sws, f->data, f->linesize, 0, f->height, small_->data, small_->linesize) < 0)
            return false;
        fullRange_ = false;
        for (int c = 0; c < 3; ++c)
            for (int y = 0; y < kRows; ++y)
                std::copy_n(small_->data[c] + y * small_->linesize[c], kColumns,
                            out.data() + c * kPoints + y * kColumns);
        return true;
    }

    bool fullRange() const { return fullRange_; }

private:
    static void SampleComponent(const uint8_t* base, int linesize, int step, int offset, int width, int height,
                                uint8_t* out) {
        for (int r = 0; r < kRows; ++r) {
            const uint8_t* line = base + static_cast<ptrdiff_t>((2 * r + 1) * height / (2 * kRows)) * linesize;
            for (int c = 0; c < kColumns; ++c)
                out[r * kColumns + c] = line[((2 * c + 1) * width / (2 * kColumns)) * step + offset];
        }
    }

    bool fullRange_ = false;
    FramePtr small_;
    Scaler scaler_;
};

// The scene score of each picture against the one before, as FFmpeg's scdet filter gives it:
// the mean absolute difference of every luma sample (of every colour byte for RGB pictures)
// in percent of the samples' full scale (2^bits), the "mafd"; the score is the smaller of it
// and its change from the mafd before, so a steady motion scores low and a jump high. The
// first picture, and one of another size than the one before, scores 0.
class SceneScorer {
public:
    double Score(const AVFrame* f) {
        const Plane p = Compared(f);
        if (!p.data) return 0;
        const bool comparable = !before_.empty() && p.width == width_ && p.height == height_ && p.wide == wide_;
        const size_t rowBytes = static_cast<size_t>(p.width) * (p.wide ? 2 : 1);
        before_.resize(rowBytes * static_cast<size_t>(p.height));
        uint64_t sad = 0;
        for (int y = 0; y < p.height; ++y) {
            uint8_t* kept = before_.data() + rowBytes * static_cast<size_t>(y);
            const uint8_t* row = p.data + static_cast<ptrdiff_t>(y) * p.linesize;
            if (comparable) sad += p.wide ? RowSad16(row, kept, p.width) : RowSad8(row, kept, p.width);
            std::copy_n(row, rowBytes, kept);
        }
        width_ = p.width;
        height_ = p.height;
        wide_ = p.wide;
        if (!comparable) return 0;
        const double mafd = static_cast<double>(sad) * 100.0 /
                            (static_cast<double>(p.width) * static_cast<double>(p.height)) /
                            static_cast<double>(uint64_t{1} << p.bits);
        const double score = std::clamp(std::min(mafd, std::fabs(mafd - mafdBefore_)), 0.0, 100.0);
        mafdBefore_ = mafd;
        return score;
    }

private:
    struct Plane {
        const uint8_t* data = nullptr;
        int linesize = 0;
        int width = 0;  // samples a row
        int height = 0;
        int bits = 8;
        bool wide = false;  // two bytes a sample, native order
    };

    // The luma plane where the picture has one of its own (planar or semi-planar YUV, grey);
    // any other picture is made 8-bit RGB and every byte of it compared.
    Plane Compared(const AVFrame* f) {
        const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(f->format));
        if (!d || f->width <= 0 || f->height <= 0) return {};
        const int bytes = (d->comp[0].depth + 7) / 8;
        const bool luma = !(d->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BITSTREAM |
                                        AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_FLOAT | AV_PIX_FMT_FLAG_BE)) &&
                          d->comp[0].plane == 0 && d->comp[0].offset == 0 && d->comp[0].shift == 0 &&
                          d->comp[0].step == bytes && bytes <= 2;
        if (luma) return {f->data[0], f->linesize[0], f->width, f->height, d->comp[0].depth, bytes == 2};
        if (!rgb_ || rgb_->width != f->width || rgb_->height != f->height) {
            rgb_.reset(av_frame_alloc());
            if (!rgb_) return {};
            rgb_->format = AV_PIX_FMT_RGB24;
            rgb_->width = f->width;
            rgb_->height = f->height;
            if (av_frame_get_buffer(rgb_.get(), 0) < 0) {
                rgb_.reset();
                return {};
            }
        }
        SwsContext* sws = scaler_.For(*f, {f->width, f->height, AV_PIX_FMT_RGB24, SWS_POINT});
        if (!sws || sws_scale(sws, f->data, f->linesize, 0, f->height, rgb_->data, rgb_->linesize) < 0) return {};
        return {rgb_->data[0], rgb_->linesize[0], 3 * f->width, f->height, 8, false};
    }

    static uint64_t RowSad8(const uint8_t* a, const uint8_t* b, int n) {
        uint32_t sum = 0;  // a row holds fewer than 2^24 bytes, so 255 each cannot overflow it
        for (int x = 0; x < n; ++x)
            sum += static_cast<uint32_t>(std::abs(static_cast<int>(a[x]) - static_cast<int>(b[x])));
        return sum;
    }

    static uint64_t RowSad16(const uint8_t* a, const uint8_t* b, int n) {
        uint64_t sum = 0;
        for (int x = 0; x < n; ++x) {
            uint16_t p, q;
            std::memcpy(&p, a + 2 * x, 2);
            std::memcpy(&q, b + 2 * x, 2);
            sum += static_cast<uint64_t>(std::abs(static_cast<int>(p) - static_cast<int>(q)));
        }
        return sum;
    }

    std::vector<uint8_t> before_;
    int width_ = 0, height_ = 0;
    bool wide_ = false;
    double mafdBefore_ = 0;
    FramePtr rgb_;
    Scaler scaler_;
};

int64_t PictureMicros(const AVFrame* f, AVRational tb) {
    if (f->pkt_duration > 0) return ToMicros(f->pkt_duration, tb);
    return 40000;  // a picture of 25 per second, when the stream does not say
}

}  // namespace

Status DetectBlack(const std::string& path, double pixelThreshold, double minSeconds, std::vector<Finding>& found,
                   const DetectControl& control) {
    found.clear();
    constexpr double kBlackShare = 0.98;
    const int64_t minMicros = std::llround(minSeconds * 1e6);
    PictureSampler sampler;
    std::vector<uint8_t> grid;
    int64_t blackStart = INT64_MIN;
    int64_t lastEnd = 0;
    double leastShare = 1;
    auto close = [&](int64_t end) {
        if (blackStart != INT64_MIN && end - blackStart >= minMicros) found.push_back({blackStart, end, leastShare});
        blackStart = INT64_MIN;
    };
    Status s = DecodePictures(path, control, true, [&](const AVFrame* f, int64_t at, AVRational tb) {
        if (!sampler.Sample(f, grid)) return;
        // The darkest luma counted as black: 0.10 of the range is 37 in 16..235, 25 in 0..255.
        const int limit = sampler.fullRange() ? static_cast<int>(pixelThreshold * 255)
                                              : static_cast<int>(16 + pixelThreshold * (235 - 16));
        const auto dark =
            std::count_if(grid.begin(), grid.begin() + PictureSampler::kPoints, [&](uint8_t v) { return v <= limit; });
        const double share = static_cast<double>(dark) / PictureSampler::kPoints;
        if (share >= kBlackShare) {
            if (blackStart == INT64_MIN) {
                blackStart = at;
                leastShare = share;
            }
            leastShare = std::min(leastShare, share);
        } else {
            close(at);
        }
        lastEnd = std::max(lastEnd, at + PictureMicros(f, tb));
    });
    if (s.ok()) close(lastEnd);
    return s;
}

Status DetectScenes(const std::string& path, double threshold, std::vector<Finding>& found,
                    const DetectControl& control) {
    found.clear();
    SceneScorer scorer;
    return DecodePictures(path, control, false, [&](const AVFrame* f, int64_t at, AVRational) {
        if (const double score = scorer.Score(f); score >= threshold) found.push_back({at, at, score});
    });
}

}  // namespace ulvane
