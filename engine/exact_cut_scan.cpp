// The exact cut's scan (see exact_cut.h): reading from the key frame before the start, K0, up
// to the first random-access picture after it, K1, with the pictures K1 needs in hand.
#include <span>

#include "engine/exact_cut_internal.h"
#include "engine/mpeg4_visual.h"

namespace ulvane::exact {

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
        if (pts != AV_NOPTS_VALUE && pts <= S_ && (shownAtStart_ == AV_NOPTS_VALUE || pts > shownAtStart_))
            shownAtStart_ = pts;
        if (pts != AV_NOPTS_VALUE && beat_ == AV_NOPTS_VALUE) beat_ = pts;
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
    if (startSnapped_ || pts == AV_NOPTS_VALUE || !StartsOnNextPicture(S_, pts, frameMicros_)) return;
    startSnapped_ = true;
    S_ = pts;
    shift_ = ctx_.offsetMicros - S_;
}

bool ExactCutter::IsRandomAccess(const AVPacket* pkt) const {
    const std::span<const uint8_t> data{pkt->data, static_cast<size_t>(pkt->size)};
    if (mpeg4_) return FirstVopType(data) == VopType::I;
    return StartsAtRandomAccess(codec_, SplitNalUnits(data, format_.lengthSize));
}

}  // namespace ulvane::exact
