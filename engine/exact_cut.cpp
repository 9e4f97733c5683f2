// The exact direct cut (see exact_cut.h).
#include "engine/exact_cut.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <deque>
#include <map>
#include <span>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

#include "engine/mpeg4_visual.h"
#include "engine/nal_units.h"
#include "engine/remuxer.h"
#include "engine/side_tracks.h"

namespace ulvane {

namespace {

constexpr size_t kMaxBufferedBytes = size_t{256} << 20;  // K0 to K1 held in memory at most
constexpr int kSeamPackets = 4;                          // copied packets decoded by the seam check
constexpr size_t kMaxHeldPictures = 16;
// A longer head gets a second IDR picture this many pictures before its end, so that the seam
// check decodes from there rather than from the head's start.
constexpr int kSeamHeadPictures = 8;

// Whether pictures of this video may be coded as fields (H.264 only: the others are refused).
bool Interlaced(const AVStream* st) {
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

bool SameFrame(const AVFrame* a, const AVFrame* b) {
    if (a->format != b->format || a->width != b->width || a->height != b->height) return false;
    const auto* desc = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(a->format));
    if (!desc) return false;
    for (int p = 0; p < 4 && a->data[p]; ++p) {
        if (!b->data[p]) return false;
        const int bytes = av_image_get_linesize(static_cast<AVPixelFormat>(a->format), a->width, p);
        const bool chroma = p == 1 || p == 2;
        const int rows = chroma ? AV_CEIL_RSHIFT(a->height, desc->log2_chroma_h) : a->height;
        for (int y = 0; y < rows; ++y)
            if (std::memcmp(a->data[p] + static_cast<ptrdiff_t>(y) * a->linesize[p],
                            b->data[p] + static_cast<ptrdiff_t>(y) * b->linesize[p], static_cast<size_t>(bytes)) != 0)
                return false;
    }
    return true;
}

// The pictures a decoder gives for `packets`, the decoder drained at the end: all of them
// counted in `count`, the ones from the `keepFrom`th on kept.
std::vector<FramePtr> DecodeAll(AVCodecContext* dec, const std::vector<const AVPacket*>& packets, size_t keepFrom,
                                size_t& count) {
    std::vector<FramePtr> frames;
    count = 0;
    const auto drain = [&] {
        for (;;) {
            FramePtr f = MakeFrame();
            if (avcodec_receive_frame(dec, f.get()) < 0) return;
            if (count++ >= keepFrom) frames.push_back(std::move(f));
        }
    };
    for (const AVPacket* p : packets) {
        avcodec_send_packet(dec, p);
        drain();
    }
    avcodec_send_packet(dec, nullptr);
    drain();
    return frames;
}

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
        const AVRational rate = v_->avg_frame_rate.num > 0 ? v_->avg_frame_rate : v_->r_frame_rate;
        if (rate.num > 0 && rate.den > 0)
            nearStart_ = std::max(nearStart_, av_rescale_q(1, av_inv_q(rate), AV_TIME_BASE_Q) / 2);
        // Where the container keeps negative times, the sound starts with the frame that holds S.
        negativeTimes_ = (sink.ctx()->oformat->flags & AVFMT_TS_NEGATIVE) != 0;
    }

