// Transcoder input: decoding one input and placing its pictures and sound on the output
// timeline (see transcoder.h for the rules).
#include <algorithm>
#include <cstdlib>
#include <limits>
#include <memory>
#include <vector>

extern "C" {
#include <libavutil/opt.h>
}

#include "engine/decode_loop.h"
#include "engine/transcoder_internal.h"

namespace ulvane {

namespace {

// Room around the file's extent (or the window) for the odd stream that runs a little
// longer; a time further out is damage.
constexpr int64_t kSlack = 10 * AV_TIME_BASE;
// Time running back by more than this is a reset of the stream's clock, not jitter.
constexpr int64_t kBackTolerance = AV_TIME_BASE;
// The longest a picture is shown for by its own duration (a slideshow's last picture).
constexpr int64_t kMaxPicture = 3600 * int64_t{AV_TIME_BASE};
// Sound further than this from where its timestamps place it is moved at once (a hole
// becomes silence, an overlap is cut); nearer than that it is made up gradually by
// stretching at most kMaxStretch, and under kSoftFix it is left alone. Stretching is for
// drift, which is slow: it changes the pitch, so it stays below what an ear notices, and
// an offset of more than a video frame's worth (a seam of joined recordings) is moved.
constexpr int64_t kHardFix = AV_TIME_BASE / 50;
constexpr int64_t kSoftFix = AV_TIME_BASE / 1000;
constexpr double kMaxStretch = 0.001;
// A change of the offset by more than this from one sound frame to the next is a step (a
// seam), not drift: it is moved at once however small it is.
constexpr int64_t kStep = AV_TIME_BASE / 200;

// Where a stream's frames lie, in microseconds from the input's zero. Gaps are real (a
// slideshow, a paused recording) and kept as they are. Only damage is repaired: a time
// outside the file's extent [lo, hi] follows on one step from the frame before, and
// time running backwards (a clock reset) continues from the frame before, with the
// later frames moved by the same amount.
class StreamClock {
public:
    int64_t Place(int64_t ts, AVRational tb, int64_t zero, int64_t step, int64_t lo, int64_t hi) {
        const int64_t raw = ts == AV_NOPTS_VALUE ? AV_NOPTS_VALUE : ToMicros(ts, tb) - zero;
        int64_t rel = AV_NOPTS_VALUE;
        if (raw != AV_NOPTS_VALUE && raw >= lo && raw <= hi) {
            rel = raw + shift_;
            if (last_ != AV_NOPTS_VALUE && rel < last_ - kBackTolerance) {
                shift_ += last_ + step - rel;
                rel = last_ + step;
            }
            // A shift never carries the output past the file's extent.
            if (rel > hi) rel = AV_NOPTS_VALUE;
        }
        if (rel == AV_NOPTS_VALUE) rel = last_ == AV_NOPTS_VALUE ? 0 : last_ + step;
        last_ = rel;
        return rel;
    }

private:
    int64_t last_ = AV_NOPTS_VALUE;  // time of the frame before
    int64_t shift_ = 0;              // added to the stream's times after a clock reset
};

// One sound track of the input on its way to its output track: decoded, resampled and
// placed by its timestamps.
struct SoundIn {
    SoundOut* out = nullptr;
    const AVStream* st = nullptr;
    AVCodecContext* dec = nullptr;
    CodecContextPtr ownDecoder;  // tracks other than the main one decode on their own
    bool done = false;
    int64_t beginSample = 0;
    int64_t end = 0;  // content reached, microseconds from the input's zero
    StreamClock clock;
    int64_t lastLength = 0;
    int64_t trimSamples = 0;  // resampled samples still to drop (sound before the start)
    int64_t lastDiff = 0;     // the last sound frame's offset from its place, samples
    SwrPtr swr;
    ChannelLayout swrLayout;
    int swrRate = 0, swrFormat = -1;
    SampleBuffer buf;  // resampled sound
};

// Decoding and placing one input on the output timeline.
class InputPass {
public:
    InputPass(Transcoder::Impl& d, MediaInput& in, OutputSink& sink, const StageContext& ctx)
        : d_(d), in_(in), sink_(sink), ctx_(ctx) {
        zero_ = ctx.window.cut ? ctx.window.startMicros : in.startMicros();
        endLimit_ = ctx.window.cut ? ctx.window.endMicros - zero_ : INT64_MAX;
        videoOn_ = in.videoDecoder() && d.venc && !ctx.passOver;
        orientation_ = OrientationOf(in.video(), d.rotate);
        beginSlot_ = d.venc || d.timedPictures ? d.SlotAt(ctx.offsetMicros) : 0;
        // The extent a frame's time may have: from the file's start to the window's end
        // (or the file's end), with room for the odd stream that runs a little longer.
        lo_ = in.startMicros() - zero_ - kSlack;
        const int64_t duration = in.durationMicros();
        hi_ = ctx.window.cut ? endLimit_ + kSlack
              : duration > 0 ? in.startMicros() + duration - zero_ + kSlack
                             : INT64_MAX / 4;
        PlacePart(ctx);
        // The input's k-th sound track goes to output track k; a track whose decoder cannot
        // be opened is left silent.
        const std::vector<int> tracks = in.SoundTracks();
        for (size_t k = 0; k < tracks.size() && k < d.sounds.size(); ++k) {
            auto t = std::make_unique<SoundIn>();
            t->out = &d.sounds[k];
            t->st = in.ctx()->streams[tracks[k]];
            if (tracks[k] == in.audioIndex()) {
                t->dec = in.audioDecoder();
            } else if (OpenStreamDecoder(t->st, true, t->ownDecoder).ok()) {
                t->dec = t->ownDecoder.get();
            }
            if (!t->dec) continue;
            t->beginSample = d.SampleAt(ctx.offsetMicros);
            soundOf_.resize(in.ctx()->nb_streams, nullptr);
            soundOf_[tracks[k]] = t.get();
            sounds_.push_back(std::move(t));
        }
    }
    Status Run();

private:
    // A part of the output: the slots of its first and last pictures, and the streams timed.
    void PlacePart(const StageContext& ctx);
    // Where a stream this pass does not decode ends, from its packets' times and durations.
    void TimePacket(const AVPacket* pkt);
    bool TimingDone() const { return !timeVideo_ && !timeSound_; }
    Status ReadPackets();
    Status DrainDecoders();
    // Brings every stream to `length` past ctx.offsetMicros.
    Status EndOnEveryStream(int64_t length);
    Status Feed(AVCodecContext* dec, const AVPacket* pkt, SoundIn* sound);
    Status OnPicture(AVFrame* f);
    Status OnSound(SoundIn& t, AVFrame* f);
    Status PushSamples(SoundIn& t, uint8_t** data, int n);
    Status OpenResampler(SoundIn& t, const AVFrame* f);
    Status FlushResampler(SoundIn& t);
    // Moves where the next sound lands by `samples`: silence when later, a cut when earlier.
    Status Shift(SoundIn& t, int64_t samples);
    bool AllDone() const {
        return videoDone_ && std::all_of(sounds_.begin(), sounds_.end(), [](const auto& t) { return t->done; });
    }
    void Progress() {
        if (ctx_.onProgress) ctx_.onProgress(d_.EndMicros());
    }

