// The exact cut's working state, shared by its units: the run, the scan and the splice
// (exact_cut.cpp), the copy and its end (exact_cut_copy.cpp), and the pictures encoded again,
// the head, the tail and a whole segment (exact_cut_encode.cpp).
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/decode_loop.h"
#include "engine/exact_cut.h"
#include "engine/ffmpeg_util.h"
#include "engine/nal_units.h"
#include "engine/shown_pictures.h"
#include "engine/side_tracks.h"

namespace ulvane::exact {

inline constexpr size_t kMaxBufferedBytes = size_t{256} << 20;  // K0 to K1 held in memory at most
inline constexpr int kSeamPackets = 4;                          // copied packets decoded by the seam check
inline constexpr size_t kMaxHeldPictures = 16;
// A longer head gets a second IDR picture this many pictures before its end, so that the seam
// check decodes from there rather than from the head's start.
inline constexpr int kSeamHeadPictures = 8;

// Whether pictures of this video may be coded as fields (H.264 only: the others are refused).
inline bool Interlaced(const AVStream* st) {
    return st->codecpar->field_order == AV_FIELD_TT || st->codecpar->field_order == AV_FIELD_BB;
}

// Tells, for the packets of an interlaced H.264 stream read in decode order, which hold the
// second field of a pair. The decoder joins it to the first field's picture, which shows at
// the first field's time; so it is no picture of its own, and it goes where its first goes.
class FieldPairs {
public:
    explicit FieldPairs(const AVStream* st) {
        if (!Interlaced(st) || st->codecpar->codec_id != AV_CODEC_ID_H264) return;
        parser_.reset(av_parser_init(AV_CODEC_ID_H264));
        ctx_.reset(avcodec_alloc_context3(nullptr));
        if (!parser_ || !ctx_ || avcodec_parameters_to_context(ctx_.get(), st->codecpar) < 0) {
            parser_.reset();
            return;
        }
        parser_->flags |= PARSER_FLAG_COMPLETE_FRAMES;
    }

    bool SecondField(const AVPacket* pkt) {
        if (!parser_) return false;
        uint8_t* out = nullptr;
        int outSize = 0;
        av_parser_parse2(parser_.get(), ctx_.get(), &out, &outSize, pkt->data, pkt->size, pkt->pts, pkt->dts, -1);
        const int structure = parser_->picture_structure;
        if (structure != AV_PICTURE_STRUCTURE_TOP_FIELD && structure != AV_PICTURE_STRUCTURE_BOTTOM_FIELD) {
            unpaired_ = 0;
            return false;
        }
        if (unpaired_ != 0 && unpaired_ != structure) {
            unpaired_ = 0;
            return true;
        }
        unpaired_ = structure;
        return false;
    }

private:
    struct ParserCloser {
        void operator()(AVCodecParserContext* p) const { av_parser_close(p); }
    };
    std::unique_ptr<AVCodecParserContext, ParserCloser> parser_;
    CodecContextPtr ctx_;
    int unpaired_ = 0;  // the structure of a first field whose second has not come yet
};

class ExactCutter {
public:
    ExactCutter(MediaInput& in, OutputSink& sink, const StageContext& ctx, std::string& notice)
        : in_(in),
          sink_(sink),
          ctx_(ctx),
          notice_(notice),
          v_(in.video()),
          a_(sink.audio ? in.audio() : nullptr),
          side_(in, sink),
          copiedFields_(v_) {
        mpeg4_ = v_->codecpar->codec_id == AV_CODEC_ID_MPEG4;
        codec_ = v_->codecpar->codec_id == AV_CODEC_ID_HEVC ? NalCodec::Hevc : NalCodec::H264;
        format_ = NalFormatOf(codec_, Extradata(v_));
        sourceSets_ = ParameterSetsOf(codec_, Extradata(v_));
        S_ = ctx.window.startMicros;
        E_ = ctx.window.endMicros;
        shift_ = ctx.offsetMicros - S_;
        const AVRational rate = FrameRate();
        if (rate.num > 0 && rate.den > 0) frameMicros_ = av_rescale_q(1, av_inv_q(rate), AV_TIME_BASE_Q);
        // Where the container keeps negative times, the sound starts with the frame that holds S.
        negativeTimes_ = (sink.ctx()->oformat->flags & AVFMT_TS_NEGATIVE) != 0;
    }