    Status Run();

private:
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
    Status Offer(FramePtr f, int64_t at, int64_t until);
    Status ReceiveAndOffer(AVCodecContext* dec, int64_t until);
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
    // A copy of a source packet with the source's parameter sets (H.264, HEVC: after an
    // access unit delimiter) or stream headers (MPEG-4 Part 2) before its picture.
    PacketPtr WithSourceHeaders(const AVPacket* pkt) const;

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
    int64_t nearStart_ = 1001;  // a picture starting less than this after S starts the output
    bool startSnapped_ = false;
    bool negativeTimes_ = false;

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
    int idrAt_ = -1;      // the head picture made an IDR picture for the seam check, if any
    bool whole_ = false;  // the whole segment is encoded, not a head
    FramePtr waiting_;    // the picture decoded last, until the next one tells how long it shows
    int64_t waitingAt_ = AV_NOPTS_VALUE;
    std::vector<int64_t> shownAt_;  // the head's packets' times, in display order
    int64_t lastOffered_ = AV_NOPTS_VALUE;
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

bool ExactCutter::ReadOne(PacketPtr& pkt) {
    pkt = MakePacket();
    if (in_.ReadPacket(pkt.get()) < 0) {
        eof_ = true;
        return false;
    }
    return true;
}

bool ExactCutter::Over() {
    if (!videoOver_ || !(audioOver_ || !a_)) return false;
    return side_.CanStopReading();
}

// Reads from K0 until K1, its leading pictures and the first picture after them are in
// hand. False when there is no such K1 before E (or within the memory allowed).
bool ExactCutter::Scan() {
    size_t bytes = 0;
    const int vi = in_.videoIndex();
    const int ai = a_ ? in_.audioIndex() : -1;
    PacketPtr pkt;
    while (!ctx_.cancelled() && ReadOne(pkt)) {
        if (pkt->flags & AV_PKT_FLAG_CORRUPT) continue;
        if (pkt->stream_index == ai) {
            audio_.push_back(std::move(pkt));
            continue;
        }
        if (side_.Owns(pkt->stream_index)) {
            (void)side_.Take(std::move(pkt));  // waits for Begin: nothing is written yet
            continue;
        }
        if (pkt->stream_index != vi) continue;
        const int64_t pts = PtsMicros(pkt.get(), v_);
        SnapStart(pts);
        if (video_.empty() && !(pkt->flags & AV_PKT_FLAG_KEY)) continue;  // before K0: nothing decodes
        if (pkt->pts != AV_NOPTS_VALUE && pkt->dts != AV_NOPTS_VALUE && pkt->pts != pkt->dts) timesDiffer_ = true;
        if (k1_ != SIZE_MAX) {
            video_.push_back(std::move(pkt));
            if (pts == AV_NOPTS_VALUE || pts >= k1Pts_) {
                copyFrom_ = video_.size() - 1;
                return true;
            }
            continue;  // a leading picture of K1
        }
        const int64_t dts = Micros(pkt->dts != AV_NOPTS_VALUE ? pkt->dts : pkt->pts, v_);
        if (dts != AV_NOPTS_VALUE && dts >= E_ && pts != AV_NOPTS_VALUE && pts >= E_) return false;
        // Where the container keeps no negative times, a K1 that decodes before S would
        // start the whole output late: the head then goes on to the next one.
        const bool decodesInTime = negativeTimes_ || pts == S_ || dts == AV_NOPTS_VALUE || dts >= S_;
        const bool key = (pkt->flags & AV_PKT_FLAG_KEY) && pts != AV_NOPTS_VALUE && pts >= S_;
        const bool randomAccess = key && IsRandomAccess(pkt.get());
        const bool candidate = randomAccess && decodesInTime;
        if (randomAccess && !decodesInTime && pts < E_)
            whyWhole_ =
                "its key frame after the start decodes before the start, which this container keeps no times for";
        if (key && !randomAccess && pts > S_ && pts < E_)
            whyWhole_ =
                "its key frames after the start are not IDR pictures (they open groups of pictures), which "
                "the exact cut does not copy from";
        bytes += static_cast<size_t>(pkt->size);
        video_.push_back(std::move(pkt));
        if (candidate) {
            if (pts >= E_) return false;
            k1_ = video_.size() - 1;
            k1Pts_ = pts;
            k1Dts_ = dts != AV_NOPTS_VALUE ? dts : pts;
        }
        if (bytes > kMaxBufferedBytes) {
            whyWhole_ = "the pictures from the key frame before the start are too many to hold";
            return false;
        }
    }
    if (k1_ != SIZE_MAX) copyFrom_ = video_.size();  // the file ends after K1's leading pictures
    return k1_ != SIZE_MAX;
}

void ExactCutter::SnapStart(int64_t pts) {
    if (startSnapped_ || pts == AV_NOPTS_VALUE || pts <= S_ || pts - S_ >= nearStart_) return;
    startSnapped_ = true;
    S_ = pts;
    shift_ = ctx_.offsetMicros - S_;
}

bool ExactCutter::IsRandomAccess(const AVPacket* pkt) const {
    const std::span<const uint8_t> data{pkt->data, static_cast<size_t>(pkt->size)};
    if (mpeg4_) return FirstVopType(data) == VopType::I;
    return StartsAtRandomAccess(codec_, SplitNalUnits(data, format_.lengthSize));
}

AVCodecContext* ExactCutter::NewEncoder(const AVCodec* codec, const AVFrame* f) {
    enc_.reset(avcodec_alloc_context3(codec));
    AVCodecContext* e = enc_.get();
    if (!e) return nullptr;
    const AVCodecParameters* p = v_->codecpar;
    e->width = f->width;
    e->height = f->height;
    e->pix_fmt = static_cast<AVPixelFormat>(f->format);
    e->sample_aspect_ratio = p->sample_aspect_ratio.num > 0 ? p->sample_aspect_ratio : f->sample_aspect_ratio;
    e->time_base = v_->time_base;
    return e;
}

Status ExactCutter::OpenEncoder(const AVFrame* f) {
    if (mpeg4_) return OpenMpeg4Encoder(f);
    const bool hevc = codec_ == NalCodec::Hevc;
    const AVCodec* codec = avcodec_find_encoder_by_name(hevc ? "libx265" : "libx264");
    if (!codec) return Status::Failed(std::string("no ") + (hevc ? "libx265" : "libx264") + " encoder");
    AVCodecContext* e = NewEncoder(codec, f);
    if (!e) return Status::Failed("out of memory");
    const AVCodecParameters* p = v_->codecpar;
    if (v_->avg_frame_rate.num > 0 && v_->avg_frame_rate.den > 0) e->framerate = v_->avg_frame_rate;
    e->color_range = p->color_range;
    e->color_primaries = p->color_primaries;
    e->color_trc = p->color_trc;
    e->colorspace = p->color_space;
    e->chroma_sample_location = p->chroma_location;
    e->field_order = Interlaced(v_) ? p->field_order : AV_FIELD_PROGRESSIVE;
    // A head is one group (but for the seam check's second IDR picture). A whole segment may
    // be long: a key frame every 2 s keeps it quick to seek in.
    const AVRational rate = e->framerate.num > 0 ? e->framerate : v_->r_frame_rate;
    const double fps = rate.num > 0 && rate.den > 0 ? av_q2d(rate) : 25.0;
    e->gop_size = whole_ ? std::clamp(static_cast<int>(std::lround(2 * fps)), 1, 600) : 1 << 20;
    // As many pictures reordered as the source declares where readers rebuild one of the
    // times from the first parameter sets (Matroska, AVI), so that they count right.
    // Elsewhere P pictures only: the encoder then holds fewer pictures.
    // The tail, after the copy, has none: its decode times then stay above the copied ones.
    const int reorder = hevc || tail_ || sink_.StoresBothTimes() ? 0 : std::clamp(p->video_delay, 0, 2);
    e->max_b_frames = reorder == 0 ? 0 : reorder == 1 ? 1 : 2;
    e->thread_count = 0;
    if (!hevc && p->level > 0) e->level = p->level;
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(e->pix_fmt);
    const int depth = desc ? desc->comp[0].depth : 8;
    const bool chroma420 = desc && desc->log2_chroma_w == 1 && desc->log2_chroma_h == 1;
    Dictionary options;
    // The head: the fastest preset at a quantiser that cannot be told from the source (about
    // 60 dB). A whole segment: about 48 dB at a size near the source's, not four times it.
    options.Set("preset", whole_ && !hevc ? "veryfast" : "ultrafast");
    if (whole_)
        options.Set("crf", hevc ? "14" : "16");
    else
        options.Set("qp", "10");
    options.Set("forced-idr", "1");  // the picture asked to be a key frame is an IDR picture
    if (hevc) {
        if (chroma420) options.Set("profile", depth > 8 ? "main10" : "main");
        options.Set("x265-params", "scenecut=0:bframes=0:open-gop=0:info=0:log-level=error");
    } else {
        // 4:2:0 names its profile; other formats (4:2:2, 4:4:4, grey) take the least one
        // that holds them, which x264 chooses itself.
        const char* profile =
            !chroma420                                                                                     ? nullptr
            : depth > 8                                                                                    ? "high10"
            : p->profile == FF_PROFILE_H264_BASELINE || p->profile == FF_PROFILE_H264_CONSTRAINED_BASELINE ? "baseline"
            : p->profile == FF_PROFILE_H264_MAIN                                                           ? "main"
                                                                                                           : "high";
        if (profile) options.Set("profile", profile);
        // The head's parameter sets take an id the source's do not use, so that a decoder
        // that starts anywhere (after a seek) never reads a picture with the other's sets.
        int id = 0;
        for (const NalUnit& u : sourceSets_) id = std::max(id, H264ParameterSetId(u) + 1);
        const std::string params =
            std::string(reorder == 0   ? "scenecut=0:open-gop=0:bframes=0"
                        : reorder == 1 ? "scenecut=0:open-gop=0:bframes=1:b-pyramid=none"
                                       : "scenecut=0:open-gop=0:bframes=2:b-pyramid=normal") +
            // A head is short: one thread, less memory. A whole
            // segment takes the machine's threads, and a short lookahead.
            (whole_ ? ":sync-lookahead=0:rc-lookahead=5:sps-id=" : ":threads=1:sync-lookahead=0:sps-id=") +
            std::to_string(id % 32) +
            // Fields, in the stream's order.
            (!Interlaced(v_)                 ? ""
             : p->field_order == AV_FIELD_TT ? ":tff=1"
                                             : ":bff=1");
        options.Set("x264-params", params.c_str());
    }
    if (int rc = avcodec_open2(e, codec, options.address()); rc < 0) {
        enc_.reset();
        return Status::Failed(std::string("cannot open the ") + codec->name + " encoder: " + AvErrorText(rc));
    }
    return {};
}

// FFmpeg's own MPEG-4 Part 2 encoder, with a fixed quantiser of 2. Without global headers
// it writes the stream headers before each I picture, so the head carries its own.
Status ExactCutter::OpenMpeg4Encoder(const AVFrame* f) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
    if (!codec) return Status::Failed("no MPEG-4 Part 2 encoder");
    AVCodecContext* e = NewEncoder(codec, f);
    if (!e) return Status::Failed("out of memory");
    // The stream header keeps the time resolution in 16 bits.
    if (e->time_base.den <= 0 || e->time_base.den >= (1 << 16)) e->time_base = AVRational{1, 60000};
    e->flags |= AV_CODEC_FLAG_QSCALE;
    e->global_quality = FF_QP2LAMBDA * 2;
    // With B-frames the stream header tells decoders to hold back a picture; the head must
    // tell the same, or a decoder shows the head's last picture twice at the seam.
    e->max_b_frames = v_->codecpar->video_delay > 0 ? 1 : 0;
    e->flags |= AV_CODEC_FLAG_CLOSED_GOP;  // no B-frame refers across an I picture
    // A decoder may reconstruct with another inverse transform than this encoder's; an
    // I picture every 2 s bounds how far the pictures can drift apart.
    e->gop_size = 50;
    e->thread_count = 1;
    Dictionary options;
    options.Set("sc_threshold", "1000000000");  // closed groups need the scene cuts off
    if (int rc = avcodec_open2(e, codec, options.address()); rc < 0) {
        enc_.reset();
        return Status::Failed(std::string("cannot open the mpeg4 encoder: ") + AvErrorText(rc));
    }
    return {};
}

