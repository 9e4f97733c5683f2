// The decode loop, after the shape of FFmpeg's decode_video example.
#include "engine/decode_loop.h"

#include "engine/media_input.h"

namespace ulvane {

FrameVerdict ReceiveFrames(AVCodecContext* dec, AVFrame* frame, const FrameHandler& onFrame) {
    // EAGAIN (wants a packet), the end, or a frame the decoder could not make: nothing more now.
    while (avcodec_receive_frame(dec, frame) >= 0) {
        const FrameVerdict v = onFrame(frame);
        av_frame_unref(frame);
        if (v != FrameVerdict::kGoOn) return v;
    }
    return FrameVerdict::kGoOn;
}

FrameVerdict SendPacket(AVCodecContext* dec, const AVPacket* pkt, AVFrame* frame, const FrameHandler& onFrame) {
    if (avcodec_send_packet(dec, pkt) == AVERROR(EAGAIN)) {
        // Full: the frames it holds go out first, then the packet goes in.
        if (const FrameVerdict v = ReceiveFrames(dec, frame, onFrame); v != FrameVerdict::kGoOn) return v;
        avcodec_send_packet(dec, pkt);
    }
    // Any other refusal is damaged data: the decoder resumes at the next packet it can use.
    return ReceiveFrames(dec, frame, onFrame);
}

int ReadStreamPacket(MediaInput& in, int index, AVPacket* pkt) {
    for (;;) {
        if (const int rc = in.ReadPacket(pkt); rc < 0) return rc;
        if (pkt->stream_index == index) return 0;
        av_packet_unref(pkt);
    }
}

DecodeEnd DecodeLoop::Run(const PacketSource& next, const FrameHandler& onFrame) {
    if (!pkt_) pkt_ = MakePacket();
    if (!pkt_ || !frame_) return {DecodeEnd::kFailed};
    const auto ended = [](FrameVerdict v) {
        return DecodeEnd{v == FrameVerdict::kStop ? DecodeEnd::kStopped : DecodeEnd::kFailed};
    };
    for (;;) {
        const int rc = next(pkt_.get());
        if (rc == AVERROR_EOF) break;
        if (rc < 0) {
            av_packet_unref(pkt_.get());
            return {DecodeEnd::kSourceEnded, rc};
        }
        const FrameVerdict v = Send(pkt_.get(), onFrame);
        av_packet_unref(pkt_.get());
        if (v != FrameVerdict::kGoOn) return ended(v);
    }
    av_packet_unref(pkt_.get());
    const FrameVerdict v = Send(nullptr, onFrame);
    avcodec_flush_buffers(dec_);
    if (v != FrameVerdict::kGoOn) return ended(v);
    return {};
}

}  // namespace ulvane
