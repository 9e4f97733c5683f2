// The transcoder's shared state: the encoders and the output timeline every input is
// placed on. Used by the set-up, input and output units of the transcoder only.
#pragma once

#include <algorithm>
#include <vector>

#include "engine/ffmpeg_util.h"
#include "engine/output_sink.h"
#include "engine/picture_fit.h"
#include "engine/scaler.h"
#include "engine/status.h"
#include "engine/transcoder.h"

namespace ulvane {

// One output sound track: its encoder and the samples placed on the output timeline.
struct SoundOut {
    CodecContextPtr enc;
    AVStream* st = nullptr;
    AudioFifoPtr fifo;   // resampled sound waiting for a whole encoder frame
    int64_t queued = 0;  // samples placed on the output timeline (sent + queued)
    int64_t sent = 0;    // samples handed to the encoder
    int frameSize = 1024;
};

struct Transcoder::Impl {
    // --- output side, alive for the whole job ---
    CodecContextPtr venc;
    AVStream* vst = nullptr;
    // The sound tracks, the main one first; every track has the same encoder settings, and
    // each input's k-th sound track (its main one first) goes to track k, silence where it
    // has none.
    std::vector<SoundOut> sounds;
    AVRational period{1, 25};  // one output frame, also the video encoder's time base
    int rotate = 0;            // the user's turn, clockwise degrees, on top of each input's own
    int64_t nextSlot = 0;      // next output picture number
    FramePtr pending;          // the picture that fills slots until a newer one comes
    Scaler scaler;             // source pictures to the encoder's size and format
    FramePtr turned;           // a scaled picture before it is turned upright
    PacketPtr outPkt = MakePacket();
    // A part of the output (see OutputPart): only the slots in [firstSlot, endSlot) are
    // encoded, numbered from firstSlot. A stream the whole job has and this part does not
    // encode is still timed, from its packets, so that every input ends where it would:
    // `timedPictures` moves nextSlot on without pictures, `timedSoundEnd` is where the
    // untimed sound ends (microseconds, INT64_MIN when it is not timed).
    int64_t firstSlot = 0;
    int64_t endSlot = INT64_MAX;
    bool timedPictures = false;
    int timedSoundRate = 0;  // the sample rate the untimed sound would have; 0 not timed
    int64_t timedSoundEnd = INT64_MIN;
    int encoderThreads = 0;  // the video encoder's threads, 0 its usual number

    Status Drain(AVCodecContext* enc, AVStream* st, OutputSink& sink);
    Status SendVideo(AVFrame* f, OutputSink& sink);
    Status EmitPictures(int64_t untilSlot, OutputSink& sink);
    // Scales `src` into `pending`: turned by `o`, fitted in the output size keeping its
    // shown aspect ratio (sample aspect `sar`), black around it.
    Status ScaleInto(const AVFrame* src, Orientation o, AVRational sar);
    Status SendAudioFrames(SoundOut& t, OutputSink& sink, bool final);
    Status QueueSilence(SoundOut& t, int64_t samples, OutputSink& sink);
    FramePtr BlackPicture() const;
    int64_t EndMicros() const;  // where the output ends so far
    int64_t SlotAt(int64_t us) const { return av_rescale_q_rnd(us, AV_TIME_BASE_Q, period, AV_ROUND_NEAR_INF); }
    int64_t SampleAt(int64_t us) const { return av_rescale(us, sounds.front().enc->sample_rate, AV_TIME_BASE); }
    // Where sound placed up to `us` ends, when the sound is timed only: on a sample, as the
    // encoded sound's end is.
    void TimeSoundTo(int64_t us) {
        if (timedSoundRate <= 0) return;
        const int64_t samples = av_rescale(us, timedSoundRate, AV_TIME_BASE);
        timedSoundEnd = std::max(timedSoundEnd, av_rescale(samples, AV_TIME_BASE, timedSoundRate));
    }
};

}  // namespace ulvane