Status ExactCutter::DrainEncoder(bool flush) {
    if (flush) avcodec_send_frame(enc_.get(), nullptr);
    for (;;) {
        PacketPtr pkt = MakePacket();
        const int rc = avcodec_receive_packet(enc_.get(), pkt.get());
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return {};
        if (rc < 0) return Status::Failed("the encoder failed: " + AvErrorText(rc));
        const auto sent = sentTimes_.find(pkt->pts);
        if (sent == sentTimes_.end()) continue;
        const auto [pts, dur] = sent->second;
        sentTimes_.erase(sent);
        const int64_t dts = pkt->dts == AV_NOPTS_VALUE ? pts : Micros(pkt->dts, v_) - Micros(pkt->pts, v_) + pts;
        if (mpeg4_) {
            PacketPtr out = PacketWith({pkt->data, static_cast<size_t>(pkt->size)}, pkt.get());
            if (!out) return Status::Failed("out of memory");
            head_.push_back({std::move(out), pts, dts, dur});
            continue;
        }
        // Annex B from the encoder, in the source's own packet format.
        std::vector<NalUnit> units = SplitNalUnits({pkt->data, static_cast<size_t>(pkt->size)}, 0);
        // The first picture also brings the source's H.264 parameter sets (their ids differ
        // from the head's): readers that take a stream's sets from its first picture (MPEG-TS)
        // then know every set, wherever a seek lands.
        if (head_.empty() && codec_ == NalCodec::H264)
            units.insert(units.begin(), sourceSets_.begin(), sourceSets_.end());
        PacketPtr out = PacketWith(JoinNalUnits(units, format_.lengthSize), pkt.get());
        if (!out) return Status::Failed("out of memory");
        head_.push_back({std::move(out), pts, dts, dur});
    }
}

Status ExactCutter::EncodeFrame(const AVFrame* f, int64_t ptsMicros, int64_t durMicros) {
    if (!enc_) {
        if (Status s = OpenEncoder(f); !s.ok()) return s;
    }
    FramePtr copy = MakeFrame();
    if (av_frame_ref(copy.get(), f) < 0) return Status::Failed("out of memory");
    // The picture that shows at S is sent at S rounded down: between two pictures, it then
    // stays below the next picture's tick.
    copy->pts = av_rescale_q_rnd(ptsMicros, AV_TIME_BASE_Q, enc_->time_base,
                                 ptsMicros == encodeFrom_ ? AV_ROUND_DOWN : AV_ROUND_NEAR_INF);
    copy->pict_type = headFrames_ == idrAt_ ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
    if (Interlaced(v_)) {  // the stream's field order, whatever a decoder made of one picture
        copy->interlaced_frame = 1;
        copy->top_field_first = v_->codecpar->field_order == AV_FIELD_TT;
    }
    if (lastSentPts_ != AV_NOPTS_VALUE && copy->pts <= lastSentPts_) return {};  // within one tick: the first stays
    lastSentPts_ = copy->pts;
    sentTimes_[copy->pts] = {ptsMicros, durMicros};
    if (int rc = avcodec_send_frame(enc_.get(), copy.get()); rc < 0)
        return Status::Failed("the encoder refused a picture: " + AvErrorText(rc));
    ++headFrames_;
    return DrainEncoder(false);
}

