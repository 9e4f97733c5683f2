// The timeline's thumbnails: for each time, the key frame at or before it decoded alone, or
// the very picture shown then.
//
// A key frame alone: seek to it, hand its packet to the decoder, then end the stream, so that
// a decoder that holds pictures back (B-frame reordering) gives it out at once; with key
// frames only wanted, the decoder skips every other picture and the loop filter, which makes
// one 1080p H.264 key frame a few milliseconds' work. A time whose seek lands on the key
// frame given before shares its picture: nothing is decoded again.
#include <algorithm>

#include "engine/decode_loop.h"
#include "engine/ffmpeg_util.h"
#include "engine/frame_grabber.h"
#include "engine/media_input.h"
#include "engine/shown_fit.h"
#include "engine/timeline.h"

namespace ulvane {

namespace {

// A thumbnail is at most this many times as wide as it is high.
constexpr int kWidestShape = 8;

class KeyFramePictures {
public:
    explicit KeyFramePictures(const std::atomic<bool>& cancel) : cancel_(cancel) {}

    bool Open(const std::string& path, std::string& error) {
        if (Status s = MediaInput::Open(path, in_, &cancel_); !s.ok()) {
            error = s.reason();
            return false;
        }
        if (!in_->video()) {
            error = "the file has no pictures";
            return false;
        }
        for (unsigned i = 0; i < in_->ctx()->nb_streams; ++i)
            if (static_cast<int>(i) != in_->videoIndex()) in_->ctx()->streams[i]->discard = AVDISCARD_ALL;
        // Slice threads: a picture decoded alone gains nothing from frame threads.
        if (Status s = OpenStreamDecoder(in_->video(), false, dec_); !s.ok()) {
            error = s.reason();
            return false;
        }
        dec_->skip_frame = AVDISCARD_NONKEY;
        dec_->skip_loop_filter = AVDISCARD_ALL;
        return true;
    }

    // The thumbnail of the key frame at or before `at` (microseconds from the file's start).
    bool Make(int64_t at, int height, Thumbnail& thumb, std::string& error) {
        const int64_t start = in_->startMicros();
        in_->SeekTo(start + at);
        // The first picture packet after the seek is the key frame: its time tells whether it
        // is the one given last.
        int64_t keyTime = AV_NOPTS_VALUE;
        PacketPtr key = MakePacket();
        for (int n = 0; n < 10000 && !cancel_.load(std::memory_order_relaxed); ++n) {
            if (in_->ReadPacket(pkt_.get()) < 0) break;
            const bool hit = pkt_->stream_index == in_->videoIndex() && (pkt_->flags & AV_PKT_FLAG_KEY);
            if (hit) {
                const int64_t ts = pkt_->pts != AV_NOPTS_VALUE ? pkt_->pts : pkt_->dts;
                keyTime = ts == AV_NOPTS_VALUE ? at : ToMicros(ts, in_->video()->time_base) - start;
                av_packet_move_ref(key.get(), pkt_.get());
                break;
            }
            av_packet_unref(pkt_.get());
        }
        if (keyTime == AV_NOPTS_VALUE) {
            error = "no key frame at that time";
            return false;
        }
        if (keyTime != lastKey_ || last_.rgb.empty()) {
            if (!Decode(*key, height, error)) return false;
            lastKey_ = keyTime;
        }
        thumb.shownMicros = lastShown_;
        thumb.width = last_.width;
        thumb.height = last_.height;
        thumb.rgb = last_.rgb;
        return true;
    }

private:
    bool Decode(const AVPacket& key, int height, std::string& error) {
        AVCodecContext* dec = dec_.get();
        avcodec_flush_buffers(dec);
        bool got = false;
        // The key frame alone, then the end: out with its picture at once.
        DecodeLoop loop(dec);
        const FrameHandler take = [&](AVFrame* f) {
            const int64_t ts = f->best_effort_timestamp;
            lastShown_ = ts == AV_NOPTS_VALUE
                             ? ToMicros(key.pts != AV_NOPTS_VALUE ? key.pts : key.dts, in_->video()->time_base) -
                                   in_->startMicros()
                             : ToMicros(ts, in_->video()->time_base) - in_->startMicros();
            got = FitDecodedPicture(scalers_, *f, in_->ctx(), in_->video(), height * kWidestShape, height,
                                    AV_PIX_FMT_RGB24, false, last_.rgb, last_.width, last_.height, turned_);
            if (!got) error = "cannot convert the picture";
            return FrameVerdict::kStop;
        };
        if (loop.Send(&key, take) == FrameVerdict::kGoOn) loop.Send(nullptr, take);
        if (!got && error.empty()) error = "the key frame could not be decoded";
        return got;
    }

    const std::atomic<bool>& cancel_;
    std::unique_ptr<MediaInput> in_;
    CodecContextPtr dec_;
    PacketPtr pkt_ = MakePacket();
    FitScalers scalers_;
    std::vector<uint8_t> turned_;
    ShownPicture last_;  // the picture of the key frame decoded last
    int64_t lastKey_ = AV_NOPTS_VALUE;
    int64_t lastShown_ = 0;
};

}  // namespace

bool ComputeThumbnails(const std::string& path, const std::vector<int64_t>& times, int height, bool exact,
                       const std::atomic<bool>& cancel, const std::function<void(Thumbnail&&)>& ready,
                       std::string& error) {
    height = std::max(height, 1);
    if (exact) {
        // The grabber's exact picture: decoded on from the key frame before each time.
        FrameGrabber grabber;
        for (int64_t at : times) {
            if (cancel.load(std::memory_order_relaxed)) break;
            Thumbnail t;
            t.atMicros = at;
            ShownPicture shown;
            int64_t from = 0, lasting = 0;
            if (!grabber.GrabExact(path, static_cast<double>(at) / 1e6, height * kWidestShape, height, shown, from,
                                   lasting, error))
                return false;
            t.shownMicros = from;
            t.width = shown.width;
            t.height = shown.height;
            t.rgb = std::move(shown.rgb);
            if (ready) ready(std::move(t));
        }
        return true;
    }
    KeyFramePictures pictures(cancel);
    if (!pictures.Open(path, error)) return false;
    for (int64_t at : times) {
        if (cancel.load(std::memory_order_relaxed)) break;
        Thumbnail t;
        t.atMicros = at;
        if (!pictures.Make(std::max<int64_t>(at, 0), height, t, error)) {
            if (cancel.load(std::memory_order_relaxed)) break;
            return false;
        }
        if (ready) ready(std::move(t));
    }
    return true;
}

}  // namespace ulvane
