// Transcoder input: decoding one input and placing its pictures and sound on the output
// timeline (see transcoder.h for the rules).
#include <algorithm>

#include "engine/transcoder_internal.h"

namespace ulvane {

namespace {

// The largest jump between the times of two frames in a row that is taken as real.
constexpr int64_t kMaxLeap = 10 * AV_TIME_BASE;

// Decoding and placing one input on the output timeline.
class InputPass {
public:
    InputPass(Transcoder::Impl& d, MediaInput& in, OutputSink& sink, const StageContext& ctx)
        : d_(d), in_(in), sink_(sink), ctx_(ctx) {
        zero_ = ctx.window.cut ? ctx.window.startMicros : in.startMicros();
        endLimit_ = ctx.window.cut ? ctx.window.endMicros - zero_ : INT64_MAX;
        videoOn_ = in.videoDecoder() && d.venc;
        audioOn_ = in.audioDecoder() && d.aenc;
        beginSample_ = d.aenc ? d.SampleAt(ctx.offsetMicros) : 0;
        beginSlot_ = d.venc ? d.SlotAt(ctx.offsetMicros) : 0;
        // The extent a frame's time may have: from the file's start to the window's end
        // (or the file's end), with room for the odd stream that runs a little longer.
        lo_ = in.startMicros() - zero_ - kMaxLeap;
        const int64_t duration = in.durationMicros();
        hi_ = ctx.window.cut ? endLimit_ + kMaxLeap
              : duration > 0 ? in.startMicros() + duration - zero_ + kMaxLeap
                             : INT64_MAX / 4;
    }
    Status Run();

private:
    Status ReadPackets();
    Status DrainDecoders();
    // Brings both streams to `length` past ctx.offsetMicros.
    Status EndOnBothStreams(int64_t length);
    Status Feed(AVCodecContext* dec, const AVPacket* pkt, bool video);
    Status OnPicture(AVFrame* f);
    Status OnSound(AVFrame* f);
    Status PushSamples(uint8_t** data, int n);
    void Progress() {
        if (ctx_.onProgress) ctx_.onProgress(d_.EndMicros());
    }

