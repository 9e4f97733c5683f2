// Transcoder output: picture slots, the audio queue, and draining the encoders into the sink.
#include <algorithm>

extern "C" {
#include <libavutil/imgutils.h>
}

#include "engine/transcoder_internal.h"

namespace ulvane {

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
    if (!sws) return Status::Failed("cannot convert the source pictures");
    // The encoder may still hold the previous picture: write into a buffer of our own.
    if (!pending || av_frame_make_writable(pending.get()) < 0) {
        pending = MakeFrame();
        pending->format = venc->pix_fmt;
        pending->width = venc->width;
        pending->height = venc->height;
        if (av_frame_get_buffer(pending.get(), 0) < 0) return Status::Failed("out of memory for a picture");
    }
    if (sws_scale_frame(sws, pending.get(), src) < 0) return Status::Failed("cannot convert a source picture");
    return {};
}

Status Transcoder::Impl::QueueSilence(int64_t samples, OutputSink& sink) {
    if (samples <= 0) return {};
    const int ch = aenc->ch_layout.nb_channels;
    const int chunk = static_cast<int>(std::min<int64_t>(samples, 65536));
    SampleBuffer silence;
    if (!silence.Allocate(ch, chunk, aenc->sample_fmt)) return Status::Failed("out of memory for sound");
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
    const bool shortLastOk =
        aenc->codec->capabilities & (AV_CODEC_CAP_SMALL_LAST_FRAME | AV_CODEC_CAP_VARIABLE_FRAME_SIZE);
    while (av_audio_fifo_size(fifo.get()) >= frameSize || (final && av_audio_fifo_size(fifo.get()) > 0)) {
        const int have = av_audio_fifo_size(fifo.get());
        const int take = std::min(have, frameSize);
        FramePtr f = MakeFrame();
        f->format = aenc->sample_fmt;
        f->sample_rate = aenc->sample_rate;
        av_channel_layout_copy(&f->ch_layout, &aenc->ch_layout);
        // A last partial frame is padded with silence where the encoder needs whole frames.
        f->nb_samples = take < frameSize && shortLastOk ? take : frameSize;
        if (av_frame_get_buffer(f.get(), 0) < 0) return Status::Failed("out of memory for sound");
        av_samples_set_silence(f->data, 0, f->nb_samples, f->ch_layout.nb_channels, aenc->sample_fmt);
        av_audio_fifo_read(fifo.get(), reinterpret_cast<void**>(f->data), take);
        f->pts = audioSent;
        audioSent += take;
        int rc = avcodec_send_frame(aenc.get(), f.get());
        if (rc < 0) return Status::Failed(std::string("the audio encoder refused sound: ") + AvErrorText(rc));
        if (Status s = Drain(aenc.get(), ast, sink); !s.ok()) return s;
    }
    return {};
}

int64_t Transcoder::Impl::EndMicros() const {
    int64_t v = venc ? av_rescale_q(nextSlot, period, AV_TIME_BASE_Q) : 0;
    int64_t a = aenc ? av_rescale(audioQueued, AV_TIME_BASE, aenc->sample_rate) : 0;
    return std::max(v, a);
}

int64_t Transcoder::EndMicros() const {
    return d_->EndMicros();
}

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

}  // namespace ulvane
