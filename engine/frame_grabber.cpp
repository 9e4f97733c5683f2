// The frame grabber and the snapshot bitmap.
#include "engine/frame_grabber.h"

#include <algorithm>
#include <cmath>
#include <cstring>

extern "C" {
#include <libavutil/imgutils.h>
}

#include "engine/atomic_file.h"
#include "engine/decode_loop.h"
#include "engine/ffmpeg_util.h"
#include "engine/media_input.h"
#include "engine/scaler.h"
#include "engine/shown_fit.h"
#include "engine/shown_pictures.h"

namespace ulvane {

namespace {

void Put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

std::vector<uint8_t> SnapshotBitmap(const uint8_t* bgrTopDown, int stride) {
    constexpr uint32_t kRow = kSnapshotWidth * 3;
    constexpr uint32_t kPixels = kRow * kSnapshotHeight;
    std::vector<uint8_t> b(kSnapshotFileSize, 0);
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 2, static_cast<uint32_t>(kSnapshotFileSize));
    Put32(b, 10, 54);
    Put32(b, 14, 40);
    Put32(b, 18, kSnapshotWidth);
    Put32(b, 22, kSnapshotHeight);  // positive: rows stored bottom-up
    Put16(b, 26, 1);
    Put16(b, 28, 24);
    Put32(b, 34, kPixels);
    Put32(b, 38, 100);
    Put32(b, 42, 100);
    // Bottom row first; every layout of source picture ends up the same way.
    for (int y = 0; y < kSnapshotHeight; ++y)
        std::memcpy(&b[54 + static_cast<size_t>(kSnapshotHeight - 1 - y) * kRow],
                    bgrTopDown + static_cast<ptrdiff_t>(y) * stride, kRow);
    return b;
}

struct FrameGrabber::State {
    std::unique_ptr<MediaInput> in;
    std::string path;
    bool atStart = false;  // nothing read since the file was opened
    FitScalers snapshotScaler, shownScaler;
    FramePtr frame = MakeFrame();
    std::vector<uint8_t> bgr = std::vector<uint8_t>(kSnapshotWidth * kSnapshotHeight * 3);
    std::vector<uint8_t> turned;  // a scaled picture before it is turned upright

