// RAII owners for FFmpeg objects and small helpers shared by every engine operation.
// Each FFmpeg type gets a deleter struct and a unique_ptr alias; input and output
// format contexts need different deleters because they are closed differently.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/rational.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace ulvane {

struct InputFormatDeleter {
    void operator()(AVFormatContext* ctx) const { avformat_close_input(&ctx); }
};
struct OutputFormatDeleter {
    // The file behind pb is closed by OutputSink before the context goes; this only frees memory.
    void operator()(AVFormatContext* ctx) const { avformat_free_context(ctx); }
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
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using SwsPtr = std::unique_ptr<SwsContext, SwsDeleter>;
using SwrPtr = std::unique_ptr<SwrContext, SwrDeleter>;
using AudioFifoPtr = std::unique_ptr<AVAudioFifo, AudioFifoDeleter>;

inline FramePtr MakeFrame() { return FramePtr(av_frame_alloc()); }
inline PacketPtr MakePacket() { return PacketPtr(av_packet_alloc()); }

// Text of an FFmpeg error code, e.g. "Invalid data found when processing input".
std::string AvErrorText(int code);

// Microseconds of `ts` counted in time base `tb`; AV_NOPTS_VALUE stays AV_NOPTS_VALUE.
int64_t ToMicros(int64_t ts, AVRational tb);
int64_t FromMicros(int64_t us, AVRational tb);

// Keeps FFmpeg's own log quiet below errors unless ULVANE_FFMPEG_LOG is set; called once.
void InitFfmpegLogging();

}  // namespace ulvane
