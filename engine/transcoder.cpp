// Decode, scale or resample, and encode; see transcoder.h for the timeline rules.
#include "engine/transcoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libavutil/samplefmt.h>
}

#include "engine/scaler.h"
#include "engine/stream_meta.h"

namespace ulvane {

namespace {

struct RateRow {
    double rate;
    AVRational tb;
};
// Frame rates of the preset lists and the time base each one is encoded with.
constexpr RateRow kRateTable[] = {
    {8, {1001, 8008}},    {10, {1001, 10010}},    {12, {1001, 12012}},   {14.985, {1001, 15000}},
    {15, {1001, 15015}},  {18, {1, 18}},          {20, {1001, 20020}},   {23.975, {1001, 24000}},
    {24, {1001, 24024}},  {25, {1001, 25025}},    {29.97, {1001, 30000}}, {30, {1001, 30030}},
    {50, {1, 50}},        {60, {1, 60}},
};

// The largest jump between the times of two frames in a row that is taken as real.
constexpr int64_t kMaxLeap = 10 * AV_TIME_BASE;

bool Sane(AVRational r) { return r.num > 0 && r.den > 0 && av_q2d(r) >= 1.0 && av_q2d(r) <= 240.0; }

}  // namespace

AVRational OutputTimeBase(double frameRate, AVRational sourceRate, int codecId) {
    if (!Sane(sourceRate)) sourceRate = {25, 1};
    AVRational tb = {sourceRate.den, sourceRate.num};
    if (frameRate == 0) {
        if (codecId == AV_CODEC_ID_MPEG4 && sourceRate.num == 982057 && sourceRate.den == 32768) tb = {100, 2997};
        if (codecId == AV_CODEC_ID_MPEG4 && sourceRate.num == 785645 && sourceRate.den == 32768) tb = {1001, 24000};
        frameRate = static_cast<double>(tb.den / tb.num);
    }
    for (const RateRow& row : kRateTable)
        if (row.rate == frameRate) tb = row.tb;
    av_reduce(&tb.num, &tb.den, tb.num, tb.den, 1 << 30);
    return tb;
}

struct Transcoder::Impl {
    // --- output side, alive for the whole job ---
    CodecContextPtr venc, aenc;
    AVStream* vst = nullptr;
    AVStream* ast = nullptr;
    AVRational period{1, 25};     // one output frame, also the video encoder's time base
    int64_t nextSlot = 0;         // next output picture number
    FramePtr pending;             // the picture that fills slots until a newer one comes
    Scaler scaler;                // source pictures to the encoder's size and format
    AudioFifoPtr fifo;            // resampled sound waiting for a whole encoder frame
    int64_t audioQueued = 0;      // samples placed on the output timeline (sent + queued)
    int64_t audioSent = 0;        // samples handed to the encoder
    int frameSize = 1024;
    PacketPtr outPkt = MakePacket();