    bool Open(const std::string& p, std::string& error);
    // Opens `p` if it is not the file open, and seeks to the key frame at or before `seconds`.
    // `early`: microseconds the seek aims before the target.
    bool Position(const std::string& p, double& seconds, int64_t& target, int64_t early, std::string& error);
    // Decodes the video from where the file is read, each picture to `onFrame`, until it stops;
    // false, with `error`, when it never does.
    bool Decode(const FrameHandler& onFrame, std::string& error);
    bool DecodeFirstPicture(std::string& error);
    // Decodes on to the picture shown at `target` (into `frame`): when it starts, how long it lasts.
    bool DecodeHolding(int64_t target, int64_t& from, int64_t& lasting, std::string& error);
    // The decoded picture, upright and fitted in a box of `boxWidth` x `boxHeight`, into
    // `out` (`stride` bytes a row): centred on black when `bars`, else `out` is resized to
    // the fitted picture alone, whose size goes to `width` and `height`.
    bool Fit(FitScalers& scaler, int boxWidth, int boxHeight, AVPixelFormat format, bool bars,
             std::vector<uint8_t>& out, int& width, int& height, std::string& error);
};

bool FrameGrabber::State::Open(const std::string& p, std::string& error) {
    in.reset();
    path.clear();
    if (Status s = MediaInput::Open(p, in); !s.ok()) {
        error = s.reason();
        return false;
    }
    if (!in->video()) {
        error = "the file has no pictures";
        in.reset();
        return false;
    }
    // Slice threads only: frame threads would hold the first picture back.
    if (Status s = in->OpenDecoders(false, false); !s.ok()) {
        error = s.reason();
        in.reset();
        return false;
    }
    path = p;
    atStart = true;
    return true;
}

bool FrameGrabber::State::Decode(const FrameHandler& onFrame, std::string& error) {
    const int vi = in->videoIndex();
    // A decoder that reorders pictures gives the first one only after a few more packets; a
    // damaged file may give none for long, so the packets read without a picture are bounded.
    int packets = 0;
    DecodeLoop loop(in->videoDecoder());
    const DecodeEnd end = loop.Run(
        [&](AVPacket* p) {
            if (packets++ >= 2000) return AVERROR_INVALIDDATA;
            // The end, or an unreadable rest: the decoder gives what it holds.
            return ReadStreamPacket(*in, vi, p) < 0 ? AVERROR_EOF : 0;
        },
        [&](AVFrame* f) {
            packets = 0;
            return onFrame(f);
        });
    if (end.kind == DecodeEnd::kStopped) return true;
    error = "no picture could be decoded at that time";
    return false;
}

bool FrameGrabber::State::DecodeFirstPicture(std::string& error) {
    return Decode(
        [&](AVFrame* f) {
            av_frame_move_ref(frame.get(), f);
            return FrameVerdict::kStop;
        },
        error);
}

bool FrameGrabber::State::Fit(FitScalers& scaler, int boxWidth, int boxHeight, AVPixelFormat format, bool bars,
                              std::vector<uint8_t>& out, int& width, int& height, std::string& error) {
    if (FitDecodedPicture(scaler, *frame, in->ctx(), in->video(), boxWidth, boxHeight, format, bars, out, width, height,
                          turned))
        return true;
    error = "cannot convert the picture";
    return false;
}

FrameGrabber::FrameGrabber() : s_(std::make_unique<State>()) {}
FrameGrabber::~FrameGrabber() = default;

void FrameGrabber::Release() {
    s_->in.reset();
    s_->path.clear();
}

bool FrameGrabber::Grab(const std::string& path, double seconds, const std::string& snapshotPath, std::string& error) {
    ShownPicture none;
    return Grab(path, seconds, snapshotPath, 0, 0, none, error);
}

bool FrameGrabber::State::Position(const std::string& p, double& seconds, int64_t& target, int64_t early,
                                   std::string& error) {
    if (!std::isfinite(seconds) || seconds < 0) seconds = 0;
    if (!in || path != p) {
        if (!Open(p, error)) return false;
    }
    target = in->startMicros() + static_cast<int64_t>(std::min(seconds, 1e9) * 1e6);
    if (seconds > 0 || !atStart) {
        // Back to the start of a file already read from means a seek too.
        if (!in->SeekTo(std::max(target - early, in->startMicros())) && seconds <= 0 && !Open(p, error)) return false;
    }
    atStart = false;
    avcodec_flush_buffers(in->videoDecoder());
    return true;
}

bool FrameGrabber::State::DecodeHolding(int64_t target, int64_t& from, int64_t& lasting, std::string& error) {
    const AVStream* v = in->video();
    const int64_t frameMicros =
        v->avg_frame_rate.num > 0 ? av_rescale_q(1, av_inv_q(v->avg_frame_rate), AV_TIME_BASE_Q) : 40000;
    ShownPictures shown(target, frameMicros);
    ShownFrame out;
    int pictures = 0;
    const bool found = Decode(
                           [&](AVFrame* f) {
                               const int64_t bet = f->best_effort_timestamp;
                               const int64_t at = bet == AV_NOPTS_VALUE ? AV_NOPTS_VALUE : ToMicros(bet, v->time_base);
                               if (shown.Feed(f, at, out)) return FrameVerdict::kStop;
                               return ++pictures < 1000 ? FrameVerdict::kGoOn : FrameVerdict::kFail;
                           },
                           error) ||
                       shown.Finish(out);
    if (!found) return false;
    av_frame_unref(frame.get());
    av_frame_move_ref(frame.get(), out.frame.get());
    from = out.start;
    lasting = out.lasting;
    error.clear();
    return true;
}

bool FrameGrabber::GrabExact(const std::string& path, double seconds, int boxWidth, int boxHeight, ShownPicture& shown,
                             int64_t& shownFrom, int64_t& shownFor, std::string& error) {
    State& s = *s_;
    int64_t target = 0;
    // A millisecond early: FFmpeg rounds a seek's time to the stream's ticks, which can carry
    // a time just before a key frame onto it, and the picture before would be missed.
    if (!s.Position(path, seconds, target, 1000, error)) return false;
    ShownPicture fresh;
    int64_t from = 0, lasting = 0;
    const bool ok = s.DecodeHolding(target, from, lasting, error) &&
                    s.Fit(s.shownScaler, std::max(boxWidth, 1), std::max(boxHeight, 1), AV_PIX_FMT_RGB24, false,
                          fresh.rgb, fresh.width, fresh.height, error);
    av_frame_unref(s.frame.get());
    s.atStart = false;
    if (!ok) return false;
    shown = std::move(fresh);
    shownFrom = from - s.in->startMicros();
    shownFor = lasting;
    return true;
}

bool FrameGrabber::Grab(const std::string& path, double seconds, const std::string& snapshotPath, int boxWidth,
                        int boxHeight, ShownPicture& shown, std::string& error) {
    State& s = *s_;
    int64_t target = 0;
    if (!s.Position(path, seconds, target, 0, error)) return false;
    int w = 0, h = 0;
    ShownPicture fresh;
    const bool wanted = boxWidth > 0 && boxHeight > 0;
    bool ok = s.DecodeFirstPicture(error) &&
              s.Fit(s.snapshotScaler, kSnapshotWidth, kSnapshotHeight, AV_PIX_FMT_BGR24, true, s.bgr, w, h, error);
    if (ok && wanted)
        ok = s.Fit(s.shownScaler, boxWidth, boxHeight, AV_PIX_FMT_RGB24, false, fresh.rgb, fresh.width, fresh.height,
                   error);
    av_frame_unref(s.frame.get());
    if (!ok) return false;
    // A snapshot is redrawn at once and often: no sync, and always mode 0644.
    if (!WriteFileAtomically(snapshotPath, SnapshotBitmap(s.bgr.data(), kSnapshotWidth * 3), error,
                             {.keepMode = false, .sync = false}))
        return false;
    shown = std::move(fresh);
    return true;
}

}  // namespace ulvane
