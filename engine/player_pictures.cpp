// The player's reading thread and picture thread: packets read ahead into the queues, and
// pictures decoded, fitted for the box and queued in the order they show. The reader serves
// the newest request: forwards it feeds both decoders; backwards it decodes for itself, a
// group of pictures at a time (see BackwardLoop).
#include <algorithm>

#include "engine/decode_loop.h"
#include "engine/player_internal.h"
#include "engine/shown_fit.h"
#include "engine/shown_pictures.h"

namespace ulvane {

namespace {

// A millisecond early, as the grabber seeks: FFmpeg rounds a seek's time to the stream's
// ticks, which can carry a time just before a key frame onto it.
constexpr int64_t kSeekEarly = 1000;
// Reading stops this far past the end of the part played, enough for reordered pictures.
constexpr int64_t kReadPastEnd = 1000000;
// Read this far past the start without a picture decoded, playback goes on without one.
constexpr int64_t kNoPicturesYet = 3000000;
// Forwards, the bytes of the pictures queued ahead (at least six pictures).
constexpr size_t kForwardBytes = 32u << 20;
// Backwards, the bytes of the pictures of one group kept fitted at once.
constexpr size_t kBackwardBytes = 64u << 20;

}  // namespace

void Player::State::ReaderThread() {
    PlayRun r;
    while (requests.Pop(r)) {
        // What older requests queued is of no use to this one.
        const bool backwards = r.speed < 0;
        packets.Flush(r.serial, !r.idle && info.hasPictures && !backwards, !r.idle && r.soundStream >= 0);
        queue.Flush(r.serial, backwards ? 2 * BackwardGroup() : ForwardQueue());
        sounds.Flush(r.serial);
        if (r.idle || latest != r.serial) continue;
        if (!backwards)
            ReadLoop(r);
        else if (info.hasPictures)
            BackwardLoop(r);  // sound alone goes backwards on the clock only: nothing is heard backwards
    }
}

void Player::State::ReadLoop(const PlayRun& run) {
    const int64_t base = in->startMicros();
    const int vi = info.hasPictures ? in->videoIndex() : -1;
    const int si = run.soundStream;
    if (vi < 0 && si < 0) return;
    PacketPtr pkt = MakePacket();
    // Each stretch read from its own seek, its packets followed by an end for each decoder,
    // which drains there and goes on with the next stretch's packets.
    for (const PlaySpan& span : run.spans) {
        in->SeekTo(std::max(base + span.from - kSeekEarly, base));
        bool past[2] = {vi < 0, si < 0};
        const int64_t end = span.to;
        while (latest == run.serial && in->ReadPacket(pkt.get()) >= 0) {
            const int index = pkt->stream_index;
            if (index != vi && index != si) {
                av_packet_unref(pkt.get());
                continue;
            }
            const auto kind = index == vi ? PacketQueues::kPictures : PacketQueues::kSound;
            const AVRational tb = in->ctx()->streams[index]->time_base;
            const int64_t ts = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
            if (end >= 0 && ts != AV_NOPTS_VALUE && ToMicros(ts, tb) - base > end + kReadPastEnd) {
                past[kind] = true;
                av_packet_unref(pkt.get());
                if (past[0] && past[1]) break;
                continue;
            }
            if (!packets.Push(run.serial, kind, pkt.get(), ToMicros(std::max<int64_t>(pkt->duration, 0), tb))) return;
        }
        av_packet_unref(pkt.get());
        if (latest != run.serial) return;
        if (vi >= 0) packets.PushEnd(run.serial, PacketQueues::kPictures);
        if (si >= 0) packets.PushEnd(run.serial, PacketQueues::kSound);
    }
    // Nothing to read (a run from the timeline's end): the decoders learn it from the ends.
    if (run.spans.empty()) {
        if (vi >= 0) packets.PushEnd(run.serial, PacketQueues::kPictures);
        if (si >= 0) packets.PushEnd(run.serial, PacketQueues::kSound);
    }
}

void Player::State::PictureThread() {
    uint64_t serial = 0;
    PlayRun r;
    while (packets.NextRun(PacketQueues::kPictures, serial, serial)) {
        if (!CurrentRun(serial, r)) continue;
        // Whatever the decoder holds belongs to an older request.
        avcodec_flush_buffers(in->videoDecoder());
        PictureLoop(r);
    }
}

void Player::State::MarkPrimed(const PlayRun& run, int64_t at) {
    std::lock_guard lock(runLock);
    if (run.serial != statusSerial || primed) return;
    primed = true;
    // The system clock starts with the first picture; the sound clock with the first pull.
    if (ClockLeads() && playing) clock.Run(at >= 0 ? at : run.from, run.speed);
}

void Player::State::PicturesDone(const PlayRun& run) {
    Report(run.serial, [&] { picturesDone = true; });
    MarkPrimed(run);  // nothing to wait for any more
}

bool Player::State::Fit(PictureFitter& fit, const PlaySpan& span, const AVFrame& f, int64_t at, int64_t lasting,
                        PlayerPicture& p) {
    const uint64_t b = box;
    const int bw = static_cast<int>(b >> 32), bh = static_cast<int>(b & 0xffffffffu);
    int w = 0, h = 0;
    if (!FitDecodedPicture(fit.scaler, f, in->ctx(), in->video(), bw, bh, AV_PIX_FMT_RGB24, false, p.picture.rgb, w, h,
                           fit.turned))
        return false;
    p.picture.width = w;
    p.picture.height = h;
    p.sourceMicros = at;
    p.clip = span.clip;
    // A clip's picture shows on its timeline only within the clip: the one shown at its
    // start from there, the last one up to its end.
    int64_t shownFrom = at, shownTo = at + lasting;
    if (span.clip >= 0) {
        shownFrom = std::max(shownFrom, span.clipStart);
        shownTo = std::min(shownTo, span.clipEnd);
    }
    p.fromMicros = shownFrom + span.offset;
    p.forMicros = std::max<int64_t>(shownTo - shownFrom, 1);
    return true;
}

bool Player::State::Hand(const PlayRun& run, const PlaySpan& span, const AVFrame& f, int64_t at, int64_t lasting) {
    const int64_t ends = span.offset + (span.clip >= 0 ? std::min(at + lasting, span.clipEnd) : at + lasting);
    if (!Report(run.serial, [&] { lastEnd = ends; })) return false;
    // Late already: not worth fitting. The first picture never is: the clock waits for it.
    if (Primed() && clock.running() && ends <= clock.Now()) {
        ++dropped;
        return true;
    }
    PlayerPicture p;
    if (!Fit(fitter, span, f, at, lasting, p)) return true;  // a picture that cannot be converted is skipped
    if (!queue.Push(run.serial, std::move(p))) return false;
    MarkPrimed(run);
    return true;
}

void Player::State::PictureLoop(const PlayRun& run) {
    for (size_t k = 0; k < run.spans.size(); ++k)
        if (!PictureSpan(run, run.spans[k], k + 1 == run.spans.size())) return;
    if (latest != run.serial) return;
    PicturesDone(run);
}

bool Player::State::PictureSpan(const PlayRun& run, const PlaySpan& span, bool last) {
    AVCodecContext* dec = in->videoDecoder();
    const AVStream* v = in->video();
    const int64_t base = in->startMicros();
    const int64_t from = span.from, end = span.to;
    const auto stop = [&] { return latest != run.serial; };
    // Pictures come in display order, each handed out once the next one tells how long it
    // shows; those that end before the start are passed over, as the grabber passes them.
    ShownPictures shown(from, frameMicros);
    ShownFrame out;
    DecodeLoop loop(dec);
    const DecodeEnd how = loop.Run(
        [&](AVPacket* pkt) {
            bool atEnd = false;
            if (stop() || !packets.Pop(PacketQueues::kPictures, run.serial, pkt, atEnd))
                return atEnd ? AVERROR_EOF : AVERROR_EXIT;  // superseded, or the player closes
            // On the way from the key frame to the start, pictures that show well before it
            // and that no other picture refers to need not be decoded: a seek's first picture
            // comes sooner, and the pictures from the start on decode the same.
            const int64_t shows = pkt->pts == AV_NOPTS_VALUE ? AV_NOPTS_VALUE : ToMicros(pkt->pts, v->time_base) - base;
            // Faster than 2x most pictures are late anyway: only the referenced ones decode.
            const bool early = shows != AV_NOPTS_VALUE && shows < from - 2 * frameMicros;
            dec->skip_frame = early || run.speed > 2 ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
            // Pictures that do not decode (a damaged stream) must not hold the sound back:
            // seconds past the start without one, the clock goes without them.
            if (shows != AV_NOPTS_VALUE && shows > from + kNoPicturesYet && !Primed()) MarkPrimed(run);
            return 0;
        },
        [&](AVFrame* f) {
            const int64_t bet = f->best_effort_timestamp;
            if (!shown.Feed(f, bet == AV_NOPTS_VALUE ? AV_NOPTS_VALUE : ToMicros(bet, v->time_base) - base, out))
                return FrameVerdict::kGoOn;
            if (end >= 0 && out.start >= end) return FrameVerdict::kStop;
            return Hand(run, span, *out.frame, out.start, out.lasting) ? FrameVerdict::kGoOn : FrameVerdict::kStop;
        });
    if (stop() || how.kind == DecodeEnd::kSourceEnded) return false;
    if (how.drained() && shown.Finish(out) && (end < 0 || out.start < end) &&
        !Hand(run, span, *out.frame, out.start, out.lasting))
        return false;
    if (stop()) return false;
    // Done before the stretch's packets were: the next stretch starts after their end, with
    // nothing of this one held in the decoder.
    if (!how.drained() && !last) {
        if (!packets.SkipToEnd(PacketQueues::kPictures, run.serial)) return false;
        avcodec_flush_buffers(dec);
    }
    return true;
}

size_t Player::State::ForwardQueue() const {
    const uint64_t b = box;
    const size_t one = std::max<size_t>(1, (b >> 32) * (b & 0xffffffffu) * 3);
    return std::clamp<size_t>(kForwardBytes / one, PictureQueue::kCapacity, 15);
}

size_t Player::State::BackwardGroup() const {
    const uint64_t b = box;
    const size_t one = std::max<size_t>(1, (b >> 32) * (b & 0xffffffffu) * 3);
    return std::clamp<size_t>(kBackwardBytes / one, 8, 300);
}

void Player::State::BackwardLoop(const PlayRun& run) {
    // A decoder of the reader's own: the picture thread's may still be busy with an older request.
    if (!backDecoder && !OpenStreamDecoder(in->video(), true, backDecoder).ok()) return;
    AVCodecContext* dec = backDecoder.get();
    const auto stop = [&] { return latest != run.serial; };
    const AVStream* v = in->video();
    const int vi = in->videoIndex();
    const int64_t base = in->startMicros();
    ShownPictures shown(INT64_MIN, frameMicros);
    DecodeLoop loop(dec);
    // The stretches last first. In each, the picture shown at its last moment first, then
    // those before it, a group at a time: seek to the key frame before the target, decode on
    // to the target keeping the last pictures fitted, and queue them last first. The next
    // target is just before the earliest kept, until the stretch's start.
    for (auto span = run.spans.rbegin(); span != run.spans.rend() && !stop(); ++span) {
        int64_t target = span->to - 1;
        while (!stop()) {
            const size_t keep = BackwardGroup();
            in->SeekTo(std::max(base + target - kSeekEarly, base));
            avcodec_flush_buffers(dec);
            std::deque<PlayerPicture> group;
            const auto keepFitted = [&](const ShownFrame& p) {
                if (p.end() <= span->from) return;  // before the stretch
                PlayerPicture fitted;
                if (Fit(backFitter, *span, *p.frame, p.start, p.lasting, fitted)) group.push_back(std::move(fitted));
                if (group.size() > keep) group.pop_front();
            };
            bool first = true;
            const DecodeEnd how = loop.Run(
                [&](AVPacket* pkt) {
                    if (stop()) return AVERROR_EXIT;
                    return ReadStreamPacket(*in, vi, pkt) < 0 ? AVERROR_EOF : 0;
                },
                [&](AVFrame* f) {
                    const int64_t bet = f->best_effort_timestamp;
                    const int64_t t = bet != AV_NOPTS_VALUE ? ToMicros(bet, v->time_base) - base
                                      : first               ? target
                                                            : AV_NOPTS_VALUE;
                    first = false;
                    ShownFrame out;
                    if (!shown.Feed(f, t, out)) return FrameVerdict::kGoOn;
                    keepFitted(out);
                    return out.end() > target ? FrameVerdict::kStop : FrameVerdict::kGoOn;
                });
            // The file's last picture, when it is the target's.
            if (ShownFrame last; how.drained() && shown.Finish(last) && last.start <= target) keepFitted(last);
            shown.Restart(INT64_MIN);
            if (stop()) return;
            if (group.empty()) break;
            const int64_t earliest = group.front().sourceMicros;
            while (!group.empty()) {
                // Backwards a picture shows from its end down to its start: the clock starts at
                // the end of the first, which shows whole.
                const int64_t firstEnd = group.back().fromMicros + group.back().forMicros;
                const int64_t start = group.back().fromMicros;
                if (!Report(run.serial, [&] { lastEnd = start; })) return;
                if (!queue.Push(run.serial, std::move(group.back()))) return;
                group.pop_back();
                MarkPrimed(run, firstEnd);
            }
            if (earliest <= std::max<int64_t>(span->from, 0)) break;
            target = earliest - 1;
        }
    }
    if (stop()) return;
    PicturesDone(run);
}

}  // namespace ulvane
