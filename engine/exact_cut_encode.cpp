// The exact cut's pictures encoded again: the head before the first copied picture, the tail
// after the last, or the whole segment; and the check that the head joins the copy.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <span>
#include <thread>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

#include "engine/exact_cut_internal.h"
#include "engine/mpeg4_visual.h"

namespace ulvane::exact {

namespace {

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
    size_t next = 0;
    DecodeLoop loop(dec);
    loop.Run([&](AVPacket* p) { return next < packets.size() ? av_packet_ref(p, packets[next++]) : AVERROR_EOF; },
             [&](AVFrame* f) {
                 if (count++ < keepFrom) return FrameVerdict::kGoOn;
                 FramePtr kept = MakeFrame();
                 if (!kept) return FrameVerdict::kFail;
                 av_frame_move_ref(kept.get(), f);
                 frames.push_back(std::move(kept));
                 return FrameVerdict::kGoOn;
             });
    return frames;
}

}  // namespace

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
            // A head is short: two frame threads, which a merged export's next head shares
            // the machine with, and the same bytes on any machine. A whole segment takes the
            // machine's threads, and a short lookahead.
            (whole_ ? ":sync-lookahead=0:rc-lookahead=5:sps-id=" : ":threads=2:sync-lookahead=0:sps-id=") +
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

// Pictures come from the decoder in display order, and shown_ says when each shows: at once
// where the times of every picture are known (the head's packets are all read), else once the
// next picture tells. Only what shows within [S, until) is encoded.
Status ExactCutter::EncodeShown(const ShownFrame& p, int64_t until) {
    const int64_t end = std::min(p.end(), until);
    if (p.start >= until || end <= encodeFrom_) return {};
    const int64_t from = std::max(p.start, encodeFrom_);
    return EncodeFrame(p.frame.get(), from, end - from);
}

FrameHandler ExactCutter::Offering(int64_t until, Status& failed) {
    return [this, until, &failed](AVFrame* f) {
        // A picture carries its own packet's time. Display order with times that fall back
        // means the file stored decode times in their place: where a picture shows is then
        // only the decoder's guess, and a head would not join the copied part's guesses.
        if (f->pts != AV_NOPTS_VALUE) {
            if (lastDecodedPts_ != AV_NOPTS_VALUE && f->pts <= lastDecodedPts_) noDisplayTimes_ = true;
            lastDecodedPts_ = f->pts;
        }
        if (f->best_effort_timestamp == AV_NOPTS_VALUE) return FrameVerdict::kGoOn;
        ShownFrame p;
        if (!shown_.Feed(f, Micros(f->best_effort_timestamp, v_), p)) return FrameVerdict::kGoOn;
        failed = EncodeShown(p, until);
        return failed.ok() ? FrameVerdict::kGoOn : FrameVerdict::kFail;
    };
}

Status ExactCutter::DecodeAndOffer(DecodeLoop& loop, const PacketSource& packets, int64_t until) {
    Status failed;
    const DecodeEnd end = loop.Run(packets, Offering(until, failed));
    if (ctx_.cancelled()) return Status::Cancelled();
    if (end.kind == DecodeEnd::kFailed) return failed.ok() ? Status::Failed("out of memory") : failed;
    return {};
}

// Decodes K0 .. K1 and K1's leading pictures; encodes the pictures shown from S up to K1.
Status ExactCutter::EncodeHead() {
    encodeFrom_ = S_;
    shown_ = ShownPictures(S_, frameMicros_);
    int shown = 1;  // the picture showing at S, and those that follow it up to K1
    FieldPairs fields(v_);
    std::vector<bool> secondField(video_.size());
    std::vector<int64_t> starts;
    for (size_t i = 0; i < copyFrom_ && i < video_.size(); ++i) {
        const int64_t pts = PtsMicros(video_[i].get(), v_);
        secondField[i] = fields.SecondField(video_[i].get());
        if (secondField[i] || pts == AV_NOPTS_VALUE) continue;
        starts.push_back(pts);
        if (pts > S_ && pts < k1Pts_) ++shown;
    }
    shown_.KnowStarts(std::move(starts));
    idrAt_ = shown > 2 * kSeamHeadPictures ? shown - kSeamHeadPictures : -1;
    CodecContextPtr dec;
    if (Status s = OpenStreamDecoder(v_, true, dec); !s.ok()) return s;
    // Reordered pictures whose packets carry one time for both may have decode times for
    // display times: every picture is then decoded, so that the order they come out in shows it.
    const bool mayLackDisplayTimes = v_->codecpar->video_delay > 0 && !timesDiffer_;
    size_t i = 0;
    DecodeLoop loop(dec.get());
    const auto packets = [&](AVPacket* p) {
        if (ctx_.cancelled()) return AVERROR_EXIT;
        if (i >= copyFrom_ || i >= video_.size()) return AVERROR_EOF;
        // Pictures shown well before S that no other picture refers to need no decoding. A
        // second field is decoded or not as its first.
        const int64_t pts = PtsMicros(video_[i].get(), v_);
        const bool skippable = !mayLackDisplayTimes && pts != AV_NOPTS_VALUE && pts + 100000 < S_;
        if (!secondField[i]) dec->skip_frame = skippable ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
        int rc = 0;
        if (i < k1_) {  // only K1 and what follows it are needed again
            av_packet_move_ref(p, video_[i].get());
            video_[i].reset();
        } else {
            rc = av_packet_ref(p, video_[i].get());
        }
        ++i;
        return rc;
    };
    // The last picture before K1 shows until K1, the next start known.
    if (Status s = DecodeAndOffer(loop, packets, k1Pts_); !s.ok()) return s;
    if (!enc_) return {};
    if (Status s = DrainEncoder(true); !s.ok()) return s;
    enc_.reset();  // its buffers are not needed for the copy
    return {};
}