    Transcoder::Impl& d_;
    MediaInput& in_;
    OutputSink& sink_;
    const StageContext& ctx_;
    int64_t zero_;      // source time placed at ctx.offsetMicros
    int64_t endLimit_;  // length of the window from zero_, microseconds
    bool videoOn_, audioOn_;
    bool videoDone_ = false, audioDone_ = false;
    int64_t beginSlot_, beginSample_;
    int64_t videoEnd_ = 0, audioEnd_ = 0;   // content reached, microseconds from zero_
    int64_t lo_ = 0, hi_ = 0;               // plausible times, from zero_
    int64_t lastPicture_ = AV_NOPTS_VALUE;  // time of the last picture, from zero_
    int64_t lastSound_ = AV_NOPTS_VALUE;    // time of the last sound frame, from zero_
    int64_t lastSoundLength_ = 0;
    bool firstSound_ = true;
    int64_t trimSamples_ = 0;  // resampled samples still to drop (sound before the start)
    SwrPtr swr_;
    ChannelLayout swrLayout_;
    int swrRate_ = 0, swrFormat_ = -1;
    SampleBuffer buf_;  // resampled sound
    FramePtr frame_ = MakeFrame();
};

// Where a decoded frame lies, in microseconds from the input's zero. Damaged files carry
// timestamps that leap far away and back; such a leap is taken as one step on from the
// frame before, so a single bad number cannot stretch the output by hours.
// A time outside [lo, hi] (the file's extent around the window) is as bad as a leap.
int64_t SaneTime(int64_t ts, AVRational tb, int64_t zero, int64_t& last, int64_t step, int64_t lo, int64_t hi) {
    int64_t rel = ts == AV_NOPTS_VALUE ? AV_NOPTS_VALUE : ToMicros(ts, tb) - zero;
    bool bad = rel == AV_NOPTS_VALUE || rel < lo || rel > hi;
    if (!bad && last != AV_NOPTS_VALUE && (rel > last + kMaxLeap || rel < last - kMaxLeap)) bad = true;
    if (bad) rel = last == AV_NOPTS_VALUE ? 0 : last + step;
    last = rel;
    return rel;
}

Status InputPass::OnPicture(AVFrame* f) {
    const AVStream* st = in_.video();
    int64_t dur = ToMicros(f->pkt_duration, st->time_base);
    if (dur <= 0 || dur > AV_TIME_BASE) dur = av_rescale_q(1, d_.period, AV_TIME_BASE_Q);
    const int64_t rel = SaneTime(f->best_effort_timestamp, st->time_base, zero_, lastPicture_, dur, lo_, hi_);
    if (rel >= endLimit_) {
        videoDone_ = true;
        return {};
    }
    videoEnd_ = std::max(videoEnd_, rel + dur);
    // The picture in `pending` fills every slot up to the one this picture starts at.
    const int64_t slot = beginSlot_ + d_.SlotAt(std::max<int64_t>(rel, 0));
    if (d_.pending && slot > d_.nextSlot) {
        if (Status s = d_.EmitPictures(slot, sink_); !s.ok()) return s;
    }
    if (Status s = d_.ScaleInto(f); !s.ok()) return s;
    Progress();
    return {};
}

Status InputPass::PushSamples(uint8_t** data, int n) {
    int skip = static_cast<int>(std::min<int64_t>(trimSamples_, n));
    trimSamples_ -= skip;
    n -= skip;
    if (n <= 0) return {};
    const int64_t cap = endLimit_ == INT64_MAX ? INT64_MAX : beginSample_ + d_.SampleAt(endLimit_);
    if (d_.audioQueued + n >= cap) {
        n = static_cast<int>(std::max<int64_t>(cap - d_.audioQueued, 0));
        audioDone_ = true;
    }
    if (n <= 0) return {};
    const AVSampleFormat fmt = d_.aenc->sample_fmt;
    const int ch = d_.aenc->ch_layout.nb_channels;
    const int bps = av_get_bytes_per_sample(fmt);
    void* planes[AV_NUM_DATA_POINTERS] = {};
    if (av_sample_fmt_is_planar(fmt)) {
        for (int c = 0; c < ch && c < AV_NUM_DATA_POINTERS; ++c) planes[c] = data[c] + skip * bps;
    } else {
        planes[0] = data[0] + skip * bps * ch;
    }
    if (av_audio_fifo_write(d_.fifo.get(), planes, n) != n) return Status::Failed("out of memory for sound");
    d_.audioQueued += n;
    return d_.SendAudioFrames(sink_, false);
}

Status InputPass::OnSound(AVFrame* f) {
    const AVStream* st = in_.audio();
    AVCodecContext* enc = d_.aenc.get();
    if (f->nb_samples <= 0 || f->sample_rate <= 0) return {};
    const int64_t length = av_rescale(f->nb_samples, AV_TIME_BASE, f->sample_rate);
    const int64_t rel =
        SaneTime(f->best_effort_timestamp, st->time_base, zero_, lastSound_, lastSoundLength_, lo_, hi_);
    lastSoundLength_ = length;
    audioEnd_ = std::max(audioEnd_, rel + length);
    // (Re)build the resampler when the decoded format changes.
    if (!swr_ || f->sample_rate != swrRate_ || f->format != swrFormat_ ||
        av_channel_layout_compare(&f->ch_layout, swrLayout_.get()) != 0) {
        ChannelLayout inLayout;
        if (f->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || f->ch_layout.nb_channels == 0)
            inLayout.SetDefault(std::max(f->ch_layout.nb_channels, 1));
        else
            inLayout.CopyFrom(f->ch_layout);
        SwrContext* raw = nullptr;
        int rc = swr_alloc_set_opts2(&raw, &enc->ch_layout, enc->sample_fmt, enc->sample_rate, inLayout.get(),
                                     static_cast<AVSampleFormat>(f->format), f->sample_rate, 0, nullptr);
        swr_.reset(raw);
        if (rc < 0 || swr_init(raw) < 0) return Status::Failed("cannot convert the source's sound");
        swrLayout_.CopyFrom(f->ch_layout);
        swrRate_ = f->sample_rate;
        swrFormat_ = f->format;
    }
    if (firstSound_) {
        // Place the input's first sound where it belongs on the output timeline: a late
        // start is preceded by silence, sound before the window's start is dropped.
        firstSound_ = false;
        int64_t target = beginSample_ + av_rescale(rel, enc->sample_rate, AV_TIME_BASE);
        if (endLimit_ != INT64_MAX) target = std::min(target, beginSample_ + d_.SampleAt(endLimit_));
        if (target > d_.audioQueued) {
            if (Status s = d_.QueueSilence(target - d_.audioQueued, sink_); !s.ok()) return s;
        } else {
            trimSamples_ = d_.audioQueued - target;
        }
    }
    const int want = swr_get_out_samples(swr_.get(), f->nb_samples);
    if (want > buf_.samples() && !buf_.Allocate(enc->ch_layout.nb_channels, want, enc->sample_fmt)) {
        return Status::Failed("out of memory for sound");
    }
    const int got = swr_convert(swr_.get(), buf_.planes(), buf_.samples(),
                                const_cast<const uint8_t**>(f->extended_data), f->nb_samples);
    if (got < 0) return {};  // a frame that cannot be converted is skipped
    return PushSamples(buf_.planes(), got);
}

Status InputPass::Feed(AVCodecContext* dec, const AVPacket* pkt, bool video) {
    int rc = avcodec_send_packet(dec, pkt);
    // Damaged data is skipped: the decoder resumes at the next packet it can use.
    if (rc < 0 && rc != AVERROR(EAGAIN) && rc != AVERROR_EOF) return {};
    for (;;) {
        rc = avcodec_receive_frame(dec, frame_.get());
        if (rc < 0) return {};
        Status s;
        if (video ? !videoDone_ : !audioDone_) s = video ? OnPicture(frame_.get()) : OnSound(frame_.get());
        av_frame_unref(frame_.get());
        if (!s.ok()) return s;
    }
}

Status InputPass::ReadPackets() {
    PacketPtr pkt = MakePacket();
    const int vi = videoOn_ ? in_.videoIndex() : -1;
    const int ai = audioOn_ ? in_.audioIndex() : -1;
    while (!(videoDone_ && audioDone_)) {
        if (ctx_.cancelled()) return Status::Cancelled();
        if (in_.ReadPacket(pkt.get()) < 0) break;  // end, or the readable part of a damaged file
        Status s;
        if (pkt->stream_index == vi && !videoDone_)
            s = Feed(in_.videoDecoder(), pkt.get(), true);
        else if (pkt->stream_index == ai && !audioDone_)
            s = Feed(in_.audioDecoder(), pkt.get(), false);
        av_packet_unref(pkt.get());
        if (!s.ok()) return s;
    }
    return {};
}

Status InputPass::DrainDecoders() {
    if (videoOn_ && !videoDone_) {
        if (Status s = Feed(in_.videoDecoder(), nullptr, true); !s.ok()) return s;
    }
    if (audioOn_ && !audioDone_) {
        if (Status s = Feed(in_.audioDecoder(), nullptr, false); !s.ok()) return s;
    }
    if (!swr_ || audioDone_) return {};
    for (;;) {
        const int got = swr_convert(swr_.get(), buf_.planes(), buf_.samples(), nullptr, 0);
        if (got <= 0) return {};
        if (Status s = PushSamples(buf_.planes(), got); !s.ok()) return s;
    }
}

Status InputPass::EndOnBothStreams(int64_t length) {
    const int64_t end = ctx_.offsetMicros + length;
    if (d_.venc) {
        // An input that placed a picture and has a length shows it at least once.
        const bool showPending = d_.pending && d_.nextSlot == beginSlot_ && length > 0;
        if (Status s = d_.EmitPictures(std::max(d_.SlotAt(end), d_.nextSlot + (showPending ? 1 : 0)), sink_); !s.ok())
            return s;
    }
    if (d_.aenc) {
        const int64_t endSample = d_.SampleAt(end);
        if (endSample > d_.audioQueued) {
            if (Status s = d_.QueueSilence(endSample - d_.audioQueued, sink_); !s.ok()) return s;
        }
        if (Status s = d_.SendAudioFrames(sink_, false); !s.ok()) return s;
    }
    Progress();
    return {};
}

Status InputPass::Run() {
    if (!videoOn_) videoDone_ = true;
    if (!audioOn_) audioDone_ = true;
    Status read = ReadPackets();
    if (read.failed()) return read;
    const bool cancelled = read.cancelled();
    if (!cancelled) {
        // Pictures and sound the decoders still hold.
        if (Status s = DrainDecoders(); !s.ok()) return s;
        if (videoEnd_ == 0 && audioEnd_ == 0)
            return Status::Failed(ctx_.window.cut ? "no picture or sound could be decoded in the marked segment"
                                                  : "no picture or sound could be decoded");
    }
    // Both streams end where this input ends: at the window's end, or where its content
    // stops when the file is shorter; when cancelled, where the output has got to.
    int64_t length = std::max(videoEnd_, audioEnd_);
    if (ctx_.window.cut) length = std::min(length, endLimit_);
    if (cancelled) length = std::max<int64_t>(0, d_.EndMicros() - ctx_.offsetMicros);
    Status ended = EndOnBothStreams(length);
    // A cancelled input reports the cancel, whatever its ending met.
    return cancelled ? Status::Cancelled() : ended;
}

}  // namespace

Status Transcoder::Process(MediaInput& in, OutputSink& sink, const StageContext& ctx) {
    InputPass pass(*d_, in, sink, ctx);
    return pass.Run();
}

}  // namespace ulvane
