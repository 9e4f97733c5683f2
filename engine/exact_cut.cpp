// The exact direct cut (see exact_cut.h): the run and the splice of the head and the copy.
#include <algorithm>
#include <cstring>
#include <span>

#include "engine/exact_cut_internal.h"
#include "engine/mpeg4_visual.h"
#include "engine/remuxer.h"

namespace ulvane {

namespace exact {

PacketPtr ExactCutter::Spliced(const AVPacket* pkt) const {
    const std::span<const uint8_t> data{pkt->data, static_cast<size_t>(pkt->size)};
    if (mpeg4_) {
        if (HasVolHeader(data)) return PacketWith(data, pkt);
        const std::span<const uint8_t> headers = Extradata(v_);
        std::vector<uint8_t> bytes(headers.begin(), headers.end());
        bytes.insert(bytes.end(), data.begin(), data.end());
        return PacketWith(bytes, pkt);
    }
    std::vector<NalUnit> units = WithParameterSets(codec_, SplitNalUnits(data, format_.lengthSize), sourceSets_);
    return PacketWith(JoinNalUnits(AsBrokenLink(codec_, std::move(units)), format_.lengthSize), pkt);
}

Status ExactCutter::BeginSideTracks() {
    if (Status s = side_.Limit(E_, false); !s.ok()) return s;
    return side_.Begin(S_, shift_, negativeTimes_);
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

// What the job says when it wrote nothing: the segment lies past the file's end, or holds
// nothing that could be cut.
Status ExactCutter::Outcome(Status s) const {
    if (!s.ok() || wroteSomething_) return s;
    const int64_t length = in_.durationMicros();
    if (length > 0 && S_ >= in_.startMicros() + length)
        return Status::Failed("the marked segment lies beyond the end of the file");
    return Status::Failed("nothing in the marked segment could be cut");
}

Status ExactCutter::Prepare() {
    if (S_ > in_.startMicros()) {
        side_.GatherShownAt(in_, S_);
        in_.SeekTo(S_);
    }
    const bool found = Scan();
    if (ctx_.cancelled()) return Status::Cancelled();
    // After another input, the picture on screen at S starts whole where the pictures before
    // end: a part of a picture there would leave the output's pictures off their beat.
    if (ctx_.follows && shownAtStart_ != AV_NOPTS_VALUE && shownAtStart_ < S_) S_ = shownAtStart_;
    const int64_t beat = shownAtStart_ != AV_NOPTS_VALUE ? shownAtStart_ : beat_ != AV_NOPTS_VALUE ? beat_ : S_;
    // Alone, an end less than half a picture's time after a picture starts ends before that
    // picture, as a start that near one starts on it: no cut ends with a picture shown for less
    // than half its time (in Matroska, whose pictures may start 21 ms into each 40 ms, 4.00 to
    // 4.08 s is the pictures of 3.981 and 4.021 s, not a third one for 19 ms). Beside another
    // input the pictures at the seam show whole instead.
    if (!ctx_.follows && !ctx_.followed && frameMicros_ > 0 && E_ > beat) {
        const AVRational picture = av_inv_q(FrameRate());
        const int64_t n = av_rescale_q_rnd(E_ - beat, AV_TIME_BASE_Q, picture, AV_ROUND_DOWN);
        const int64_t last = beat + av_rescale_q(n, picture, AV_TIME_BASE_Q);
        if (last > S_ && E_ - last < frameMicros_ / 2) E_ = last;
    }
    // Before another input, the last picture likewise shows whole: E moves to where it ends.
    if (ctx_.followed && frameMicros_ > 0 && E_ > beat)
        E_ = beat + (E_ - beat + frameMicros_ - 1) / frameMicros_ * frameMicros_;
    if (found && k1Pts_ > S_) {
        if (Status s = EncodeHead(); !s.ok()) {
            if (s.cancelled()) return s;
            AddNotice(notice_, "the pictures before the first key frame could not be encoded again (" + s.reason() +
                                   "); the segment was encoded whole");
            encodeWhole_ = true;
            return {};
        }
        if (noDisplayTimes_) {
            AddNotice(notice_,
                      "its B-frames carry decode times where display times belong; the segment was encoded whole");
            encodeWhole_ = true;
            return {};
        }
        if (headFrames_ > 0 && !SeamHolds()) {
            AddNotice(notice_, "the spliced start did not decode as the source; the segment was encoded whole");
            encodeWhole_ = true;
            return {};
        }
    }
    if (!found) {  // no random-access picture before the end: nothing to copy
        AddNotice(notice_, (whyWhole_.empty() ? std::string("no key frame lies inside the segment") : whyWhole_) +
                               "; the segment was encoded whole");
        encodeWhole_ = true;
    }
    return {};
}

Status ExactCutter::Complete() {
    // Where the output places this input is known now (Prepare may have run before the input
    // ahead of it was over).
    shift_ = ctx_.offsetMicros - S_;
    return Outcome(encodeWhole_ ? EncodeWhole() : Splice());
}

}  // namespace exact

using exact::ExactCutter;
using exact::Interlaced;

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

PreparedExactCut::PreparedExactCut(MediaInput& in, OutputSink& sink, const StageContext& ctx, std::string& notice)
    : cutter_(std::make_unique<ExactCutter>(in, sink, ctx, notice)) {}

PreparedExactCut::~PreparedExactCut() = default;

Status PreparedExactCut::Prepare() {
    return cutter_->Prepare();
}

Status PreparedExactCut::Complete() {
    return cutter_->Complete();
}

}  // namespace ulvane