// Decodes the head and the first copied pictures as a player would, and the same copied
// pictures alone from the source: the pictures after K1 must be as many and the same.
bool ExactCutter::SeamHolds() {
    CodecContextPtr spliced, alone;
    // Slice threads: frame threads would allocate pictures in memory arenas of their own, which
    // the tail's encoding at the end could not use again (20 MB more at 1080p).
    if (!OpenStreamDecoder(v_, false, spliced).ok() || !OpenStreamDecoder(v_, false, alone).ok()) return false;
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
            withSets.push_back(Spliced(copied[0].get()));
            if (!withSets.back()) return false;
            splicedIn.push_back(withSets.back().get());
        } else {
            splicedIn.push_back(copied[i].get());
        }
    }
    // Only the pictures after the head are kept: a frame of 1080p is 3 MB.
    // The two decodes share nothing but the packets they read: the source's on a thread of
    // its own while this one decodes the splice.
    size_t splicedCount = 0, aloneCount = 0;
    std::vector<FramePtr> b;
    std::thread aloneDecode([&] { b = DecodeAll(alone.get(), aloneIn, 0, aloneCount); });
    const std::vector<FramePtr> a = DecodeAll(spliced.get(), splicedIn, headShown, splicedCount);
    aloneDecode.join();
    spliced.reset();
    alone.reset();
    if (b.empty() || splicedCount != headShown + b.size() || a.size() != b.size()) return false;
    for (size_t i = 0; i < b.size(); ++i)
        if (!SameFrame(a[i].get(), b[i].get())) return false;
    return true;
}

void ExactCutter::ResetEncoding(int64_t from) {
    enc_.reset();
    head_.clear();
    sentTimes_.clear();
    lastSentPts_ = AV_NOPTS_VALUE;
    shown_ = ShownPictures(from, frameMicros_);
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
    std::vector<int64_t> starts;
    for (const Pending& p : pending_) {
        if (p.second || p.pts == AV_NOPTS_VALUE) continue;
        starts.push_back(p.pts);
        if (p.pts >= from && p.pts < E_) ++expected;
    }
    shown_.KnowStarts(std::move(starts));
    CodecContextPtr dec;
    if (Status s = OpenStreamDecoder(v_, true, dec); !s.ok()) return s;
    // As in the head: pictures shown well before the first one encoded that no other picture
    // refers to need no decoding, a second field going as its first.
    const bool mayLackDisplayTimes = v_->codecpar->video_delay > 0 && !timesDiffer_;
    size_t i = 0;
    DecodeLoop loop(dec.get());
    const auto packets = [&](AVPacket* pkt) {
        if (ctx_.cancelled()) return AVERROR_EXIT;
        if (i >= pending_.size()) return AVERROR_EOF;
        const Pending& p = pending_[i++];
        const bool skippable = !mayLackDisplayTimes && p.pts != AV_NOPTS_VALUE && p.pts + 100000 < from;
        if (!p.second) dec->skip_frame = skippable ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
        return av_packet_ref(pkt, p.pkt.get());
    };
    if (Status s = DecodeAndOffer(loop, packets, E_); !s.ok()) return s;
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
    DecodeLoop loop(dec.get());
    Status failed;
    const FrameHandler offer = Offering(E_, failed);
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
        if (loop.Send(nullptr, offer) == FrameVerdict::kFail) return failed;
        // The last picture shows one frame, up to E.
        if (ShownFrame last; shown_.Finish(last)) {
            if (Status s = EncodeShown(last, E_); !s.ok()) return s;
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
            if (loop.Send(pkt.get(), offer) == FrameVerdict::kFail) return failed;
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

}  // namespace ulvane::exact
