// MediaInput's reading and seeking after a read that its interrupt callback cut short, as
// the player's runs are stopped: the next run seeks a little ahead and must get packets.
#include <gtest/gtest.h>

#include <atomic>

#include "engine/media_input.h"
#include "engine/media_probe.h"
#include "engine/nal_units.h"
#include "tests/support/media_tools.h"

using namespace ulvane;
using namespace ulvane::test;

namespace {

// 8 s of small key frames only (a few KB each, 25 a second) in MP4, whose index gives every
// picture's byte position: a seek two pictures on lands just past the bytes read so far.
std::string SmallKeyFrames() {
    return Fixture("small_key_frames.mp4", {"-f", "lavfi", "-i", "testsrc2=size=160x120:rate=25:duration=8", "-c:v",
                                            "libx264", "-g", "1", "-bf", "0", "-crf", "35", "-pix_fmt", "yuv420p"});
}

int64_t MicrosOf(const MediaInput& in, const AVPacket& pkt) {
    return ToMicros(pkt.pts, in.ctx()->streams[pkt.stream_index]->time_base);
}

}  // namespace

TEST(MediaInput, ReadsGoOnAfterAnInterruptedReadAndAShortSeekForward) {
    std::atomic<bool> cancel{false};
    std::unique_ptr<MediaInput> in;
    ASSERT_TRUE(MediaInput::Open(SmallKeyFrames(), in, &cancel).ok());
    PacketPtr pkt = MakePacket();
    // Into the file, then reads with the interrupt set until one needs the disk and fails.
    int64_t last = 0;
    while (last < 2000000) {
        ASSERT_GE(in->ReadPacket(pkt.get()), 0);
        last = MicrosOf(*in, *pkt);
        av_packet_unref(pkt.get());
    }
    cancel = true;
    int rc = 0;
    for (int n = 0; n < 1000 && (rc = in->ReadPacket(pkt.get())) >= 0; ++n) {
        last = MicrosOf(*in, *pkt);
        av_packet_unref(pkt.get());
    }
    ASSERT_EQ(rc, AVERROR_EXIT);
    cancel = false;

    // Each picture is a key frame: reading goes on from the one asked for, to the file's end.
    const int64_t target = last + 80000;
    ASSERT_TRUE(in->SeekTo(target));
    int64_t first = -1, end = -1;
    int read = 0;
    while ((rc = in->ReadPacket(pkt.get())) >= 0) {
        if (first < 0) first = MicrosOf(*in, *pkt);
        end = MicrosOf(*in, *pkt);
        ++read;
        av_packet_unref(pkt.get());
    }
    EXPECT_EQ(rc, AVERROR_EOF);
    EXPECT_EQ(first, target);
    EXPECT_EQ(end, in->startMicros() + 7960000);
    EXPECT_EQ(read, (end - target) / 40000 + 1);
}

// A direct join compares how many pictures each file's video holds back. The probe of a
// Matroska file reads it from the H.264 sequence parameter set instead of decoding; it must
// give what the decoding analysis gives, for the shapes encoders write: no B-frames, B-frames
// with and without pyramid, interlaced coding, custom scaling matrices, and the samples.
TEST(MediaProbe, HeaderReorderDepthOfH264InMatroskaMatchesTheDecodingAnalysis) {
    const std::vector<std::string> source = {"-f",   "lavfi",   "-i",       "testsrc2=size=160x120:rate=25:duration=1",
                                             "-c:v", "libx264", "-pix_fmt", "yuv420p"};
    auto encoded = [&](const std::string& name, std::vector<std::string> options) {
        std::vector<std::string> args = source;
        args.insert(args.end(), options.begin(), options.end());
        return Fixture(name, args);
    };
    std::vector<std::string> files = {
        encoded("depth_no_b.mkv", {"-bf", "0"}),
        encoded("depth_pyramid.mkv", {"-bf", "3"}),
        encoded("depth_flat.mkv", {"-bf", "2", "-x264-params", "b-pyramid=none"}),
        encoded("depth_interlaced.mkv", {"-bf", "3", "-flags", "+ildct+ilme", "-x264-params", "tff=1"}),
        encoded("depth_matrices.mkv", {"-bf", "3", "-profile:v", "high", "-x264-params", "cqm=jvt:nal-hrd=vbr", "-b:v",
                                       "300k", "-maxrate", "300k", "-bufsize", "600k"}),
    };
    // x264 states the depth in each of these, so the header alone answers (no fallback to decoding).
    for (const std::string& file : files) {
        std::unique_ptr<MediaInput> in;
        ASSERT_TRUE(MediaInput::Open(file, in, nullptr, MediaInput::Analysis::Header).ok());
        EXPECT_TRUE(H264ReorderDepth(Extradata(in->video())).has_value()) << file;
    }
    if (const auto shared = SharedMediaDir())
        for (const char* sample : {"flashmob2006_h264_vorbis_attachments.mkv", "h264_ac3_srt_subtitles.mkv"})
            if (std::filesystem::exists(*shared / sample)) files.push_back((*shared / sample).string());
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        ConversionJob header, decoded;
        header.probePath = decoded.probePath = file;
        ASSERT_EQ(ProbeMediaFile(header, ProbeDepth::Streams), kProbeOk);
        ASSERT_EQ(ProbeMediaFile(decoded, ProbeDepth::Decode), kProbeOk);
        EXPECT_EQ(header.info.videoReorderDepth, decoded.info.videoReorderDepth);
    }
}