// Pictures come from the decoder in display order. Where the times at which pictures show are
// known (the head's packets are all read), each is encoded at once and given back to the
// decoder; otherwise it is encoded once the next one tells how long it shows, so only one waits
// in memory. Only what shows within [S, until) is encoded.
Status ExactCutter::Offer(FramePtr f, int64_t at, int64_t until) {
    if (!shownAt_.empty()) {
        if (!f || (lastOffered_ != AV_NOPTS_VALUE && at <= lastOffered_)) return {};
        lastOffered_ = at;
        const auto next = std::upper_bound(shownAt_.begin(), shownAt_.end(), at);
        const int64_t end = std::min(next == shownAt_.end() ? until : *next, until);
        if (end <= encodeFrom_ || at >= until) return {};
        const int64_t from = std::max(at, encodeFrom_);
        return EncodeFrame(f.get(), from, end - from);
    }
    if (waiting_ && at > waitingAt_) {
        const int64_t next = std::min(at, until);
        if (next > encodeFrom_ && waitingAt_ < until) {
            const int64_t from = std::max(waitingAt_, encodeFrom_);
            if (Status s = EncodeFrame(waiting_.get(), from, next - from); !s.ok()) return s;
        }
    }
    if (!waiting_ || at > waitingAt_) {
        waiting_ = std::move(f);
        waitingAt_ = at;
    }
    return {};
}

Status ExactCutter::ReceiveAndOffer(AVCodecContext* dec, int64_t until) {
    for (;;) {
        FramePtr f = MakeFrame();
        if (avcodec_receive_frame(dec, f.get()) < 0) return {};
        // A picture carries its own packet's time. Display order with times that fall back
        // means the file stored decode times in their place: where a picture shows is then
        // only the decoder's guess, and a head would not join the copied part's guesses.
        if (f->pts != AV_NOPTS_VALUE) {
            if (lastDecodedPts_ != AV_NOPTS_VALUE && f->pts <= lastDecodedPts_) noDisplayTimes_ = true;
            lastDecodedPts_ = f->pts;
        }
        if (f->best_effort_timestamp == AV_NOPTS_VALUE) continue;
        const int64_t at = Micros(f->best_effort_timestamp, v_);
        if (Status s = Offer(std::move(f), at, until); !s.ok()) return s;
    }
}

// Decodes K0 .. K1 and K1's leading pictures; encodes the pictures shown from S up to K1.
Status ExactCutter::EncodeHead() {
    encodeFrom_ = S_;
    int shown = 1;  // the picture showing at S, and those that follow it up to K1
    FieldPairs fields(v_);
    std::vector<bool> secondField(video_.size());
    for (size_t i = 0; i < copyFrom_ && i < video_.size(); ++i) {
        const int64_t pts = PtsMicros(video_[i].get(), v_);
        secondField[i] = fields.SecondField(video_[i].get());
        if (secondField[i] || pts == AV_NOPTS_VALUE) continue;
        shownAt_.push_back(pts);
        if (pts > S_ && pts < k1Pts_) ++shown;
    }
    std::sort(shownAt_.begin(), shownAt_.end());
    idrAt_ = shown > 2 * kSeamHeadPictures ? shown - kSeamHeadPictures : -1;
    CodecContextPtr dec;
    if (Status s = OpenStreamDecoder(v_, false, dec); !s.ok()) return s;
    // Reordered pictures whose packets carry one time for both may have decode times for
    // display times: every picture is then decoded, so that the order they come out in shows it.
    const bool mayLackDisplayTimes = v_->codecpar->video_delay > 0 && !timesDiffer_;
    for (size_t i = 0; i < copyFrom_ && i < video_.size(); ++i) {
        if (ctx_.cancelled()) return Status::Cancelled();
        // Pictures shown well before S that no other picture refers to need no decoding. A
        // second field is decoded or not as its first.
        const int64_t pts = PtsMicros(video_[i].get(), v_);
        const bool skippable = !mayLackDisplayTimes && pts != AV_NOPTS_VALUE && pts + 100000 < S_;
        if (!secondField[i]) dec->skip_frame = skippable ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
        avcodec_send_packet(dec.get(), video_[i].get());
        if (i < k1_) video_[i].reset();  // only K1 and what follows it are needed again
        if (Status s = ReceiveAndOffer(dec.get(), k1Pts_); !s.ok()) return s;
    }
    avcodec_send_packet(dec.get(), nullptr);
    if (Status s = ReceiveAndOffer(dec.get(), k1Pts_); !s.ok()) return s;
    // The last picture before K1 shows until K1.
    if (Status s = Offer(nullptr, k1Pts_ + 1, k1Pts_); !s.ok()) return s;
    if (!enc_) return {};
    if (Status s = DrainEncoder(true); !s.ok()) return s;
    enc_.reset();  // its buffers are not needed for the copy
    if (codec_ == NalCodec::Hevc && !head_.empty()) {
        // The sequence ends with the head: a CRA picture at K1 then starts afresh.
        PacketPtr& last = head_.back().pkt;
        std::vector<NalUnit> units = SplitNalUnits({last->data, static_cast<size_t>(last->size)}, format_.lengthSize);
        units.push_back(EndOfSequenceUnit(codec_));
        PacketPtr ended = PacketWith(JoinNalUnits(units, format_.lengthSize), last.get());
        if (!ended) return Status::Failed("out of memory");
        last = std::move(ended);
    }
    return {};
}