    Transcoder::Impl& d_;
    MediaInput& in_;
    OutputSink& sink_;
    const StageContext& ctx_;
    int64_t zero_;      // source time placed at ctx.offsetMicros
    int64_t endLimit_;  // length of the window from zero_, microseconds
    bool videoOn_;
    Orientation orientation_;  // the turn that shows this input's pictures upright
    bool videoDone_ = false;
    int64_t beginSlot_;
    int64_t videoEnd_ = 0;              // content reached, microseconds from zero_
    int64_t lo_ = 0, hi_ = 0;           // plausible times, from zero_
    int64_t pictureLimit_ = INT64_MAX;  // a part's end, from zero_: the pictures from there on are the next part's
    bool timeVideo_ = false, timeSound_ = false;  // streams timed from their packets, until past the window
    int64_t timedVideoEnd_ = 0, timedSoundEnd_ = 0;
    StreamClock pictureClock_;
    std::vector<std::unique_ptr<SoundIn>> sounds_;
    std::vector<SoundIn*> soundOf_;  // by stream index
    FramePtr frame_ = MakeFrame();
};

void InputPass::PlacePart(const StageContext& ctx) {
    if (ctx.picturesFrom != std::numeric_limits<int64_t>::min())
        d_.firstSlot = beginSlot_ + d_.SlotAt(std::max<int64_t>(ctx.picturesFrom - zero_, 0));
    if (ctx.picturesTo != std::numeric_limits<int64_t>::max()) {
        pictureLimit_ = ctx.picturesTo - zero_;
        d_.endSlot = beginSlot_ + d_.SlotAt(std::max<int64_t>(pictureLimit_, 0));
    }
    timeVideo_ = !videoOn_ && in_.video() && (d_.timedPictures || (ctx.passOver && d_.venc));
    timeSound_ = d_.sounds.empty() && d_.timedSoundRate > 0 && in_.audio();
}

void InputPass::TimePacket(const AVPacket* pkt) {
    const bool picture = pkt->stream_index == in_.videoIndex();
    if (!(picture ? timeVideo_ : timeSound_ && pkt->stream_index == in_.audioIndex())) return;
    if (pkt->pts == AV_NOPTS_VALUE) return;
    const AVStream* st = in_.ctx()->streams[pkt->stream_index];
    const int64_t rel = ToMicros(pkt->pts, st->time_base) - zero_;
    // Past the window's end (by more than pictures are reordered): the stream is timed.
    if (rel >= endLimit_) {
        if (rel - endLimit_ > kBackTolerance) (picture ? timeVideo_ : timeSound_) = false;
        return;
    }
    if (rel < lo_ || rel > hi_) return;
    int64_t dur = ToMicros(pkt->duration, st->time_base);
    if (picture) {
        // As OnPicture times a decoded picture.
        const int64_t frame = av_rescale_q(1, d_.period, AV_TIME_BASE_Q);
        if (dur <= 0) dur = frame;
        if (hi_ != INT64_MAX / 4) dur = std::min(dur, std::max(hi_ - kSlack - rel, frame));
        timedVideoEnd_ = std::max(timedVideoEnd_, rel + std::min(dur, kMaxPicture));
    } else {
        const int samples = av_get_audio_frame_duration2(st->codecpar, pkt->size);
        if (samples > 0 && st->codecpar->sample_rate > 0)
            dur = av_rescale(samples, AV_TIME_BASE, st->codecpar->sample_rate);
        timedSoundEnd_ = std::max(timedSoundEnd_, rel + std::max<int64_t>(dur, 0));
    }
}

Status InputPass::OnPicture(AVFrame* f) {
    const AVStream* st = in_.video();
    // A picture lasts until the next one, in a slideshow for many seconds, but not past
    // the file's end. A damaged time is stepped on from the picture before by at most a
    // second.
    const int64_t frame = av_rescale_q(1, d_.period, AV_TIME_BASE_Q);
    int64_t dur = ToMicros(f->pkt_duration, st->time_base);
    if (dur <= 0) dur = frame;
    const int64_t step = dur > AV_TIME_BASE ? frame : dur;
    const int64_t rel = pictureClock_.Place(f->best_effort_timestamp, st->time_base, zero_, step, lo_, hi_);
    if (rel >= endLimit_ || rel >= pictureLimit_) {
        videoDone_ = true;
        return {};
    }
    if (hi_ != INT64_MAX / 4) dur = std::min(dur, std::max(hi_ - kSlack - rel, frame));
    videoEnd_ = std::max(videoEnd_, rel + std::min(dur, kMaxPicture));
    // The picture in `pending` fills every slot up to the one this picture starts at.
    const int64_t slot = beginSlot_ + d_.SlotAt(std::max<int64_t>(rel, 0));
    if (d_.pending && slot > d_.nextSlot) {
        if (Status s = d_.EmitPictures(slot, sink_); !s.ok()) return s;
    }
    const AVRational sar = av_guess_sample_aspect_ratio(in_.ctx(), in_.video(), f);
    if (Status s = d_.ScaleInto(f, orientation_, sar); !s.ok()) return s;
    Progress();
    return {};
}

Status InputPass::PushSamples(SoundIn& t, uint8_t** data, int n) {
    int skip = static_cast<int>(std::min<int64_t>(t.trimSamples, n));
    t.trimSamples -= skip;
    n -= skip;
    if (n <= 0) return {};
    SoundOut& out = *t.out;
    const int64_t cap = endLimit_ == INT64_MAX ? INT64_MAX : t.beginSample + d_.SampleAt(endLimit_);
    if (out.queued + n >= cap) {
        n = static_cast<int>(std::max<int64_t>(cap - out.queued, 0));
        t.done = true;
    }
    if (n <= 0) return {};
    const AVSampleFormat fmt = out.enc->sample_fmt;
    const int ch = out.enc->ch_layout.nb_channels;
    const int bps = av_get_bytes_per_sample(fmt);
    void* planes[AV_NUM_DATA_POINTERS] = {};
    if (av_sample_fmt_is_planar(fmt)) {
        for (int c = 0; c < ch && c < AV_NUM_DATA_POINTERS; ++c) planes[c] = data[c] + skip * bps;
    } else {
        planes[0] = data[0] + skip * bps * ch;
    }
    if (av_audio_fifo_write(out.fifo.get(), planes, n) != n) return Status::Failed("out of memory for sound");
    out.queued += n;
    return d_.SendAudioFrames(out, sink_, false);
}

Status InputPass::Shift(SoundIn& t, int64_t samples) {
    if (samples < 0) {
        t.trimSamples -= samples;
        return {};
    }
    const int64_t undo = std::min(samples, t.trimSamples);
    t.trimSamples -= undo;
    samples -= undo;
    if (samples <= 0) return {};
    if (endLimit_ != INT64_MAX) {
        const int64_t cap = t.beginSample + d_.SampleAt(endLimit_);
        if (t.out->queued + samples >= cap) {
            samples = std::max<int64_t>(cap - t.out->queued, 0);
            t.done = true;
        }
    }
    return d_.QueueSilence(*t.out, samples, sink_);
}

Status InputPass::OpenResampler(SoundIn& t, const AVFrame* f) {
    AVCodecContext* enc = t.out->enc.get();
    ChannelLayout inLayout;
    if (f->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || f->ch_layout.nb_channels == 0)
        inLayout.SetDefault(std::max(f->ch_layout.nb_channels, 1));
    else
        inLayout.CopyFrom(f->ch_layout);
    SwrContext* raw = nullptr;
    int rc = swr_alloc_set_opts2(&raw, &enc->ch_layout, enc->sample_fmt, enc->sample_rate, inLayout.get(),
                                 static_cast<AVSampleFormat>(f->format), f->sample_rate, 0, nullptr);
    t.swr.reset(raw);
    // Always through the resampler, so small drift can be made up by stretching.
    if (rc >= 0) rc = av_opt_set_int(raw, "flags", SWR_FLAG_RESAMPLE, 0);
    if (rc < 0 || swr_init(raw) < 0) return Status::Failed("cannot convert the source's sound");
    t.swrLayout.CopyFrom(f->ch_layout);
    t.swrRate = f->sample_rate;
    t.swrFormat = f->format;
    const int room = std::max(t.buf.samples(), 8192);
    if (room > t.buf.samples() && !t.buf.Allocate(enc->ch_layout.nb_channels, room, enc->sample_fmt))
        return Status::Failed("out of memory for sound");
    return {};
}

Status InputPass::FlushResampler(SoundIn& t) {
    if (!t.swr) return {};
    while (!t.done) {
        const int got = swr_convert(t.swr.get(), t.buf.planes(), t.buf.samples(), nullptr, 0);
        if (got <= 0) break;
        if (Status s = PushSamples(t, t.buf.planes(), got); !s.ok()) return s;
    }
    t.swr.reset();
    return {};
}

Status InputPass::OnSound(SoundIn& t, AVFrame* f) {
    AVCodecContext* enc = t.out->enc.get();
    if (f->nb_samples <= 0 || f->sample_rate <= 0) return {};
    const int64_t length = av_rescale(f->nb_samples, AV_TIME_BASE, f->sample_rate);
    const int64_t rel = t.clock.Place(f->best_effort_timestamp, t.st->time_base, zero_, t.lastLength, lo_, hi_);
    t.lastLength = length;
    t.end = std::max(t.end, rel + length);
    // A new resampler when the decoded format changes; the old one gives what it holds.
    if (t.swr && (f->sample_rate != t.swrRate || f->format != t.swrFormat ||
                  av_channel_layout_compare(&f->ch_layout, t.swrLayout.get()) != 0)) {
        if (Status s = FlushResampler(t); !s.ok() || t.done) return s;
    }
    // Where this sound belongs on the output timeline against where it would land: the
    // samples queued, less those still to be cut, plus those the resampler holds.
    const int64_t rate = enc->sample_rate;
    const int64_t target = t.beginSample + av_rescale(rel, rate, AV_TIME_BASE);
    const int64_t hard = av_rescale(kHardFix, rate, AV_TIME_BASE);
    int64_t diff = target - (t.out->queued - t.trimSamples + (t.swr ? swr_get_delay(t.swr.get(), rate) : 0));
    const int64_t soft = av_rescale(kSoftFix, rate, AV_TIME_BASE);
    const bool step = std::abs(diff - t.lastDiff) > av_rescale(kStep, rate, AV_TIME_BASE);
    t.lastDiff = diff;
    if (step && std::abs(diff) > soft) t.lastDiff = 0;  // moved below: the next frame lands where it belongs
    if (!t.swr || diff > hard || (step && diff > soft)) {
        // The first sound, or sound after a hole: what came before is played out, then
        // silence or a cut brings this sound to its place.
        if (Status s = FlushResampler(t); !s.ok() || t.done) return s;
        if (Status s = Shift(t, target - (t.out->queued - t.trimSamples)); !s.ok() || t.done) return s;
        if (Status s = OpenResampler(t, f); !s.ok()) return s;
    } else if (diff < -hard || (step && diff < -soft)) {
        t.trimSamples -= diff;  // overlaps what is already placed
    } else if (std::abs(diff) > soft) {
        const int span = static_cast<int>(rate);  // made up over a second
        const int most = static_cast<int>(kMaxStretch * span);
        swr_set_compensation(t.swr.get(), static_cast<int>(std::clamp<int64_t>(diff, -most, most)), span);
    }
    const int want = swr_get_out_samples(t.swr.get(), f->nb_samples);
    if (want > t.buf.samples() && !t.buf.Allocate(enc->ch_layout.nb_channels, want, enc->sample_fmt)) {
        return Status::Failed("out of memory for sound");
    }
    const int got = swr_convert(t.swr.get(), t.buf.planes(), t.buf.samples(),
                                const_cast<const uint8_t**>(f->extended_data), f->nb_samples);
    if (got < 0) return {};  // a frame that cannot be converted is skipped
    return PushSamples(t, t.buf.planes(), got);
}

Status InputPass::Feed(AVCodecContext* dec, const AVPacket* pkt, SoundIn* sound) {
    Status s;
    SendPacket(dec, pkt, frame_.get(), [&](AVFrame* f) {
        if (!sound && !videoDone_) s = OnPicture(f);
        if (sound && !sound->done) s = OnSound(*sound, f);
        return s.ok() ? FrameVerdict::kGoOn : FrameVerdict::kFail;
    });
    return s;
}

Status InputPass::ReadPackets() {
    PacketPtr pkt = MakePacket();
    const int vi = videoOn_ ? in_.videoIndex() : -1;
    while (!AllDone() || (ctx_.passOver && !TimingDone())) {
        if (ctx_.cancelled()) return Status::Cancelled();
        if (in_.ReadPacket(pkt.get()) < 0) break;  // end, or the readable part of a damaged file
        Status s;
        const int index = pkt->stream_index;
        TimePacket(pkt.get());
        SoundIn* sound = index >= 0 && static_cast<size_t>(index) < soundOf_.size() ? soundOf_[index] : nullptr;
        if (index == vi && !videoDone_)
            s = Feed(in_.videoDecoder(), pkt.get(), nullptr);
        else if (sound && !sound->done)
            s = Feed(sound->dec, pkt.get(), sound);
        av_packet_unref(pkt.get());
        if (!s.ok()) return s;
    }
    return {};
}

Status InputPass::DrainDecoders() {
    if (videoOn_ && !videoDone_) {
        if (Status s = Feed(in_.videoDecoder(), nullptr, nullptr); !s.ok()) return s;
    }
    for (auto& t : sounds_) {
        if (!t->done) {
            if (Status s = Feed(t->dec, nullptr, t.get()); !s.ok()) return s;
        }
        if (Status s = FlushResampler(*t); !s.ok()) return s;
    }
    return {};
}

Status InputPass::EndOnEveryStream(int64_t length) {
    const int64_t end = ctx_.offsetMicros + length;
    if (pictureLimit_ != INT64_MAX) {
        // A part ends with the picture before the next part's first.
        if (Status s = d_.EmitPictures(d_.endSlot, sink_); !s.ok()) return s;
    } else if (d_.venc || d_.timedPictures) {
        // An input that placed a picture and has a length shows it at least once.
        const bool showPending = d_.pending && d_.nextSlot == beginSlot_ && length > 0;
        if (Status s = d_.EmitPictures(std::max(d_.SlotAt(end), d_.nextSlot + (showPending ? 1 : 0)), sink_); !s.ok())
            return s;
    }
    // Every sound track, this input's or not, runs to the same end.
    for (SoundOut& out : d_.sounds) {
        const int64_t endSample = d_.SampleAt(end);
        if (endSample > out.queued) {
            if (Status s = d_.QueueSilence(out, endSample - out.queued, sink_); !s.ok()) return s;
        }
        if (Status s = d_.SendAudioFrames(out, sink_, false); !s.ok()) return s;
    }
    d_.TimeSoundTo(end);
    Progress();
    return {};
}

Status InputPass::Run() {
    if (!videoOn_) videoDone_ = true;
    Status read = ReadPackets();
    if (read.failed()) return read;
    const bool cancelled = read.cancelled();
    // Pictures and sound the decoders still hold.
    if (!cancelled) {
        if (Status s = DrainDecoders(); !s.ok()) return s;
    }
    int64_t soundEnd = timedSoundEnd_;
    for (const auto& t : sounds_) soundEnd = std::max(soundEnd, t->end);
    videoEnd_ = std::max(videoEnd_, timedVideoEnd_);
    if (!cancelled) {
        if (videoEnd_ == 0 && soundEnd == 0)
            return Status::Failed(ctx_.window.cut ? "no picture or sound could be decoded in the marked segment"
                                                  : "no picture or sound could be decoded");
    }
    // Every stream ends where this input ends: at the window's end, or where its content
    // stops when the file is shorter; when cancelled, where the output has got to.
    int64_t length = std::max(videoEnd_, soundEnd);
    if (ctx_.window.cut) length = std::min(length, endLimit_);
    if (cancelled) length = std::max<int64_t>(0, d_.EndMicros() - ctx_.offsetMicros);
    Status ended = EndOnEveryStream(length);
    // A cancelled input reports the cancel, whatever its ending met.
    return cancelled ? Status::Cancelled() : ended;
}

}  // namespace

Status Transcoder::Process(MediaInput& in, OutputSink& sink, const StageContext& ctx) {
    InputPass pass(*d_, in, sink, ctx);
    return pass.Run();
}

}  // namespace ulvane
