// The exact cut's copy: the copied pictures and sound from the first random-access picture
// after the start, and how the pictures end (see exact_cut.h).
#include <algorithm>
#include <vector>

#include "engine/exact_cut_internal.h"

namespace ulvane::exact {

Status ExactCutter::EmitMicros(AVPacket* pkt, AVStream* out, int64_t ptsMicros, int64_t dtsMicros, int64_t durMicros) {
    // A following input's sound runs on from the sound before (see StageContext::SoundShift).
    const bool sound = out == sink_.audio;
    if (sound && !soundShift_) soundShift_ = ctx_.SoundShift(shift_, ptsMicros, SoundPacketMicros(a_, pkt));
    const int64_t shift = sound ? *soundShift_ : shift_;
    if (sound && ptsMicros != AV_NOPTS_VALUE) sink_.RunSoundOn(ptsMicros + shift, CodedSoundMicros(a_, pkt), durMicros);
    const auto to = [&](int64_t us) {
        return us == AV_NOPTS_VALUE ? us : av_rescale_q(us + shift, AV_TIME_BASE_Q, out->time_base);
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
        // The frame that holds S starts the sound where the container keeps negative times,
        // unless the sound runs on from an input before: then the first frame from S on.
        const bool holdStart = negativeTimes_ && !ctx_.follows;
        const bool inside = t != AV_NOPTS_VALUE && (holdStart ? t + Micros(p->duration, a_) > S_ : t >= S_);
        if (!inside) {
            beforeStart_ = std::move(audio_.front());
            audio_.pop_front();
            continue;
        }
        if (!soundShift_) {
            const int choice = ctx_.SoundSeamChoice(shift_, t, SoundPacketMicros(a_, p));
            if (choice > 0) {  // the next frame starts the sound; this one is the frame before it now
                beforeStart_ = std::move(audio_.front());
                audio_.pop_front();
                continue;
            }
            if (choice < 0 && beforeStart_) {
                const PacketPtr early = std::move(beforeStart_);
                if (Status s = EmitCopied(early.get()); !s.ok()) return s;
            }
        }
        if (Status s = EmitCopied(p); !s.ok()) return s;
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
        // After the head, or after another clip (whose pictures may have been encoded, with
        // parameter sets of their own), K1 starts afresh.
        if (headFrames_ > 0 || ctx_.offsetMicros > 0) {
            PacketPtr first = Spliced(pkt.get());
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

}  // namespace ulvane::exact