// Decodes the head and the first copied pictures as a player would, and the same copied
// pictures alone from the source: the pictures after K1 must be as many and the same.
bool ExactCutter::SeamHolds() {
    CodecContextPtr spliced, alone;
    // Frame threads: the head encoder is gone by now, so their memory raises no peak.
    if (!OpenStreamDecoder(v_, true, spliced).ok() || !OpenStreamDecoder(v_, true, alone).ok()) return false;
    std::vector<PacketPtr> copied;  // as they will be written: K1 with the parameter sets
    for (size_t i = k1_; i < video_.size() && copied.size() < kSeamPackets; ++i) {
        if (i > k1_ && i < copyFrom_) continue;  // leading pictures are left out
        PacketPtr p = MakePacket();
        av_packet_ref(p.get(), video_[i].get());
        copied.push_back(std::move(p));
    }
    // Every picture sent came out, and the last IDR picture of the head starts the decoding:
    // it empties the decoder as the head's first one would have by then.
    if (head_.size() != static_cast<size_t>(headFrames_)) return false;
    size_t from = 0;
    for (size_t i = head_.size(); i-- > 0;)
        if (head_[i].pkt->flags & AV_PKT_FLAG_KEY) {
            from = i;
            break;
        }
    const size_t headShown = head_.size() - from;
    std::vector<const AVPacket*> splicedIn, aloneIn;
    std::vector<PacketPtr> withSets;
    for (size_t i = from; i < head_.size(); ++i) splicedIn.push_back(head_[i].pkt.get());
    for (size_t i = 0; i < copied.size(); ++i) {
        aloneIn.push_back(copied[i].get());
        if (i == 0) {
            withSets.push_back(WithSourceHeaders(copied[0].get()));
            if (!withSets.back()) return false;
            splicedIn.push_back(withSets.back().get());
        } else {
            splicedIn.push_back(copied[i].get());
        }
    }
    // Only the pictures after the head are kept: a frame of 1080p is 3 MB.
    size_t splicedCount = 0, aloneCount = 0;
    const std::vector<FramePtr> a = DecodeAll(spliced.get(), splicedIn, headShown, splicedCount);
    spliced.reset();
    const std::vector<FramePtr> b = DecodeAll(alone.get(), aloneIn, 0, aloneCount);
    if (b.empty() || splicedCount != headShown + b.size() || a.size() != b.size()) return false;
    for (size_t i = 0; i < b.size(); ++i)
        if (!SameFrame(a[i].get(), b[i].get())) return false;
    return true;
}

PacketPtr ExactCutter::WithSourceHeaders(const AVPacket* pkt) const {
    const std::span<const uint8_t> data{pkt->data, static_cast<size_t>(pkt->size)};
    if (mpeg4_) {
        if (HasVolHeader(data)) return PacketWith(data, pkt);
        const std::span<const uint8_t> headers = Extradata(v_);
        std::vector<uint8_t> bytes(headers.begin(), headers.end());
        bytes.insert(bytes.end(), data.begin(), data.end());
        return PacketWith(bytes, pkt);
    }
    return PacketWith(JoinNalUnits(WithParameterSets(codec_, SplitNalUnits(data, format_.lengthSize), sourceSets_),
                                   format_.lengthSize),
                      pkt);
}

Status ExactCutter::EmitMicros(AVPacket* pkt, AVStream* out, int64_t ptsMicros, int64_t dtsMicros, int64_t durMicros) {
    const auto to = [&](int64_t us) {
        return us == AV_NOPTS_VALUE ? us : av_rescale_q(us + shift_, AV_TIME_BASE_Q, out->time_base);
    };
    pkt->pts = to(ptsMicros);
    pkt->dts = to(dtsMicros);
    pkt->duration = durMicros > 0 ? av_rescale_q(durMicros, AV_TIME_BASE_Q, out->time_base) : 0;
    pkt->stream_index = out->index;
    if (Status s = sink_.Write(pkt); !s.ok()) return s;
    if (out == sink_.video && dtsMicros != AV_NOPTS_VALUE) lastVideoDts_ = dtsMicros;
    wroteSomething_ = true;
    if (ctx_.onProgress) ctx_.onProgress(sink_.EndMicros());
    return {};
}

// A source packet as it is, moved onto the output timeline.
Status ExactCutter::EmitCopied(AVPacket* pkt) {
    const bool video = pkt->stream_index == in_.videoIndex();
    const AVStream* st = video ? v_ : a_;
    const int64_t pts = pkt->pts == AV_NOPTS_VALUE ? AV_NOPTS_VALUE : Micros(pkt->pts, st);
    const int64_t dts = pkt->dts == AV_NOPTS_VALUE ? AV_NOPTS_VALUE : Micros(pkt->dts, st);
    int64_t dur = Micros(pkt->duration, st);
    if (video && dur <= 0 && v_->avg_frame_rate.num > 0)
        dur = av_rescale_q(1, av_inv_q(v_->avg_frame_rate), AV_TIME_BASE_Q);
    if (video && pts != AV_NOPTS_VALUE && pts < E_ && pts + dur > E_) dur = E_ - pts;  // the last shows up to E
    if (video && pts != AV_NOPTS_VALUE) videoEnd_ = std::max(videoEnd_ == AV_NOPTS_VALUE ? pts : videoEnd_, pts + dur);
    return EmitMicros(pkt, video ? sink_.video : sink_.audio, pts, dts, dur);
}

// Sound from the frame that holds S (or the first after it) up to E, or to where the
// pictures end once they have.
Status ExactCutter::OnAudio(PacketPtr pkt) {
    audio_.push_back(std::move(pkt));
    return ReleaseAudio(videoOver_);
}

Status ExactCutter::ReleaseAudio(bool videoOver) {
    const int64_t limit = videoOver && videoEnd_ != AV_NOPTS_VALUE ? std::max(E_, videoEnd_) : E_;
    if (Status s = side_.Limit(limit, videoOver); !s.ok()) return s;
    while (!audio_.empty()) {
        AVPacket* p = audio_.front().get();
        const int64_t t = PtsMicros(p, a_);
        if (t != AV_NOPTS_VALUE && t >= limit) {
            if (!videoOver) return {};  // decided when the pictures end
            audioOver_ = true;
            audio_.clear();
            return {};
        }
        const bool inside = t != AV_NOPTS_VALUE && (negativeTimes_ ? t + Micros(p->duration, a_) > S_ : t >= S_);
        if (inside) {
            if (Status s = EmitCopied(p); !s.ok()) return s;
        }
        audio_.pop_front();
    }
    return {};
}

