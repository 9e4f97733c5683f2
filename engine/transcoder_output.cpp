// Transcoder output: picture slots, the audio queue, and draining the encoders into the sink.
#include <algorithm>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
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
    if (!venc) {
        if (timedPictures) nextSlot = std::max(nextSlot, untilSlot);
        return {};
    }
    // Slots outside the part made are passed over.
    if (nextSlot < firstSlot) nextSlot = std::min(untilSlot, firstSlot);
    untilSlot = std::min(untilSlot, std::max(endSlot, nextSlot));
    if (!pending && nextSlot < untilSlot) pending = BlackPicture();
    for (; nextSlot < untilSlot; ++nextSlot) {
        pending->pts = nextSlot - firstSlot;
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

namespace {

// Paints black the part of `f` outside the picture at `fit`.
void FillAround(AVFrame* f, const PictureFit& fit, AVColorRange range) {
    const auto fmt = static_cast<AVPixelFormat>(f->format);
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(fmt);
    const int rects[4][4] = {{0, 0, f->width, fit.y},
                             {0, fit.y + fit.height, f->width, f->height - fit.y - fit.height},
                             {0, fit.y, fit.x, fit.height},
                             {fit.x + fit.width, fit.y, f->width - fit.x - fit.width, fit.height}};
    for (const auto& r : rects) {
        if (r[2] <= 0 || r[3] <= 0) continue;
        uint8_t* planes[4] = {};
        ptrdiff_t lines[4] = {};
        for (int p = 0; p < 4 && f->data[p]; ++p) {
            const bool chroma = p == 1 || p == 2;
            const int x = chroma ? r[0] >> desc->log2_chroma_w : r[0];
            const int y = chroma ? r[1] >> desc->log2_chroma_h : r[1];
            planes[p] = f->data[p] + static_cast<ptrdiff_t>(y) * f->linesize[p] + x;
            lines[p] = f->linesize[p];
        }
        av_image_fill_black(planes, lines, fmt, range, r[2], r[3]);
    }
}

// Planar 8-bit formats: those whose planes can be placed and turned byte by byte.
bool PlanesOfBytes(AVPixelFormat fmt) {
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(fmt);
    if (!desc || !(desc->flags & AV_PIX_FMT_FLAG_PLANAR) || (desc->flags & AV_PIX_FMT_FLAG_PAL)) return false;
    for (int c = 0; c < desc->nb_components; ++c)
        if (desc->comp[c].depth != 8 || desc->comp[c].step != 1) return false;
    return true;
}

}  // namespace

Status Transcoder::Impl::ScaleInto(const AVFrame* src, Orientation o, AVRational sar) {
    const bool placeable = PlanesOfBytes(venc->pix_fmt);
    if (!placeable) o = {};
    const PictureFit fit = placeable ? FitInBox(src->width, src->height, sar, o, venc->width, venc->height, true)
                                     : PictureFit{venc->width, venc->height, 0, 0};
    // The encoder may still hold the previous picture: write into a buffer of our own.
    if (!pending || av_frame_make_writable(pending.get()) < 0) {
        pending = MakeFrame();
        pending->format = venc->pix_fmt;
        pending->width = venc->width;
        pending->height = venc->height;
        if (av_frame_get_buffer(pending.get(), 0) < 0) return Status::Failed("out of memory for a picture");
    }
    // One scaler for all pictures of the same size and layout; it works in slices on
    // two threads so the conversion keeps pace with the threaded decoder and encoder.
    // It makes the picture at its size before the turn.
    const int scaledW = o.transpose ? fit.height : fit.width, scaledH = o.transpose ? fit.width : fit.height;
    SwsContext* sws = scaler.For(*src, {scaledW, scaledH, venc->pix_fmt, SWS_BICUBIC, 2});
    if (!sws) return Status::Failed("cannot convert the source pictures");
    if (fit.fills(venc->width, venc->height) && o.upright()) {
        if (sws_scale_frame(sws, pending.get(), src) < 0) return Status::Failed("cannot convert a source picture");
        return {};
    }
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(venc->pix_fmt);
    auto at = [&](int p, int x, int y) {
        const bool chroma = p == 1 || p == 2;
        if (chroma) x >>= desc->log2_chroma_w, y >>= desc->log2_chroma_h;
        return pending->data[p] + static_cast<ptrdiff_t>(y) * pending->linesize[p] + x;
    };
    if (o.upright()) {
        // Scaled straight into its place: a view of `pending` at the picture's corner.
        FramePtr view = MakeFrame();
        if (av_frame_ref(view.get(), pending.get()) < 0) return Status::Failed("out of memory for a picture");
        for (int p = 0; p < 4 && view->data[p]; ++p) view->data[p] = at(p, fit.x, fit.y);
        view->width = fit.width;
        view->height = fit.height;
        if (sws_scale_frame(sws, view.get(), src) < 0) return Status::Failed("cannot convert a source picture");
    } else {
        if (!turned || turned->width != scaledW || turned->height != scaledH) {
            turned = MakeFrame();
            turned->format = venc->pix_fmt;
            turned->width = scaledW;
            turned->height = scaledH;
            if (av_frame_get_buffer(turned.get(), 0) < 0) return Status::Failed("out of memory for a picture");
        }
        if (sws_scale_frame(sws, turned.get(), src) < 0) return Status::Failed("cannot convert a source picture");
        for (int p = 0; p < 4 && turned->data[p]; ++p) {
            const bool chroma = p == 1 || p == 2;
            const int w = chroma ? AV_CEIL_RSHIFT(scaledW, desc->log2_chroma_w) : scaledW;
            const int h = chroma ? AV_CEIL_RSHIFT(scaledH, desc->log2_chroma_h) : scaledH;
            OrientPlane(turned->data[p], turned->linesize[p], w, h, 1, o, at(p, fit.x, fit.y), pending->linesize[p]);
        }
    }
    FillAround(pending.get(), fit, venc->color_range == AVCOL_RANGE_JPEG ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG);
    return {};
}

Status Transcoder::Impl::QueueSilence(SoundOut& t, int64_t samples, OutputSink& sink) {
    if (samples <= 0) return {};
    AVCodecContext* enc = t.enc.get();
    const int ch = enc->ch_layout.nb_channels;
    const int chunk = static_cast<int>(std::min<int64_t>(samples, 65536));
    SampleBuffer silence;
    if (!silence.Allocate(ch, chunk, enc->sample_fmt)) return Status::Failed("out of memory for sound");
    av_samples_set_silence(silence.planes(), 0, chunk, ch, enc->sample_fmt);
    for (int64_t left = samples; left > 0;) {
        const int n = static_cast<int>(std::min<int64_t>(left, chunk));
        const bool queued = av_audio_fifo_write(t.fifo.get(), reinterpret_cast<void**>(silence.planes()), n) == n;
        t.queued += n;
        left -= n;
        if (!queued) return Status::Failed("out of memory for sound");
        // Encoded as it is queued, so a long gap never piles up in memory.
        if (Status s = SendAudioFrames(t, sink, false); !s.ok()) return s;
    }
    return {};
}

Status Transcoder::Impl::SendAudioFrames(SoundOut& t, OutputSink& sink, bool final) {
    AVCodecContext* enc = t.enc.get();
    const bool shortLastOk =
        enc->codec->capabilities & (AV_CODEC_CAP_SMALL_LAST_FRAME | AV_CODEC_CAP_VARIABLE_FRAME_SIZE);
    while (av_audio_fifo_size(t.fifo.get()) >= t.frameSize || (final && av_audio_fifo_size(t.fifo.get()) > 0)) {
        const int have = av_audio_fifo_size(t.fifo.get());
        const int take = std::min(have, t.frameSize);
        FramePtr f = MakeFrame();
        f->format = enc->sample_fmt;
        f->sample_rate = enc->sample_rate;
        av_channel_layout_copy(&f->ch_layout, &enc->ch_layout);
        // A last partial frame is padded with silence where the encoder needs whole frames.
        f->nb_samples = take < t.frameSize && shortLastOk ? take : t.frameSize;
        if (av_frame_get_buffer(f.get(), 0) < 0) return Status::Failed("out of memory for sound");
        av_samples_set_silence(f->data, 0, f->nb_samples, f->ch_layout.nb_channels, enc->sample_fmt);
        av_audio_fifo_read(t.fifo.get(), reinterpret_cast<void**>(f->data), take);
        f->pts = t.sent;
        t.sent += take;
        int rc = avcodec_send_frame(enc, f.get());
        if (rc < 0) return Status::Failed(std::string("the audio encoder refused sound: ") + AvErrorText(rc));
        if (Status s = Drain(enc, t.st, sink); !s.ok()) return s;
    }
    return {};
}

int64_t Transcoder::Impl::EndMicros() const {
    int64_t v = venc || timedPictures ? av_rescale_q(nextSlot, period, AV_TIME_BASE_Q) : 0;
    int64_t a = sounds.empty() ? 0 : av_rescale(sounds.front().queued, AV_TIME_BASE, sounds.front().enc->sample_rate);
    return std::max({v, a, timedSoundEnd});
}

int64_t Transcoder::EndMicros() const {
    return d_->EndMicros();
}

Status Transcoder::Flush(OutputSink& sink) {
    Impl& d = *d_;
    for (SoundOut& t : d.sounds) {
        if (Status s = d.SendAudioFrames(t, sink, true); !s.ok()) return s;
        if (int rc = avcodec_send_frame(t.enc.get(), nullptr); rc < 0)
            return Status::Failed(std::string("the audio encoder refused sound: ") + AvErrorText(rc));
        if (Status s = d.Drain(t.enc.get(), t.st, sink); !s.ok()) return s;
    }
    return d.venc ? d.SendVideo(nullptr, sink) : Status();
}

}  // namespace ulvane
