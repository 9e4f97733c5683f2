// The transcoder's shared state: the encoders and the output timeline every input is
// placed on. Used by the set-up, input and output units of the transcoder only.
#pragma once

#include "engine/ffmpeg_util.h"
#include "engine/output_sink.h"
#include "engine/picture_fit.h"
#include "engine/scaler.h"
#include "engine/status.h"
#include "engine/transcoder.h"

namespace ulvane {

struct Transcoder::Impl {
    // --- output side, alive for the whole job ---
    CodecContextPtr venc, aenc;
    AVStream* vst = nullptr;
    AVStream* ast = nullptr;
    AVRational period{1, 25};  // one output frame, also the video encoder's time base
    int64_t nextSlot = 0;      // next output picture number
    FramePtr pending;          // the picture that fills slots until a newer one comes
    Scaler scaler;             // source pictures to the encoder's size and format
    FramePtr turned;           // a scaled picture before it is turned upright
    AudioFifoPtr fifo;         // resampled sound waiting for a whole encoder frame
    int64_t audioQueued = 0;   // samples placed on the output timeline (sent + queued)
    int64_t audioSent = 0;     // samples handed to the encoder
    int frameSize = 1024;
    PacketPtr outPkt = MakePacket();

    Status Drain(AVCodecContext* enc, AVStream* st, OutputSink& sink);
    Status SendVideo(AVFrame* f, OutputSink& sink);
    Status EmitPictures(int64_t untilSlot, OutputSink& sink);
    // Scales `src` into `pending`: turned by `o`, fitted in the output size keeping its
    // shown aspect ratio (sample aspect `sar`), black around it.
    Status ScaleInto(const AVFrame* src, Orientation o, AVRational sar);
    Status SendAudioFrames(OutputSink& sink, bool final);
    Status QueueSilence(int64_t samples, OutputSink& sink);
    FramePtr BlackPicture() const;
    int64_t EndMicros() const;  // where the output ends so far
    int64_t SlotAt(int64_t us) const { return av_rescale_q_rnd(us, AV_TIME_BASE_Q, period, AV_ROUND_NEAR_INF); }
    int64_t SampleAt(int64_t us) const { return av_rescale(us, aenc->sample_rate, AV_TIME_BASE); }
};

}  // namespace ulvane