// A copied picture after K1: pictures decoded after E end the video; pictures shown after
// E are kept only when a picture shown before E follows them (they are its references).
// The second field of a pair goes where its first went.
Status ExactCutter::OnCopiedVideo(PacketPtr pkt) {
    if (copiedFields_.SecondField(pkt.get())) {
        if (lastFate_ == Fate::Emitted) return Queue({std::move(pkt), AV_NOPTS_VALUE, true});
        if (lastFate_ == Fate::Held) heldVideo_.push_back({std::move(pkt), AV_NOPTS_VALUE, true});
        return {};
    }
    lastFate_ = Fate::Dropped;
    const int64_t pts = PtsMicros(pkt.get(), v_);
    // Where decode times are unknown (Matroska after a seek), pictures shown from E on are held
    // until a picture before E follows or too many came in a row.
    if (pkt->dts != AV_NOPTS_VALUE && Micros(pkt->dts, v_) >= E_) return EndVideo();
    if (pts != AV_NOPTS_VALUE && pts < k1Pts_) return {};  // a leading picture of K1: the head shows it
    if (!setsSent_) {
        setsSent_ = true;
        if (headFrames_ > 0) {
            PacketPtr first = WithSourceHeaders(pkt.get());
            if (!first) return Status::Failed("out of memory");
            pkt = std::move(first);
        }
    }
    if (pts != AV_NOPTS_VALUE && pts >= E_) {
        heldVideo_.push_back({std::move(pkt), pts, false});
        if (heldVideo_.size() >= kMaxHeldPictures) return EndVideo();
        lastFate_ = Fate::Held;
        return {};
    }
    while (!heldVideo_.empty()) {
        if (Status s = Queue(std::move(heldVideo_.front())); !s.ok()) return s;
        heldVideo_.pop_front();
    }
    lastFate_ = Fate::Emitted;
    return Queue({std::move(pkt), pts, false});
}

Status ExactCutter::Queue(Pending p) {
    if (nextKey_ != SIZE_MAX && !p.second && p.pts != AV_NOPTS_VALUE && p.pts >= pending_[nextKey_].pts) {
        if (Status s = EmitPending(nextKey_); !s.ok()) return s;
        nextKey_ = SIZE_MAX;
        pendingFromKey_ = true;
    }
    if (!p.second && (p.pkt->flags & AV_PKT_FLAG_KEY) && IsRandomAccess(p.pkt.get())) {
        if (pending_.empty())
            pendingFromKey_ = true;
        else
            nextKey_ = pending_.size();
    }
    pendingBytes_ += static_cast<size_t>(p.pkt->size);
    pending_.push_back(std::move(p));
    if (pendingBytes_ > kMaxBufferedBytes) {  // a group too long to hold: its end is copied as it is
        nextKey_ = SIZE_MAX;
        pendingFromKey_ = false;
        return EmitPending(pending_.size());
    }
    return {};
}

Status ExactCutter::EmitPending(size_t count) {
    for (; count > 0 && !pending_.empty(); --count) {
        if (Status s = EmitCopied(pending_.front().pkt.get()); !s.ok()) return s;
        pendingBytes_ -= static_cast<size_t>(pending_.front().pkt->size);
        pending_.pop_front();
    }
    return {};
}

Status ExactCutter::EndVideo() {
    videoOver_ = true;
    heldVideo_.clear();
    if (Status s = FinishPending(); !s.ok()) return s;
    return ReleaseAudio(true);
}

Status ExactCutter::FinishPending() {
    const size_t n = pending_.size();
    const auto shown = [&](size_t i) { return !pending_[i].second && pending_[i].pts != AV_NOPTS_VALUE; };
    // How many can be copied: the most, from the first on, all shown before E and before every
    // picture after them.
    std::vector<int64_t> firstAfter(n + 1, INT64_MAX);
    for (size_t i = n; i-- > 0;) firstAfter[i] = std::min(firstAfter[i + 1], shown(i) ? pending_[i].pts : INT64_MAX);
    size_t copied = 0;
    int64_t lastBefore = INT64_MIN;
    bool late = false;
    for (size_t x = 0; x <= n; ++x) {
        if (x > 0 && shown(x - 1)) {
            if (pending_[x - 1].pts >= E_) {
                late = true;
                break;
            }
            lastBefore = std::max(lastBefore, pending_[x - 1].pts);
        }
        if ((x == n || !pending_[x].second) && lastBefore < firstAfter[x]) copied = x;
    }
    if (!late) return EmitPending(n);
    bool tail = false;
    for (size_t i = copied; i < n; ++i) tail |= shown(i) && pending_[i].pts < E_;
    if (!tail) {  // the pictures after the copied ones all show from E on
        if (Status s = EmitPending(copied); !s.ok()) return s;
        pending_.clear();
        return {};
    }
    Status s = pendingFromKey_ ? EncodeTail(copied)
                               : Status::Failed("the group of pictures before the end is too long to hold");
    if (s.ok() || s.cancelled()) return s;
    AddNotice(notice_, "the pictures before the end could not be encoded again (" + s.reason() +
                           "); the cut ends with a picture or two from after the end");
    return EmitPending(n);
}

void ExactCutter::ResetEncoding(int64_t from) {
    enc_.reset();
    head_.clear();
    sentTimes_.clear();
    lastSentPts_ = AV_NOPTS_VALUE;
    waiting_.reset();
    waitingAt_ = AV_NOPTS_VALUE;
    shownAt_.clear();
    lastOffered_ = AV_NOPTS_VALUE;
    lastDecodedPts_ = AV_NOPTS_VALUE;
    headFrames_ = 0;
    idrAt_ = -1;
    encodeFrom_ = from;
}

// Decodes the held pictures from their random-access picture; encodes those shown from the
// first one not copied up to E, which then follow the copied ones.
Status ExactCutter::EncodeTail(size_t copied) {
    int64_t from = INT64_MAX;
    for (size_t i = copied; i < pending_.size(); ++i)
        if (!pending_[i].second && pending_[i].pts != AV_NOPTS_VALUE) from = std::min(from, pending_[i].pts);
    ResetEncoding(from);
    tail_ = true;
    size_t expected = 0;
    for (const Pending& p : pending_) {
        if (p.second || p.pts == AV_NOPTS_VALUE) continue;
        shownAt_.push_back(p.pts);
        if (p.pts >= from && p.pts < E_) ++expected;
    }
    std::sort(shownAt_.begin(), shownAt_.end());
    CodecContextPtr dec;
    if (Status s = OpenStreamDecoder(v_, false, dec); !s.ok()) return s;
    for (const Pending& p : pending_) {
        if (ctx_.cancelled()) return Status::Cancelled();
        avcodec_send_packet(dec.get(), p.pkt.get());
        if (Status s = ReceiveAndOffer(dec.get(), E_); !s.ok()) return s;
    }
    avcodec_send_packet(dec.get(), nullptr);
    if (Status s = ReceiveAndOffer(dec.get(), E_); !s.ok()) return s;
    if (!enc_) return Status::Failed("no picture decoded");
    if (Status s = DrainEncoder(true); !s.ok()) return s;
    enc_.reset();
    if (head_.size() != expected) return Status::Failed("not every picture decoded");
    if (Status s = EmitPending(copied); !s.ok()) return s;
    pending_.clear();
    // Decode times rise across the seam, none after its display time.
    const int64_t step = av_rescale_q_rnd(1, sink_.video->time_base, AV_TIME_BASE_Q, AV_ROUND_UP);
    for (HeadPacket& h : head_) {
        if (h.dts != AV_NOPTS_VALUE && lastVideoDts_ != AV_NOPTS_VALUE && h.dts <= lastVideoDts_)
            h.dts = std::min(h.pts, lastVideoDts_ + step);
        videoEnd_ = std::max(videoEnd_ == AV_NOPTS_VALUE ? h.pts : videoEnd_, h.pts + h.dur);
        if (Status s = EmitMicros(h.pkt.get(), sink_.video, h.pts, h.dts, h.dur); !s.ok()) return s;
    }
    head_.clear();
    return {};
}

