// Transcoder set-up: the output time base and the video and audio encoders.
#include <algorithm>
#include <cmath>
#include <cstring>

extern "C" {
#include <libavutil/pixdesc.h>
}

#include "engine/stream_meta.h"
#include "engine/transcoder_internal.h"

namespace ulvane {

namespace {

struct RateRow {
    double rate;
    AVRational tb;
};
// Frame rates of the preset lists and the time base each one is encoded with.
constexpr RateRow kRateTable[] = {
    {8, {1001, 8008}},      {10, {1001, 10010}}, {12, {1001, 12012}},     {14.985, {1001, 15000}}, {15, {1001, 15015}},
    {18, {1, 18}},          {20, {1001, 20020}}, {23.975, {1001, 24000}}, {24, {1001, 24024}},     {25, {1001, 25025}},
    {29.97, {1001, 30000}}, {30, {1001, 30030}}, {50, {1, 50}},           {60, {1, 60}},
};

bool Sane(AVRational r) {
    return r.num > 0 && r.den > 0 && av_q2d(r) >= 1.0 && av_q2d(r) <= 240.0;
}

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

Transcoder::Transcoder() : d_(std::make_unique<Impl>()) {}
Transcoder::~Transcoder() = default;

static const AVCodec* FindEncoder(int id) {
    const char* preferred = nullptr;
    switch (id) {
        case AV_CODEC_ID_H264:
            preferred = "libx264";
            break;
        case AV_CODEC_ID_HEVC:
            preferred = "libx265";
            break;
        case AV_CODEC_ID_MP3:
            preferred = "libmp3lame";
            break;
        case AV_CODEC_ID_VORBIS:
            preferred = "libvorbis";
            break;
        case AV_CODEC_ID_AAC:
            preferred = "aac";
            break;
        default:
            break;
    }
    const AVCodec* c = preferred ? avcodec_find_encoder_by_name(preferred) : nullptr;
    return c ? c : avcodec_find_encoder(static_cast<AVCodecID>(id));
}

// The picture size a job that keeps the source's takes: the size `st` is shown at (its sample
// aspect ratio made square on the width, turned as its display matrix and the user's turn say),
// made even for 4:2:0 pictures. A 720x576 picture of sample aspect 16:15 turned a quarter is
// 576x768. Without a picture stream to go by (a join whose first file has none), 1280x720.
static void SourcePictureSize(const AVStream* st, int clockwise, bool even, int& width, int& height) {
    width = 1280, height = 720;
    if (!st || st->codecpar->width <= 0 || st->codecpar->height <= 0) return;
    width = st->codecpar->width;
    height = st->codecpar->height;
    AVRational sar = st->sample_aspect_ratio.num > 0 ? st->sample_aspect_ratio : st->codecpar->sample_aspect_ratio;
    if (sar.num > 0 && sar.den > 0 && av_cmp_q(sar, AVRational{1, 1}) != 0)
        width = static_cast<int>(std::min<int64_t>(av_rescale(width, sar.num, sar.den), 16384));
    if (OrientationOf(st, clockwise).transpose) std::swap(width, height);
    if (even) width = std::max(2, width & ~1), height = std::max(2, height & ~1);
}

// The fixed quantiser a constant-quality row stands for with the encoders that have no CRF
// (MPEG-4 Part 2, Flash Video, WMV): CRF 18 -> 2, 23 -> 4, 28 -> 5, on their 2..31 scale.
static int QuantiserForQuality(int crf) {
    return std::clamp(static_cast<int>(std::lround((crf - 13) * 0.35)), 2, 31);
}

static Status OpenVideoEncoder(Transcoder::Impl& d, OutputSink& sink, const OutputParameters& s, const AVStream* looks,
                               AVRational sourceRate) {
    const AVCodec* codec = FindEncoder(s.videoCodecId);
    if (!codec || codec->type != AVMEDIA_TYPE_VIDEO) {
        return Status::Failed(std::string("no encoder for the video codec ") +
                              avcodec_get_name(static_cast<AVCodecID>(s.videoCodecId)));
    }
    const bool sourceSize = s.outputWidth <= 0 && s.outputHeight <= 0;
    if ((!sourceSize && (s.outputWidth <= 0 || s.outputHeight <= 0)) || (s.videoBitRate <= 0 && s.videoQuality <= 0)) {
        return Status::Failed("the output picture size or video bit rate is not set");
    }
    d.venc.reset(avcodec_alloc_context3(codec));
    AVCodecContext* c = d.venc.get();
    d.period = OutputTimeBase(s.outputFrameRate, sourceRate, s.videoCodecId);
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    if (codec->pix_fmts) {
        bool found = false;
        for (const AVPixelFormat* p = codec->pix_fmts; *p != AV_PIX_FMT_NONE; ++p) found |= *p == AV_PIX_FMT_YUV420P;
        if (!found) c->pix_fmt = codec->pix_fmts[0];
    }
    c->width = s.outputWidth;
    c->height = s.outputHeight;
    if (sourceSize) {
        const AVPixFmtDescriptor* fmt = av_pix_fmt_desc_get(c->pix_fmt);
        const bool even = !fmt || fmt->log2_chroma_w > 0 || fmt->log2_chroma_h > 0;
        SourcePictureSize(looks, s.rotateDegrees, even, c->width, c->height);
    }
    c->bit_rate = s.videoQuality > 0 ? 0 : s.videoBitRate;
    c->time_base = d.period;
    c->framerate = av_inv_q(d.period);
    c->gop_size = 12;
    c->sample_aspect_ratio = {1, 1};
    Dictionary opts;
    const std::string crf = std::to_string(s.videoQuality);
    switch (s.videoCodecId) {
        case AV_CODEC_ID_MPEG2VIDEO:
            c->max_b_frames = 0;
            break;
        case AV_CODEC_ID_MPEG1VIDEO:
            c->mb_decision = 2;
            break;
        case AV_CODEC_ID_H264:
            c->me_range = 16;
            c->max_qdiff = 4;
            c->qmin = 10;
            c->qmax = 51;
            c->qcompress = 0.6f;
            c->keyint_min = 25;
            opts.Set("preset", "superfast");
            opts.Set("threads", std::to_string(d.encoderThreads > 0 ? d.encoderThreads : 2).c_str());
            if (s.videoQuality > 0) opts.Set("crf", crf.c_str());
            break;
        case AV_CODEC_ID_HEVC:
            // x265 is slow and talks on standard error at its defaults.
            opts.Set("preset", "ultrafast");
            opts.Set("x265-params", "log-level=error");
            if (s.videoQuality > 0) opts.Set("crf", crf.c_str());
            break;
        default:
            if (d.encoderThreads > 0) c->thread_count = d.encoderThreads;
            if (s.videoQuality > 0) {
                c->flags |= AV_CODEC_FLAG_QSCALE;
                c->global_quality = FF_QP2LAMBDA * QuantiserForQuality(s.videoQuality);
            }
            break;
    }
    if (sink.ctx()->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int rc = avcodec_open2(c, codec, opts.address());
    if (rc < 0) {
        return Status::Failed(std::string("cannot open the ") + codec->name + " encoder at " +
                              std::to_string(c->width) + "x" + std::to_string(c->height) + ": " + AvErrorText(rc));
    }
    if (Status st = sink.AddStream(d.vst); !st.ok()) return st;
    // FFmpeg gives no reason for this one (out of memory), and neither does the message.
    if (avcodec_parameters_from_context(d.vst->codecpar, c) < 0) return Status::Failed("");
    // HEVC in MP4 and QuickTime files as Apple's players (and most others) take it: hvc1, the
    // parameter sets in the sample entry, which is where the encoder's global header puts them.
    const char* muxer = sink.ctx()->oformat->name;
    if (c->codec_id == AV_CODEC_ID_HEVC && (std::strcmp(muxer, "mp4") == 0 || std::strcmp(muxer, "mov") == 0))
        d.vst->codecpar->codec_tag = MKTAG('h', 'v', 'c', '1');
    d.vst->time_base = c->time_base;
    d.vst->avg_frame_rate = c->framerate;
    d.vst->r_frame_rate = c->framerate;
    d.vst->sample_aspect_ratio = c->sample_aspect_ratio;
    sink.video = d.vst;
    return {};
}

static AVSampleFormat PreferredSampleFormat(int codecId) {
    switch (codecId) {
        case AV_CODEC_ID_AAC:
            return AV_SAMPLE_FMT_S16;
        case AV_CODEC_ID_MP3:
            return AV_SAMPLE_FMT_S32P;
        case AV_CODEC_ID_VORBIS:
        case AV_CODEC_ID_WMAV2:
            return AV_SAMPLE_FMT_FLTP;
        default:
            return AV_SAMPLE_FMT_NONE;
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

// The sample rate the audio encoder is opened at: the one asked for, or the nearest the
// encoder and container take.
static int EncoderSampleRate(const AVCodec* codec, const OutputSink& sink, const OutputParameters& s) {
    int rate = s.sampleRate;
    if (codec->supported_samplerates) rate = NearestRate(rate, codec->supported_samplerates);
    // Flash Video stores MP3 only at 44100, 22050 or 11025 Hz.
    static const int kFlvRates[] = {44100, 22050, 11025, 0};
    if (std::strcmp(sink.ctx()->oformat->name, "flv") == 0) rate = NearestRate(rate, kFlvRates);
    return rate;
}

static Status OpenAudioEncoder(Transcoder::Impl& d, OutputSink& sink, const OutputParameters& s) {
    const AVCodec* codec = FindEncoder(s.audioCodecId);
    if (!codec || codec->type != AVMEDIA_TYPE_AUDIO) {
        return Status::Failed(std::string("no encoder for the audio codec ") +
                              avcodec_get_name(static_cast<AVCodecID>(s.audioCodecId)));
    }
    if (s.sampleRate <= 0 || s.channels <= 0 || s.audioBitRate <= 0) {
        return Status::Failed("the output sample rate, channels or audio bit rate is not set");
    }
    const int rate = EncoderSampleRate(codec, sink, s);

    AVSampleFormat fmt = PreferredSampleFormat(s.audioCodecId);
    if (codec->sample_fmts) {
        bool found = false;
        for (const AVSampleFormat* f = codec->sample_fmts; *f != AV_SAMPLE_FMT_NONE; ++f) found |= *f == fmt;
        if (!found) fmt = codec->sample_fmts[0];
    }
    if (fmt == AV_SAMPLE_FMT_NONE) fmt = AV_SAMPLE_FMT_S16;

    SoundOut t;
    for (int attempt = 0; attempt < 2; ++attempt) {
        t.enc.reset(avcodec_alloc_context3(codec));
        AVCodecContext* c = t.enc.get();
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
    AVCodecContext* c = t.enc.get();
    if (Status st = sink.AddStream(t.st); !st.ok()) return st;
    // FFmpeg gives no reason for this one (out of memory), and neither does the message.
    if (avcodec_parameters_from_context(t.st->codecpar, c) < 0) return Status::Failed("");
    t.st->time_base = c->time_base;
    if (!sink.audio) sink.audio = t.st;
    t.frameSize = c->frame_size > 0 ? c->frame_size : 1024;
    t.fifo.reset(av_audio_fifo_alloc(c->sample_fmt, c->ch_layout.nb_channels, t.frameSize * 4));
    if (!t.fifo) return Status::Failed("out of memory for the sound queue");
    d.sounds.push_back(std::move(t));
    return {};
}

void Transcoder::MakePart(const OutputPart& part, bool wholeVideo, bool wholeSound) {
    d_->encoderThreads = part.encoderThreads;
    d_->timedPictures = part.kind == OutputPart::Kind::Sound && wholeVideo;
    d_->timedSoundRate = part.kind == OutputPart::Kind::Pictures && wholeSound ? -1 : 0;  // known at SetUp
    // A part of pictures that starts later encodes nothing until its first key frame is placed.
    if (part.kind == OutputPart::Kind::Pictures && part.fromInput >= 0) d_->firstSlot = INT64_MAX;
}

Status Transcoder::SetUp(OutputSink& sink, const OutputParameters& s, bool withVideo, int soundTracks,
                         const AVStream* videoLooks, const std::vector<const AVStream*>& soundLooks,
                         AVRational sourceRate) {
    d_->rotate = s.rotateDegrees;
    if (d_->timedPictures) d_->period = OutputTimeBase(s.outputFrameRate, sourceRate, s.videoCodecId);
    if (d_->timedSoundRate < 0) {
        const AVCodec* codec = FindEncoder(s.audioCodecId);
        d_->timedSoundRate = codec && codec->type == AVMEDIA_TYPE_AUDIO ? EncoderSampleRate(codec, sink, s) : 0;
        if (d_->timedSoundRate > 0) d_->timedSoundEnd = 0;
    }
    if (withVideo) {
        if (Status st = OpenVideoEncoder(*d_, sink, s, videoLooks, sourceRate); !st.ok()) return st;
        if (videoLooks) CopyStreamLooks(videoLooks, d_->vst, false);
    }
    for (int k = 0; k < soundTracks; ++k) {
        if (Status st = OpenAudioEncoder(*d_, sink, s); !st.ok()) return st;
        if (static_cast<size_t>(k) < soundLooks.size() && soundLooks[k])
            CopyStreamLooks(soundLooks[k], d_->sounds.back().st, false);
    }
    return {};
}

}  // namespace ulvane