    // See PreparedExactCut: what writes nothing, then the rest.
    Status Prepare();
    Status Complete();
    Status Run() {
        const Status prepared = Prepare();
        return prepared.ok() ? Complete() : prepared;
    }

private:
    AVRational FrameRate() const { return v_->avg_frame_rate.num > 0 ? v_->avg_frame_rate : v_->r_frame_rate; }
    Status Outcome(Status s) const;
    int64_t Micros(int64_t ts, const AVStream* st) const { return ToMicros(ts, st->time_base); }
    int64_t PtsMicros(const AVPacket* p, const AVStream* st) const {
        return Micros(p->pts != AV_NOPTS_VALUE ? p->pts : p->dts, st);
    }
    bool Scan();
    // Moves S onto a picture that starts just after it: a time typed to the millisecond means
    // the picture that starts within that millisecond, and no output starts with a picture
    // shown for less than half a frame.
    void SnapStart(int64_t pts);
    // Whether a source packet starts with a picture that decodes without any before it.
    bool IsRandomAccess(const AVPacket* pkt) const;
    Status EncodeHead();
    bool SeamHolds();
    // enc_, made for `codec` with f's size and picture format, the sample aspect and the
    // source's time base; null when out of memory.
    AVCodecContext* NewEncoder(const AVCodec* codec, const AVFrame* f);
    Status OpenEncoder(const AVFrame* f);
    Status OpenMpeg4Encoder(const AVFrame* f);
    Status EncodeFrame(const AVFrame* f, int64_t ptsMicros, int64_t durMicros);
    // Encodes what shows of a picture within [encodeFrom_, until).
    Status EncodeShown(const ShownFrame& p, int64_t until);
    // The handler for decoded pictures: each is fed to shown_ and encoded as EncodeShown says;
    // a failure goes to `failed`.
    FrameHandler Offering(int64_t until, Status& failed);
    // Decodes `packets` to their end with `loop`, each picture offered up to `until`.
    Status DecodeAndOffer(DecodeLoop& loop, const PacketSource& packets, int64_t until);
    Status DrainEncoder(bool flush);
    Status Splice();
    Status EncodeWhole();
    Status EmitMicros(AVPacket* pkt, AVStream* out, int64_t ptsMicros, int64_t dtsMicros, int64_t durMicros);
    Status EmitCopied(AVPacket* pkt);
    Status OnAudio(PacketPtr pkt);
    Status ReleaseAudio(bool videoOver);
    Status OnCopiedVideo(PacketPtr pkt);
    struct Pending {
        PacketPtr pkt;
        int64_t pts;  // microseconds; none for a second field
        bool second;  // the second field of a pair
    };
    // A copied picture for the output, in decode order: held with the pictures since the last
    // random-access picture, until the next one's leading pictures are over.
    Status Queue(Pending p);
    Status EmitPending(size_t count);
    // The pictures end: those held are written, but for those shown from E on. Where one of
    // those is needed to decode a picture shown before E (B-frames), the pictures from the last
    // that can be copied up to E are encoded again, as the head is.
    Status EndVideo();
    Status FinishPending();
    Status EncodeTail(size_t copied);
    // Forgets the encoder and what it made; the next pictures encoded start at `from`.
    void ResetEncoding(int64_t from);
    Status FinishCopy();
    // The side tracks begin at S, knowing that nothing after E is copied: a subtitle already
    // shown at S is cut at E, not copied whole.
    Status BeginSideTracks();
    bool ReadOne(PacketPtr& pkt);
    // Whether reading can stop: the pictures and the sound have ended (the other sound
    // tracks too, within a bounded number of packets more).
    bool Over();
    // K1 as it is written after other pictures (the head, or another clip): a copy of its
    // packet with the source's parameter sets (H.264, HEVC: after an access unit delimiter)
    // or stream headers (MPEG-4 Part 2) before its picture, an HEVC CRA picture made a
    // broken-link one, which starts afresh.
    PacketPtr Spliced(const AVPacket* pkt) const;