Status ExactCutter::BeginSideTracks() {
    if (Status s = side_.Limit(E_, false); !s.ok()) return s;
    return side_.Begin(S_, shift_, negativeTimes_);
}

Status ExactCutter::FinishCopy() {
    const int vi = in_.videoIndex();
    const int ai = a_ ? in_.audioIndex() : -1;
    PacketPtr pkt;
    while (!Over() && !eof_) {
        if (ctx_.cancelled()) return Status::Cancelled();
        if (!ReadOne(pkt)) break;
        if (pkt->flags & AV_PKT_FLAG_CORRUPT) continue;
        if (pkt->stream_index == vi && !videoOver_) {
            if (Status s = OnCopiedVideo(std::move(pkt)); !s.ok()) return s;
        } else if (pkt->stream_index == ai && !audioOver_) {
            if (Status s = OnAudio(std::move(pkt)); !s.ok()) return s;
        } else if (side_.Owns(pkt->stream_index)) {
            if (Status s = side_.Take(std::move(pkt)); !s.ok()) return s;
        }
    }
    return EndVideo();
}

Status ExactCutter::Splice() {
    // Decode times of the head end below K1's. Where the container keeps negative times
    // (MP4, MOV), the head's are moved down as a whole, and its edit list starts the
    // pictures at S; seeks there find their key frame by display time. Elsewhere (MPEG-TS,
    // AVI, FLV; Matroska keeps none) a decode time before S would move the whole output
    // later: the last ones are pressed below K1's, one tick of the output apart, and the
    // rest keep their own.
    const int64_t lastDts = head_.empty() ? AV_NOPTS_VALUE : head_.back().dts;
    const int64_t down = lastDts == AV_NOPTS_VALUE || lastDts < k1Dts_ ? 0 : lastDts - k1Dts_ + 1;
    const int64_t step = av_rescale_q_rnd(1, sink_.video->time_base, AV_TIME_BASE_Q, AV_ROUND_UP) + 1;
    int64_t bound = k1Dts_;  // the next packet's decode time
    for (auto h = head_.rbegin(); h != head_.rend(); ++h) {
        if (h->dts == AV_NOPTS_VALUE) continue;
        if (negativeTimes_)
            h->dts -= down;
        else if (h->dts >= bound)
            h->dts = bound - step;
        bound = h->dts;
    }
    for (HeadPacket& h : head_) {
        videoEnd_ = std::max(videoEnd_ == AV_NOPTS_VALUE ? h.pts : videoEnd_, h.pts + h.dur);
        if (Status s = EmitMicros(h.pkt.get(), sink_.video, h.pts, h.dts, h.dur); !s.ok()) return s;
    }
    if (Status s = BeginSideTracks(); !s.ok()) return s;
    if (Status s = ReleaseAudio(false); !s.ok()) return s;
    std::deque<PacketPtr> rest;
    for (size_t i = k1_; i < video_.size(); ++i) rest.push_back(std::move(video_[i]));
    video_.clear();
    while (!rest.empty() && !videoOver_) {
        if (Status s = OnCopiedVideo(std::move(rest.front())); !s.ok()) return s;
        rest.pop_front();
    }
    return FinishCopy();
}

// The whole segment decoded and encoded again with the matching encoder, sound copied.
Status ExactCutter::EncodeWhole() {
    whole_ = true;
    video_.clear();
    audio_.clear();
    ResetEncoding(S_);
    eof_ = false;
    side_.Reset();
    if (Status s = BeginSideTracks(); !s.ok()) return s;
    if (S_ > in_.startMicros()) side_.GatherShownAt(in_, S_);
    in_.SeekTo(S_);
    CodecContextPtr dec;
    if (Status s = OpenStreamDecoder(v_, true, dec); !s.ok()) return s;
    const int vi = in_.videoIndex();
    const int ai = a_ ? in_.audioIndex() : -1;
    const int64_t frameMicros =
        v_->avg_frame_rate.num > 0 ? av_rescale_q(1, av_inv_q(v_->avg_frame_rate), AV_TIME_BASE_Q) : 40000;
    // What the encoder gave so far goes out at once.
    const auto emitEncoded = [&]() -> Status {
        for (HeadPacket& h : head_) {
            videoEnd_ = std::max(videoEnd_ == AV_NOPTS_VALUE ? h.pts : videoEnd_, h.pts + h.dur);
            if (Status s = EmitMicros(h.pkt.get(), sink_.video, h.pts, h.dts, h.dur); !s.ok()) return s;
        }
        head_.clear();
        return {};
    };
    const auto finish = [&]() -> Status {
        avcodec_send_packet(dec.get(), nullptr);
        if (Status s = ReceiveAndOffer(dec.get(), E_); !s.ok()) return s;
        // The last picture shows one frame, up to E.
        if (waiting_) {
            if (Status s = Offer(nullptr, waitingAt_ + frameMicros, E_); !s.ok()) return s;
        }
        if (enc_) {
            if (Status s = DrainEncoder(true); !s.ok()) return s;
        }
        if (Status s = emitEncoded(); !s.ok()) return s;
        videoOver_ = true;
        return ReleaseAudio(true);
    };
    bool decoding = true;
    size_t late = 0;
    PacketPtr pkt;
    while (!Over()) {
        if (ctx_.cancelled()) return Status::Cancelled();
        if (!ReadOne(pkt)) break;
        if (pkt->stream_index == vi && decoding) {
            // Decoded after E, or (decode times unknown) shown after E, as many as the copy holds in a row.
            const int64_t pts = PtsMicros(pkt.get(), v_);
            late = pts != AV_NOPTS_VALUE && pts >= E_ ? late + 1 : 0;
            const bool over = pkt->dts != AV_NOPTS_VALUE ? Micros(pkt->dts, v_) >= E_ : late >= kMaxHeldPictures;
            avcodec_send_packet(dec.get(), pkt.get());
            if (Status s = ReceiveAndOffer(dec.get(), E_); !s.ok()) return s;
            if (Status s = emitEncoded(); !s.ok()) return s;
            if (over) {
                decoding = false;
                if (Status s = finish(); !s.ok()) return s;
            }
        } else if (pkt->stream_index == ai && !audioOver_) {
            if (Status s = OnAudio(std::move(pkt)); !s.ok()) return s;
        } else if (side_.Owns(pkt->stream_index)) {
            if (Status s = side_.Take(std::move(pkt)); !s.ok()) return s;
        }
    }
    if (decoding) return finish();
    videoOver_ = true;
    return ReleaseAudio(true);
}

