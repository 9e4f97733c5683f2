// RAII owners for FFmpeg objects and small helpers shared by every engine operation.
// Each FFmpeg type gets a deleter struct and a unique_ptr alias; input and output
// format contexts need different deleters because they are closed differently.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/dict.h>
#include <libavutil/mem.h>
#include <libavutil/rational.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace ulvane {

struct InputFormatDeleter {
    void operator()(AVFormatContext* ctx) const { avformat_close_input(&ctx); }
};
struct OutputFormatDeleter {
    // The file behind pb has its own owner in OutputSink; this only frees memory.
    void operator()(AVFormatContext* ctx) const { avformat_free_context(ctx); }
};
struct IoContextDeleter {
    void operator()(AVIOContext* io) const { avio_closep(&io); }
};
struct CodecContextDeleter {
    void operator()(AVCodecContext* ctx) const { avcodec_free_context(&ctx); }
};
struct FrameDeleter {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwsDeleter {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};
struct SwrDeleter {
    void operator()(SwrContext* s) const { swr_free(&s); }
};
struct AudioFifoDeleter {
    void operator()(AVAudioFifo* f) const { av_audio_fifo_free(f); }
};

using InputFormatPtr = std::unique_ptr<AVFormatContext, InputFormatDeleter>;
using OutputFormatPtr = std::unique_ptr<AVFormatContext, OutputFormatDeleter>;
using IoContextPtr = std::unique_ptr<AVIOContext, IoContextDeleter>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using SwsPtr = std::unique_ptr<SwsContext, SwsDeleter>;
using SwrPtr = std::unique_ptr<SwrContext, SwrDeleter>;
using AudioFifoPtr = std::unique_ptr<AVAudioFifo, AudioFifoDeleter>;

// Options handed to an FFmpeg open call, which takes out what it used.
class Dictionary {
public:
    Dictionary() = default;
    ~Dictionary() { av_dict_free(&dict_); }
    Dictionary(const Dictionary&) = delete;
    Dictionary& operator=(const Dictionary&) = delete;

    void Set(const char* key, const char* value) { av_dict_set(&dict_, key, value, 0); }
    AVDictionary** address() { return &dict_; }

private:
    AVDictionary* dict_ = nullptr;
};

// A channel layout that releases what it holds (a custom layout's map).
class ChannelLayout {
public:
    ChannelLayout() = default;
    ~ChannelLayout() { av_channel_layout_uninit(&layout_); }
    ChannelLayout(const ChannelLayout&) = delete;
    ChannelLayout& operator=(const ChannelLayout&) = delete;

    void CopyFrom(const AVChannelLayout& from) {
        av_channel_layout_uninit(&layout_);
        av_channel_layout_copy(&layout_, &from);
    }
    void SetDefault(int channels) {
        av_channel_layout_uninit(&layout_);
        av_channel_layout_default(&layout_, channels);
    }
    const AVChannelLayout* get() const { return &layout_; }
    AVChannelLayout* get() { return &layout_; }  // for calls that take a non-const pointer

private:
    AVChannelLayout layout_{};
};

// Planes of samples as av_samples_alloc_array_and_samples makes them.
class SampleBuffer {
public:
    SampleBuffer() = default;
    ~SampleBuffer() { Free(); }
    SampleBuffer(const SampleBuffer&) = delete;
    SampleBuffer& operator=(const SampleBuffer&) = delete;

    // Room for `samples` per channel, replacing any room held; false when out of memory.
    bool Allocate(int channels, int samples, AVSampleFormat format) {
        Free();
        if (av_samples_alloc_array_and_samples(&planes_, nullptr, channels, samples, format, 0) < 0) return false;
        samples_ = samples;
        return true;
    }
    uint8_t** planes() const { return planes_; }
    int samples() const { return samples_; }

private:
    void Free() {
        if (planes_) av_freep(&planes_[0]);
        av_freep(&planes_);
        samples_ = 0;
    }
    uint8_t** planes_ = nullptr;
    int samples_ = 0;
};

inline FramePtr MakeFrame() {
    return FramePtr(av_frame_alloc());
}
// A stream's decoder set-up bytes (avcC, hvcC, AudioSpecificConfig...), empty when none.
inline std::span<const uint8_t> Extradata(const AVStream* st) {
    const AVCodecParameters* p = st->codecpar;
    return {p->extradata, static_cast<size_t>(p->extradata_size > 0 ? p->extradata_size : 0)};
}

inline PacketPtr MakePacket() {
    return PacketPtr(av_packet_alloc());
}

// Text of an FFmpeg error code, e.g. "Invalid data found when processing input".
std::string AvErrorText(int code);

// A packet holding `bytes`, with the timing and flags of `like` (when given); null when
// out of memory.
PacketPtr PacketWith(std::span<const uint8_t> bytes, const AVPacket* like);

// Microseconds of `ts` counted in time base `tb`; AV_NOPTS_VALUE stays AV_NOPTS_VALUE.
int64_t ToMicros(int64_t ts, AVRational tb);
int64_t FromMicros(int64_t us, AVRational tb);

// How long a sound packet plays, in microseconds, as its codec tells: samples per frame (PCM:
// the packet's samples) over the sample rate; 0 when the codec does not tell (Vorbis, Opus, or
// AAC from a header not analysed). A packet's duration is no substitute where the container's
// time base is coarse: Matroska's 1 ms makes 21 ms of a frame of 1024 samples at 48 kHz.
int64_t CodedSoundMicros(const AVStream* st, const AVPacket* pkt);
// The coded length where known, else the packet's own duration.
int64_t SoundPacketMicros(const AVStream* st, const AVPacket* pkt);

// Whether `path` is a URL ("scheme://..."); anything else is a local path.
bool IsUrl(const std::string& path);
// What FFmpeg is given to open `path`: a local path goes through the file protocol
// explicitly, so a name with a colon ("take:2/a.mp4") is not taken for a protocol.
std::string OpenName(const std::string& path);
// An interrupt callback that stops FFmpeg's waits and reads once `*cancel` is set; one
// that never interrupts when `cancel` is null.
AVIOInterruptCB InterruptOn(const std::atomic<bool>* cancel);

// Keeps FFmpeg's own log quiet below errors unless ULVANE_FFMPEG_LOG is set; called once.
void InitFfmpegLogging();

}  // namespace ulvane