    MediaInput& in_;
    OutputSink& sink_;
    const StageContext& ctx_;
    std::string& notice_;
    AVStream* v_;
    AVStream* a_;
    SideTracks side_;     // other sound tracks and subtitles, timed as the main sound
    bool mpeg4_ = false;  // MPEG-4 Part 2; else H.264 or HEVC, as codec_ says
    NalCodec codec_;
    NalFormat format_;
    std::vector<NalUnit> sourceSets_;
    int64_t S_ = 0, E_ = 0, shift_ = 0;
    std::optional<int64_t> soundShift_;      // set with the first sound frame written
    PacketPtr beforeStart_;                  // the last sound frame before S, left out
    int64_t shownAtStart_ = AV_NOPTS_VALUE;  // the picture on screen at S, from the scan
    int64_t frameMicros_ = 0;                // a picture's time at the stream's rate; 0 unknown
    int64_t beat_ = AV_NOPTS_VALUE;          // the first picture's time the scan saw
    bool startSnapped_ = false;
    bool negativeTimes_ = false;
    bool encodeWhole_ = false;  // Prepare found that the segment is encoded whole

    // The scan: video from K0, K1's place in it, and sound read meanwhile.
    std::deque<PacketPtr> video_;
    size_t k1_ = SIZE_MAX;        // index of K1 in video_
    size_t copyFrom_ = SIZE_MAX;  // first packet after K1 and its leading pictures
    int64_t k1Pts_ = AV_NOPTS_VALUE, k1Dts_ = AV_NOPTS_VALUE;
    bool eof_ = false;
    std::deque<PacketPtr> audio_;
    std::string whyWhole_;      // why the scan found no K1 although key frames follow S
    bool timesDiffer_ = false;  // a video packet's display and decode times differ

    // The head, encoded, in the source's packet format with times in microseconds.
    CodecContextPtr enc_;
    struct HeadPacket {
        PacketPtr pkt;
        int64_t pts, dts, dur;  // microseconds on the input's timeline
    };
    std::vector<HeadPacket> head_;
    // Frames in the encoder by their pts in its time base: their pts and duration in microseconds.
    std::map<int64_t, std::pair<int64_t, int64_t>> sentTimes_;
    int64_t lastSentPts_ = AV_NOPTS_VALUE;  // in the encoder's time base
    int headFrames_ = 0;
    int idrAt_ = -1;                           // the head picture made an IDR picture for the seam check, if any
    bool whole_ = false;                       // the whole segment is encoded, not a head
    ShownPictures shown_{0, 0};                // the pictures decoded, with when each shows
    int64_t lastDecodedPts_ = AV_NOPTS_VALUE;  // the packet time of the picture decoded last
    bool noDisplayTimes_ = false;              // pictures came out with falling packet times
    int64_t encodeFrom_ = 0;                   // pictures shown before this are not encoded
    bool tail_ = false;                        // the pictures encoded are the tail, after the copy

    // The copy.
    bool videoOver_ = false, audioOver_ = false;
    int64_t videoEnd_ = AV_NOPTS_VALUE;
    std::deque<Pending> heldVideo_;  // shown from E on: written only if a picture before E follows
    std::deque<Pending> pending_;    // from the last random-access picture copied, in decode order
    size_t nextKey_ = SIZE_MAX;      // a random-access picture in pending_ whose leading pictures may follow
    size_t pendingBytes_ = 0;
    bool pendingFromKey_ = true;  // pending_ starts with a random-access picture
    int64_t lastVideoDts_ = AV_NOPTS_VALUE;
    FieldPairs copiedFields_;
    enum class Fate { Dropped, Held, Emitted };
    Fate lastFate_ = Fate::Dropped;  // of the copied packet before, unless a second field
    bool setsSent_ = false;
    bool wroteSomething_ = false;
};

}  // namespace ulvane::exact