// What the job says when it wrote nothing: the segment lies past the file's end, or holds
// nothing that could be cut.
Status ExactCutter::Outcome(Status s) const {
    if (!s.ok() || wroteSomething_) return s;
    const int64_t length = in_.durationMicros();
    if (length > 0 && S_ >= in_.startMicros() + length)
        return Status::Failed("the marked segment lies beyond the end of the file");
    return Status::Failed("nothing in the marked segment could be cut");
}

Status ExactCutter::Run() {
    if (S_ > in_.startMicros()) {
        side_.GatherShownAt(in_, S_);
        in_.SeekTo(S_);
    }
    const bool found = Scan();
    if (ctx_.cancelled()) return Status::Cancelled();
    if (found && k1Pts_ > S_) {
        if (Status s = EncodeHead(); !s.ok()) {
            if (s.cancelled()) return s;
            AddNotice(notice_, "the pictures before the first key frame could not be encoded again (" + s.reason() +
                                   "); the segment was encoded whole");
            return Outcome(EncodeWhole());
        }
        if (noDisplayTimes_) {
            AddNotice(notice_,
                      "its B-frames carry decode times where display times belong; the segment was encoded whole");
            return Outcome(EncodeWhole());
        }
        if (headFrames_ > 0 && !SeamHolds()) {
            AddNotice(notice_, "the spliced start did not decode as the source; the segment was encoded whole");
            return Outcome(EncodeWhole());
        }
    }
    if (!found) {  // no random-access picture before the end: nothing to copy
        AddNotice(notice_, (whyWhole_.empty() ? std::string("no key frame lies inside the segment") : whyWhole_) +
                               "; the segment was encoded whole");
        return Outcome(EncodeWhole());
    }
    return Outcome(Splice());
}

}  // namespace

bool CanCutExactly(const MediaInput& in, std::string& why) {
    const AVStream* v = in.video();
    if (!v) {
        why = "the file has no pictures";
        return false;
    }
    const AVCodecID id = v->codecpar->codec_id;
    if (id != AV_CODEC_ID_H264 && id != AV_CODEC_ID_HEVC && id != AV_CODEC_ID_MPEG4) {
        why = std::string("its video is ") + avcodec_get_name(id) + ", which the exact cut does not splice";
        return false;
    }
    // Interlaced H.264 gets a head in fields; pictures coded in one field order and shown in
    // the other, and interlaced HEVC or MPEG-4 Part 2, are not encoded so.
    const AVFieldOrder order = v->codecpar->field_order;
    if (order != AV_FIELD_UNKNOWN && order != AV_FIELD_PROGRESSIVE && !(Interlaced(v) && id == AV_CODEC_ID_H264)) {
        why = "its video is interlaced, which the exact cut does not splice";
        return false;
    }
    // AVI keeps no display times (and often packs a B-frame into the packet before it): the
    // pictures around the start cannot be placed.
    if (v->codecpar->video_delay > 0 && std::strstr(in.ctx()->iformat->name, "avi")) {
        why = "its video has B-frames in AVI, which keeps no display times";
        return false;
    }
    if (id == AV_CODEC_ID_MPEG4) {
        if (v->codecpar->format != AV_PIX_FMT_YUV420P) {
            why = "its MPEG-4 Part 2 video is not 4:2:0, which the exact cut does not splice";
            return false;
        }
        if (!HasVolHeader(Extradata(v))) {
            why = "its MPEG-4 Part 2 stream headers are not in the file's header";
            return false;
        }
        return true;
    }
    if (!avcodec_find_encoder_by_name(id == AV_CODEC_ID_HEVC ? "libx265" : "libx264")) {
        why = std::string("this FFmpeg has no ") + (id == AV_CODEC_ID_HEVC ? "libx265" : "libx264") + " encoder";
        return false;
    }
    return true;
}

void AllowInBandParameterSets(const MediaInput& in, OutputSink& sink) {
    if (!sink.video || !in.video()) return;
    const char* name = sink.ctx()->oformat->name;
    if (!std::strstr(name, "mp4") && !std::strstr(name, "mov")) return;
    const AVCodecID id = in.video()->codecpar->codec_id;
    if (id == AV_CODEC_ID_H264) sink.video->codecpar->codec_tag = MKTAG('a', 'v', 'c', '3');
    if (id == AV_CODEC_ID_HEVC) sink.video->codecpar->codec_tag = MKTAG('h', 'e', 'v', '1');
}

Status ExactCutInput(MediaInput& in, OutputSink& sink, const StageContext& ctx, std::string& notice) {
    // Sound alone is cut on its own frames by the direct cut: there is nothing to splice.
    if (!sink.video) return CopyInput(in, sink, ctx);
    std::string why;
    if (!CanCutExactly(in, why)) {
        AddNotice(notice, "exact cut not possible (" + why + "); cut directly from the key frame before the start");
        return CopyInput(in, sink, ctx);
    }
    ExactCutter cutter(in, sink, ctx, notice);
    return cutter.Run();
}

}  // namespace ulvane