    Status Drain(AVCodecContext* enc, AVStream* st, OutputSink& sink);
    Status SendVideo(AVFrame* f, OutputSink& sink);
    Status EmitPictures(int64_t untilSlot, OutputSink& sink);
    Status ScaleInto(const AVFrame* src);
    Status SendAudioFrames(OutputSink& sink, bool final);
    Status QueueSilence(int64_t samples, OutputSink& sink);
    FramePtr BlackPicture() const;
    int64_t EndMicros() const;  // where the output ends so far
    int64_t SlotAt(int64_t us) const { return av_rescale_q_rnd(us, AV_TIME_BASE_Q, period, AV_ROUND_NEAR_INF); }
    int64_t SampleAt(int64_t us) const { return av_rescale(us, aenc->sample_rate, AV_TIME_BASE); }
};

Transcoder::Transcoder() : d_(std::make_unique<Impl>()) {}
Transcoder::~Transcoder() = default;

// ---------------------------------------------------------------- set-up ---

static const AVCodec* FindEncoder(int id) {
    const char* preferred = nullptr;
    switch (id) {
        case AV_CODEC_ID_H264: preferred = "libx264"; break;
        case AV_CODEC_ID_MP3: preferred = "libmp3lame"; break;
        case AV_CODEC_ID_VORBIS: preferred = "libvorbis"; break;
        case AV_CODEC_ID_AAC: preferred = "aac"; break;
        default: break;
    }
    const AVCodec* c = preferred ? avcodec_find_encoder_by_name(preferred) : nullptr;
    return c ? c : avcodec_find_encoder(static_cast<AVCodecID>(id));
}

static Status OpenVideoEncoder(Transcoder::Impl& d, OutputSink& sink, const OutputParameters& s,
                               AVRational sourceRate) {
    const AVCodec* codec = FindEncoder(s.videoCodecId);
    if (!codec || codec->type != AVMEDIA_TYPE_VIDEO) {
        return Status::Failed(std::string("no encoder for the video codec ") + avcodec_get_name(static_cast<AVCodecID>(s.videoCodecId)));
    }
    if (s.outputWidth <= 0 || s.outputHeight <= 0 || s.videoBitRate <= 0) {
        return Status::Failed("the output picture size or video bit rate is not set");
    }
    d.venc.reset(avcodec_alloc_context3(codec));
    AVCodecContext* c = d.venc.get();
    d.period = OutputTimeBase(s.outputFrameRate, sourceRate, s.videoCodecId);
    c->width = s.outputWidth;
    c->height = s.outputHeight;
    c->bit_rate = s.videoBitRate;
    c->time_base = d.period;
    c->framerate = av_inv_q(d.period);
    c->gop_size = 12;
    c->sample_aspect_ratio = {1, 1};
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    if (codec->pix_fmts) {
        bool found = false;
        for (const AVPixelFormat* p = codec->pix_fmts; *p != AV_PIX_FMT_NONE; ++p) found |= *p == AV_PIX_FMT_YUV420P;
        if (!found) c->pix_fmt = codec->pix_fmts[0];
    }
    Dictionary opts;
    switch (s.videoCodecId) {
        case AV_CODEC_ID_MPEG2VIDEO: c->max_b_frames = 0; break;
        case AV_CODEC_ID_MPEG1VIDEO: c->mb_decision = 2; break;
        case AV_CODEC_ID_H264:
            c->me_range = 16;
            c->max_qdiff = 4;
            c->qmin = 10;
            c->qmax = 51;
            c->qcompress = 0.6f;
            c->keyint_min = 25;
            opts.Set("preset", "superfast");
            opts.Set("threads", "2");
            break;
        default: break;
    }
    if (sink.ctx()->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int rc = avcodec_open2(c, codec, opts.address());
    if (rc < 0) {
        return Status::Failed(std::string("cannot open the ") + codec->name + " encoder at " + std::to_string(s.outputWidth) + "x" +
                std::to_string(s.outputHeight) + ": " + AvErrorText(rc));
    }
    if (Status st = sink.AddStream(d.vst); !st.ok()) return st;
    // FFmpeg gives no reason for this one (out of memory), and neither does the message.
    if (avcodec_parameters_from_context(d.vst->codecpar, c) < 0) return Status::Failed("");
    d.vst->time_base = c->time_base;
    d.vst->avg_frame_rate = c->framerate;
    d.vst->r_frame_rate = c->framerate;
    d.vst->sample_aspect_ratio = c->sample_aspect_ratio;
    sink.video = d.vst;
    return {};
}

static AVSampleFormat PreferredSampleFormat(int codecId) {
    switch (codecId) {
        case AV_CODEC_ID_AAC: return AV_SAMPLE_FMT_S16;
        case AV_CODEC_ID_MP3: return AV_SAMPLE_FMT_S32P;
        case AV_CODEC_ID_VORBIS:
        case AV_CODEC_ID_WMAV2: return AV_SAMPLE_FMT_FLTP;
        default: return AV_SAMPLE_FMT_NONE;
    }
}

static int NearestRate(int want, const int* list) {
    int best = want;
    long bestDiff = -1;
    for (const int* r = list; r && *r; ++r) {
        const long diff = std::labs(static_cast<long>(*r) - want);
        if (bestDiff < 0 || diff < bestDiff) best = *r, bestDiff = diff;
    }
    return best;
}

static Status OpenAudioEncoder(Transcoder::Impl& d, OutputSink& sink, const OutputParameters& s) {
    const AVCodec* codec = FindEncoder(s.audioCodecId);
    if (!codec || codec->type != AVMEDIA_TYPE_AUDIO) {
        return Status::Failed(std::string("no encoder for the audio codec ") + avcodec_get_name(static_cast<AVCodecID>(s.audioCodecId)));
    }
    if (s.sampleRate <= 0 || s.channels <= 0 || s.audioBitRate <= 0) {
        return Status::Failed("the output sample rate, channels or audio bit rate is not set");
    }
    int rate = s.sampleRate;
    if (codec->supported_samplerates) rate = NearestRate(rate, codec->supported_samplerates);
    // Flash Video stores MP3 only at 44100, 22050 or 11025 Hz.
    static const int kFlvRates[] = {44100, 22050, 11025, 0};
    if (std::strcmp(sink.ctx()->oformat->name, "flv") == 0) rate = NearestRate(rate, kFlvRates);

    AVSampleFormat fmt = PreferredSampleFormat(s.audioCodecId);
    if (codec->sample_fmts) {
        bool found = false;
        for (const AVSampleFormat* f = codec->sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f) found |= *f == fmt;
        if (!found) fmt = codec->sample_fmts[0];
    }
    if (fmt == AV_SAMPLE_FMT_NONE) fmt = AV_SAMPLE_FMT_S16;

    for (int attempt = 0; attempt < 2; ++attempt) {
        d.aenc.reset(avcodec_alloc_context3(codec));
        AVCodecContext* c = d.aenc.get();
        c->sample_rate = rate;
        c->sample_fmt = fmt;
        av_channel_layout_default(&c->ch_layout, s.channels);
        c->bit_rate = s.audioCodecId == AV_CODEC_ID_AAC ? std::max(s.audioBitRate, 128000) : s.audioBitRate;
        c->time_base = {1, rate};
        if (attempt == 1) {
            // Some encoders (Vorbis) refuse a bit rate they cannot manage at this rate
            // and channel count; then encode at a matching variable quality instead.
            c->bit_rate = 0;
            c->flags |= AV_CODEC_FLAG_QSCALE;
            c->global_quality = FF_QP2LAMBDA * std::clamp(s.audioBitRate / 32000 - 1, 0, 10);
        }
        if (sink.ctx()->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        int rc = avcodec_open2(c, codec, nullptr);
        if (rc >= 0) break;
        if (attempt == 1 || s.audioCodecId != AV_CODEC_ID_VORBIS) {
            return Status::Failed(std::string("cannot open the ") + codec->name + " encoder: " + AvErrorText(rc));
        }
    }
    AVCodecContext* c = d.aenc.get();
    if (Status st = sink.AddStream(d.ast); !st.ok()) return st;
    // FFmpeg gives no reason for this one (out of memory), and neither does the message.
    if (avcodec_parameters_from_context(d.ast->codecpar, c) < 0) return Status::Failed("");
    d.ast->time_base = c->time_base;
    sink.audio = d.ast;
    d.frameSize = c->frame_size > 0 ? c->frame_size : 1024;
    d.fifo.reset(av_audio_fifo_alloc(c->sample_fmt, c->ch_layout.nb_channels, d.frameSize * 4));
    if (!d.fifo) {
        return Status::Failed("out of memory for the sound queue");
    }
    return {};
}

Status Transcoder::SetUp(OutputSink& sink, const OutputParameters& s, bool withVideo, bool withAudio,
                         const AVStream* videoLooks, const AVStream* audioLooks, AVRational sourceRate) {
    if (withVideo) {
        if (Status st = OpenVideoEncoder(*d_, sink, s, sourceRate); !st.ok()) return st;
        if (videoLooks) CopyStreamLooks(videoLooks, d_->vst);
    }
    if (withAudio) {
        if (Status st = OpenAudioEncoder(*d_, sink, s); !st.ok()) return st;
        if (audioLooks) CopyStreamLooks(audioLooks, d_->ast);
    }
    return {};
}

// ---------------------------------------------------------------- encoding ---

Status Transcoder::Impl::Drain(AVCodecContext* enc, AVStream* st, OutputSink& sink) {
    for (;;) {
        int rc = avcodec_receive_packet(enc, outPkt.get());
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return {};
        if (rc < 0) {
            return Status::Failed(std::string("the ") + enc->codec->name + " encoder failed: " + AvErrorText(rc));
        }
        av_packet_rescale_ts(outPkt.get(), enc->time_base, st->time_base);
        outPkt->stream_index = st->index;
        if (Status s = sink.Write(outPkt.get()); !s.ok()) return s;
        av_packet_unref(outPkt.get());
    }
}

Status Transcoder::Impl::SendVideo(AVFrame* f, OutputSink& sink) {
    int rc = avcodec_send_frame(venc.get(), f);
    if (rc < 0 && rc != AVERROR_EOF) {
        return Status::Failed(std::string("the video encoder refused a picture: ") + AvErrorText(rc));
    }
    return Drain(venc.get(), vst, sink);
}

Status Transcoder::Impl::EmitPictures(int64_t untilSlot, OutputSink& sink) {
    if (!venc) return {};
    if (!pending && nextSlot < untilSlot) pending = BlackPicture();
    for (; nextSlot < untilSlot; ++nextSlot) {
        pending->pts = nextSlot;
        pending->pict_type = AV_PICTURE_TYPE_NONE;
        if (Status s = SendVideo(pending.get(), sink); !s.ok()) return s;
    }
    return {};
}

FramePtr Transcoder::Impl::BlackPicture() const {
    FramePtr f = MakeFrame();
    f->format = venc->pix_fmt;
    f->width = venc->width;
    f->height = venc->height;
    if (av_frame_get_buffer(f.get(), 0) < 0) return f;
    const ptrdiff_t lines[4] = {f->linesize[0], f->linesize[1], f->linesize[2], f->linesize[3]};
    av_image_fill_black(f->data, lines, venc->pix_fmt, AVCOL_RANGE_MPEG, f->width, f->height);
    return f;
}

Status Transcoder::Impl::ScaleInto(const AVFrame* src) {
    // One scaler for all pictures of the same size and layout; it works in slices on
    // two threads so the conversion keeps pace with the threaded decoder and encoder.
    const ScalerTarget target{venc->width, venc->height, venc->pix_fmt, SWS_BICUBIC, 2};
    SwsContext* sws = scaler.For(*src, target);
    if (!sws) {
        return Status::Failed("cannot convert the source pictures");
    }
    // The encoder may still hold the previous picture: write into a buffer of our own.
    if (!pending || av_frame_make_writable(pending.get()) < 0) {
        pending = MakeFrame();
        pending->format = venc->pix_fmt;
        pending->width = venc->width;
        pending->height = venc->height;
        if (av_frame_get_buffer(pending.get(), 0) < 0) {
            return Status::Failed("out of memory for a picture");
        }
    }
    if (sws_scale_frame(sws, pending.get(), src) < 0) {
        return Status::Failed("cannot convert a source picture");
    }
    return {};
}

Status Transcoder::Impl::QueueSilence(int64_t samples, OutputSink& sink) {
    if (samples <= 0) return {};
    const int ch = aenc->ch_layout.nb_channels;
    const int chunk = static_cast<int>(std::min<int64_t>(samples, 65536));
    SampleBuffer silence;
    if (!silence.Allocate(ch, chunk, aenc->sample_fmt)) {
        return Status::Failed("out of memory for sound");
    }
    av_samples_set_silence(silence.planes(), 0, chunk, ch, aenc->sample_fmt);
    for (int64_t left = samples; left > 0;) {
        const int n = static_cast<int>(std::min<int64_t>(left, chunk));
        const bool queued = av_audio_fifo_write(fifo.get(), reinterpret_cast<void**>(silence.planes()), n) == n;
        audioQueued += n;
        left -= n;
        if (!queued) return Status::Failed("out of memory for sound");
        // Encoded as it is queued, so a long gap never piles up in memory.
        if (Status s = SendAudioFrames(sink, false); !s.ok()) return s;
    }
    return {};
}

Status Transcoder::Impl::SendAudioFrames(OutputSink& sink, bool final) {
    if (!aenc) return {};
    const bool shortLastOk = aenc->codec->capabilities &
                             (AV_CODEC_CAP_SMALL_LAST_FRAME | AV_CODEC_CAP_VARIABLE_FRAME_SIZE);
    while (av_audio_fifo_size(fifo.get()) >= frameSize || (final && av_audio_fifo_size(fifo.get()) > 0)) {
        const int have = av_audio_fifo_size(fifo.get());
        const int take = std::min(have, frameSize);
        FramePtr f = MakeFrame();
        f->format = aenc->sample_fmt;
        f->sample_rate = aenc->sample_rate;
        av_channel_layout_copy(&f->ch_layout, &aenc->ch_layout);
        // A last partial frame is padded with silence where the encoder needs whole frames.
        f->nb_samples = take < frameSize && shortLastOk ? take : frameSize;
        if (av_frame_get_buffer(f.get(), 0) < 0) {
            return Status::Failed("out of memory for sound");
        }
        av_samples_set_silence(f->data, 0, f->nb_samples, f->ch_layout.nb_channels, aenc->sample_fmt);
        av_audio_fifo_read(fifo.get(), reinterpret_cast<void**>(f->data), take);
        f->pts = audioSent;
        audioSent += take;
        int rc = avcodec_send_frame(aenc.get(), f.get());
        if (rc < 0) {
            return Status::Failed(std::string("the audio encoder refused sound: ") + AvErrorText(rc));
        }
        if (Status s = Drain(aenc.get(), ast, sink); !s.ok()) return s;
    }
    return {};
}

int64_t Transcoder::Impl::EndMicros() const {
    int64_t v = venc ? av_rescale_q(nextSlot, period, AV_TIME_BASE_Q) : 0;
    int64_t a = aenc ? av_rescale(audioQueued, AV_TIME_BASE, aenc->sample_rate) : 0;
    return std::max(v, a);
}

int64_t Transcoder::EndMicros() const { return d_->EndMicros(); }

Status Transcoder::Flush(OutputSink& sink) {
    Impl& d = *d_;
    if (d.aenc) {
        if (Status s = d.SendAudioFrames(sink, true); !s.ok()) return s;
        if (int rc = avcodec_send_frame(d.aenc.get(), nullptr); rc < 0)
            return Status::Failed(std::string("the audio encoder refused sound: ") + AvErrorText(rc));
        if (Status s = d.Drain(d.aenc.get(), d.ast, sink); !s.ok()) return s;
    }
    return d.venc ? d.SendVideo(nullptr, sink) : Status();
}

// ---------------------------------------------------------------- one input ---

namespace {

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
                             : duration > 0 ? in.startMicros() + duration - zero_ + kMaxLeap : INT64_MAX / 4;
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
    int64_t zero_;               // source time placed at ctx.offsetMicros
    int64_t endLimit_;           // length of the window from zero_, microseconds
    bool videoOn_, audioOn_;
    bool videoDone_ = false, audioDone_ = false;
    int64_t beginSlot_, beginSample_;
    int64_t videoEnd_ = 0, audioEnd_ = 0;  // content reached, microseconds from zero_
    int64_t lo_ = 0, hi_ = 0;               // plausible times, from zero_
    int64_t lastPicture_ = AV_NOPTS_VALUE;  // time of the last picture, from zero_
    int64_t lastSound_ = AV_NOPTS_VALUE;    // time of the last sound frame, from zero_
    int64_t lastSoundLength_ = 0;
    bool firstSound_ = true;
    int64_t trimSamples_ = 0;    // resampled samples still to drop (sound before the start)
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
    if (av_audio_fifo_write(d_.fifo.get(), planes, n) != n) {
        return Status::Failed("out of memory for sound");
    }
    d_.audioQueued += n;
    return d_.SendAudioFrames(sink_, false);
}

Status InputPass::OnSound(AVFrame* f) {
    const AVStream* st = in_.audio();
    AVCodecContext* enc = d_.aenc.get();
    if (f->nb_samples <= 0 || f->sample_rate <= 0) return {};
    const int64_t length = av_rescale(f->nb_samples, AV_TIME_BASE, f->sample_rate);
    const int64_t rel = SaneTime(f->best_effort_timestamp, st->time_base, zero_, lastSound_, lastSoundLength_, lo_, hi_);
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
        if (rc < 0 || swr_init(raw) < 0) {
            return Status::Failed("cannot convert the source's sound");
        }
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
        if (av_read_frame(in_.ctx(), pkt.get()) < 0) break;  // end, or the readable part of a damaged file
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
