// The one way our code decodes: packets in, frames out, to a handler. FFmpeg's send/receive
// pair, with the cases every decoder of ours meets handled once: a damaged packet is passed
// over, a full decoder (EAGAIN) is emptied before the packet is sent again, the end of the
// stream drains what the decoder holds back, and a drained decoder is flushed for reuse.
#pragma once

#include <functional>

#include "engine/ffmpeg_util.h"

namespace ulvane {

// What a frame's handler says: go on, stop here (nothing wrong), or stop on a failure that the
// handler keeps for its caller.
enum class FrameVerdict { kGoOn, kStop, kFail };

// Gets the frame in the loop's own AVFrame; it is unreferenced after the call unless the handler
// moved it out (av_frame_move_ref).
using FrameHandler = std::function<FrameVerdict(AVFrame*)>;

// Puts the next packet for this decoder in the AVPacket given: 0 for a packet, AVERROR_EOF at the
// end of the stream (the decoder is drained), any other negative value to end the loop at once
// (an error, or a cancellation), which the loop returns. The loop unreferences the packet.
using PacketSource = std::function<int(AVPacket*)>;

// How Run ended.
struct DecodeEnd {
    enum Kind { kDrained, kStopped, kFailed, kSourceEnded } kind = kDrained;
    int error = 0;  // kSourceEnded: what the source returned

    bool drained() const { return kind == kDrained; }
};

// Sends `pkt` to `dec` (nullptr: the end, so the decoder gives every frame it holds back) and
// hands each frame that comes out, in `frame`, to `onFrame`. kGoOn when every frame went to the
// handler and it said go on.
FrameVerdict SendPacket(AVCodecContext* dec, const AVPacket* pkt, AVFrame* frame, const FrameHandler& onFrame);
// Hands out the frames `dec` has ready, without sending anything.
FrameVerdict ReceiveFrames(AVCodecContext* dec, AVFrame* frame, const FrameHandler& onFrame);

class MediaInput;
// Reads `in` on to the next packet of stream `index`, passing the others over: 0 with it in
// `pkt`, else what the read returned (AVERROR_EOF at the end).
int ReadStreamPacket(MediaInput& in, int index, AVPacket* pkt);

// A decoder with the frame and packet its loop needs.
class DecodeLoop {
public:
    explicit DecodeLoop(AVCodecContext* dec) : dec_(dec) {}

    FrameVerdict Send(const AVPacket* pkt, const FrameHandler& onFrame) {
        return frame_ ? SendPacket(dec_, pkt, frame_.get(), onFrame) : FrameVerdict::kFail;
    }
    // Packets from `next` until it ends or a handler stops. At the end of the stream the decoder
    // is drained and then flushed, ready for packets after a seek.
    DecodeEnd Run(const PacketSource& next, const FrameHandler& onFrame);

    AVCodecContext* decoder() const { return dec_; }

private:
    AVCodecContext* dec_;
    FramePtr frame_ = MakeFrame();
    PacketPtr pkt_;  // made for Run
};

}  // namespace ulvane
