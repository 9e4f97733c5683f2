#include "engine/shown_pictures.h"

#include <algorithm>
#include <utility>

namespace ulvane {

ShownPictures::ShownPictures(int64_t from, int64_t frameMicros)
    : from_(from), frameMicros_(frameMicros > 0 ? frameMicros : 40000) {}

void ShownPictures::KnowStarts(std::vector<int64_t> starts) {
    starts_ = std::move(starts);
    std::sort(starts_.begin(), starts_.end());
}

void ShownPictures::Restart(int64_t from) {
    from_ = from;
    if (held_) av_frame_unref(held_.get());
    heldAt_ = AV_NOPTS_VALUE;
    lastAt_ = AV_NOPTS_VALUE;
}

bool ShownPictures::Feed(AVFrame* f, int64_t at, ShownFrame& out) {
    if (at == AV_NOPTS_VALUE) at = lastAt_ != AV_NOPTS_VALUE ? lastAt_ + frameMicros_ : from_;
    if (lastAt_ != AV_NOPTS_VALUE && at <= lastAt_) {
        av_frame_unref(f);
        return false;
    }
    lastAt_ = at;
    if (!starts_.empty()) {
        const auto next = std::upper_bound(starts_.begin(), starts_.end(), at);
        const int64_t end = next == starts_.end() ? kOpenEnd : *next;
        if (end <= from_) {
            av_frame_unref(f);
            return false;
        }
        out.frame = MakeFrame();
        if (!out.frame) return false;
        av_frame_move_ref(out.frame.get(), f);
        out.start = at;
        out.lasting = end - at;
        return true;
    }
    // The picture held back shows until this one starts; before `from`, it is passed over.
    bool came = false;
    if (heldAt_ != AV_NOPTS_VALUE && at > from_) {
        out.frame = std::exchange(held_, MakeFrame());
        out.start = heldAt_;
        out.lasting = at - heldAt_;
        came = true;
    }
    if (!held_) return came;
    av_frame_unref(held_.get());
    av_frame_move_ref(held_.get(), f);
    heldAt_ = at;
    return came;
}

bool ShownPictures::Finish(ShownFrame& out) {
    if (heldAt_ == AV_NOPTS_VALUE) return false;
    out.frame = std::exchange(held_, MakeFrame());
    out.start = heldAt_;
    out.lasting = frameMicros_;
    heldAt_ = AV_NOPTS_VALUE;
    return true;
}

bool StartsOnNextPicture(int64_t start, int64_t nextStart, int64_t frameMicros) {
    return nextStart > start && nextStart - start < std::max<int64_t>(1001, frameMicros / 2);
}

int64_t CutStartPicture(int64_t start, int64_t shownFrom, int64_t shownFor) {
    const int64_t next = shownFrom > start ? shownFrom : shownFrom + shownFor;
    return StartsOnNextPicture(start, next, shownFor) ? next : shownFrom;
}

}  // namespace ulvane
