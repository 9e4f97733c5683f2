// The main sound read in parts (see sound_parts.h).
#include "engine/sound_parts.h"

#include "engine/decode_loop.h"

namespace ulvane {

namespace {

constexpr int kParts = 50;                     // a part is about a fiftieth of the file
constexpr int64_t kShortestPart = 10'000'000;  // shorter files are read in one part
constexpr int64_t kLeadIn = 500'000;           // decoded before a part's start, not counted

}  // namespace

Status SoundReader::Open(const std::string& path, int64_t startMicros) {
    if (Status s = MediaInput::Open(path, in_, cancel_); !s.ok()) return s;
    if (!in_->audio()) return Status::Failed("the file has no sound");
    for (unsigned i = 0; i < in_->ctx()->nb_streams; ++i)
        if (static_cast<int>(i) != in_->audioIndex()) in_->ctx()->streams[i]->discard = AVDISCARD_ALL;
    if (Status s = OpenStreamDecoder(in_->audio(), true, dec_); !s.ok()) return s;
    start_ = startMicros == AV_NOPTS_VALUE ? in_->startMicros() : startMicros;
    return {};
}

Status SoundReader::Decode(int64_t from, int64_t to, const std::function<void(const AVFrame&, int64_t)>& onFrame,
                           const std::function<void(int64_t)>& frameDone) {
    AVStream* a = in_->audio();
    if (from != kFromStart) {
        const int64_t at = FromMicros(start_ + std::max<int64_t>(from - kLeadIn, 0), a->time_base);
        if (av_seek_frame(in_->ctx(), in_->audioIndex(), at, AVSEEK_FLAG_BACKWARD) < 0 &&
            av_seek_frame(in_->ctx(), in_->audioIndex(), at, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_ANY) < 0)
            return Status::Failed("cannot seek in the sound");
        avcodec_flush_buffers(dec_.get());
    }
    next_ = AV_NOPTS_VALUE;
    DecodeLoop loop(dec_.get());
    const DecodeEnd end = loop.Run(
        [&](AVPacket* pkt) { return Cancelled() ? AVERROR_EXIT : ReadStreamPacket(*in_, in_->audioIndex(), pkt); },
        [&](AVFrame* f) {
            const int64_t t = FrameTime(*f, a->time_base);
            if (t >= to) return FrameVerdict::kStop;
            if (t >= from) onFrame(*f, t);
            frameDone(t);
            return FrameVerdict::kGoOn;
        });
    if (Cancelled()) return Status::Cancelled();
    if (end.kind == DecodeEnd::kSourceEnded) return Status::Failed("cannot read the file: " + AvErrorText(end.error));
    return {};
}

// The frame's time from the file's start; a frame without one follows the one before.
int64_t SoundReader::FrameTime(const AVFrame& f, AVRational tb) {
    const int64_t ts = f.best_effort_timestamp;
    const int64_t t = ts != AV_NOPTS_VALUE ? ToMicros(ts, tb) - start_ : (next_ != AV_NOPTS_VALUE ? next_ : 0);
    next_ = t + (f.sample_rate > 0 ? av_rescale(f.nb_samples, 1'000'000, f.sample_rate) : 0);
    return t;
}

int SoundPartCount(MediaInput& in) {
    const int64_t duration = in.durationMicros();
    const AVFormatContext* ctx = in.ctx();
    const bool seekable = duration >= 2 * kShortestPart && ctx->pb && (ctx->pb->seekable & AVIO_SEEKABLE_NORMAL) &&
                          !(ctx->iformat->flags & (AVFMT_TS_DISCONT | AVFMT_NOTIMESTAMPS)) && in.audio() &&
                          avformat_index_get_entries_count(in.audio()) > 1;
    return seekable ? static_cast<int>(std::min<int64_t>(kParts, duration / kShortestPart)) : 1;
}

std::pair<int64_t, int64_t> SoundPartRange(int p, int parts, int64_t durationMicros, int64_t grainMicros) {
    const int64_t from =
        p == 0 ? SoundReader::kFromStart : FloorDiv(durationMicros * p / parts, grainMicros) * grainMicros;
    const int64_t to =
        p == parts - 1 ? SoundReader::kToEnd : FloorDiv(durationMicros * (p + 1) / parts, grainMicros) * grainMicros;
    return {from, to};
}

}  // namespace ulvane
