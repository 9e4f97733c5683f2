// The player's sound path: the chosen track decoded and resampled to the device's format
// on the sound thread, for the newest request, queued with the source time of each run of
// samples; and the device's pull (ReadSound), which hands the samples out and moves the
// sound clock.
#include <algorithm>
#include <cstring>

#include "engine/decode_loop.h"
#include "engine/player_internal.h"

namespace ulvane {

namespace {

// Sound whose time differs from where the samples before end by more than this is placed
// by its time (silence over a gap, the overlap cut); less is taken as continuous.
constexpr int64_t kSoundSlack = 40000;
// Silence is queued in pieces no longer than this, so a long gap never holds much memory.
constexpr int64_t kSilencePiece = 100000;

// Sample frames in `micros` at `rate`: 0.5 s at 48000 Hz is 24000 frames.
int64_t FramesIn(int64_t micros, int rate) {
    return av_rescale(micros, rate, 1000000);
}
int64_t MicrosOf(int64_t frames, int rate) {
    return av_rescale(frames, 1000000, rate);
}

}  // namespace

void Player::State::SoundThread() {
    uint64_t serial = 0;
    PlayRun r;
    while (packets.NextRun(PacketQueues::kSound, serial, serial)) {
        if (!CurrentRun(serial, r)) continue;
        soundDecoder = nullptr;
        for (size_t i = 0; i < info.soundTracks.size() && i < soundDecoders.size(); ++i)
            if (info.soundTracks[i].stream == r.soundStream) soundDecoder = soundDecoders[i].get();
        if (!soundDecoder) {
            Report(r.serial, [&] { soundDone = true; });
            continue;
        }
        // Whatever the decoder holds belongs to an older request.
        avcodec_flush_buffers(soundDecoder);
        resampler.reset();  // made again for the first frame decoded
        SoundLoop(r);
    }
}

bool Player::State::Place(const PlayRun& run, const PlaySpan& span, int64_t at, std::vector<int16_t>&& samples,
                          int64_t& written, bool& started) {
    const int rate = run.rate;
    const size_t ch = static_cast<size_t>(run.channels);
    const int64_t from = span.from;
    const auto stop = [&] { return latest != run.serial; };
    // Queued with its time on the timeline.
    const auto queue = [&](int64_t startAt, std::vector<int16_t>&& s) {
        return sounds.Push({run.serial, startAt + span.offset, run.rate, run.channels, std::move(s)});
    };
    const int64_t expected = from + MicrosOf(written, rate);
    int64_t cut = 0;
    // The first sound of a run is placed exactly (silence before it, or its part before the
    // start cut); later sound only when it is off by more than the slack.
    if (!started || at > expected + kSoundSlack || at < expected - kSoundSlack) {
        for (int64_t gap = FramesIn(at - expected, rate); gap > 0 && !stop();) {
            const int64_t n = std::min(gap, FramesIn(kSilencePiece, rate));
            if (!queue(from + MicrosOf(written, rate), std::vector<int16_t>(static_cast<size_t>(n) * ch, 0)))
                return false;
            written += n;
            gap -= n;
        }
        if (at < expected) cut = FramesIn(expected - at, rate);
    }
    int64_t frames = static_cast<int64_t>(samples.size() / ch);
    if (cut >= frames) return true;  // all before the start: the next is placed exactly again
    started = true;
    if (cut > 0) samples.erase(samples.begin(), samples.begin() + static_cast<ptrdiff_t>(cut * ch));
    frames -= cut;
    const int64_t startAt = from + MicrosOf(written, rate);
    if (const int64_t end = span.to; end >= 0) {
        const int64_t room = FramesIn(end - startAt, rate);
        if (room <= 0) return false;
        if (frames > room) {
            samples.resize(static_cast<size_t>(room) * ch);
            frames = room;
        }
    }
    if (!queue(startAt, std::move(samples))) return false;
    written += frames;
    return true;
}

void Player::State::SoundLoop(const PlayRun& run) {
    for (size_t k = 0; k < run.spans.size(); ++k)
        if (!SoundSpan(run, run.spans[k], k + 1 == run.spans.size())) return;
    if (latest != run.serial) return;
    Report(run.serial, [&] { soundDone = true; });
}

bool Player::State::SoundSpan(const PlayRun& run, const PlaySpan& span, bool last) {
    AVCodecContext* dec = soundDecoder;
    const AVStream* st = in->ctx()->streams[run.soundStream];
    const int64_t base = in->startMicros();
    const int64_t from = span.from;
    const int rate = run.rate;
    const int ch = run.channels;
    const auto stop = [&] { return latest != run.serial; };
    ChannelLayout outLayout;
    outLayout.SetDefault(ch);
    int64_t written = 0;  // sample frames queued since the run's start
    bool started = false;
    int inRate = 0, inFormat = -1;
    ChannelLayout inLayout;
    // Resamples one decoded frame to the device's format and places it; false to end.
    auto take = [&](AVFrame* f) {
        if (!resampler || f->sample_rate != inRate || f->format != inFormat ||
            av_channel_layout_compare(&f->ch_layout, inLayout.get()) != 0) {
            SwrContext* raw = nullptr;
            if (swr_alloc_set_opts2(&raw, outLayout.get(), AV_SAMPLE_FMT_S16, rate, &f->ch_layout,
                                    static_cast<AVSampleFormat>(f->format), f->sample_rate, 0, nullptr) < 0 ||
                swr_init(raw) < 0) {
                swr_free(&raw);
                return false;
            }
            resampler.reset(raw);
            inRate = f->sample_rate;
            inFormat = f->format;
            inLayout.CopyFrom(f->ch_layout);
        }
        SwrContext* swr = resampler.get();
        const int64_t bet = f->best_effort_timestamp;
        // The resampler holds some input back: what comes out now started that much earlier.
        const int64_t at = bet == AV_NOPTS_VALUE ? from + MicrosOf(written, rate)
                                                 : ToMicros(bet, st->time_base) - base - swr_get_delay(swr, 1000000);
        const int most = swr_get_out_samples(swr, f->nb_samples);
        if (most <= 0) return true;
        std::vector<int16_t> out(static_cast<size_t>(most) * ch);
        uint8_t* planes[1] = {reinterpret_cast<uint8_t*>(out.data())};
        const int n = swr_convert(swr, planes, most, const_cast<const uint8_t**>(f->extended_data), f->nb_samples);
        av_frame_unref(f);
        if (n < 0) return true;
        out.resize(static_cast<size_t>(n) * ch);
        return Place(run, span, at, std::move(out), written, started);
    };
    DecodeLoop loop(dec);
    const DecodeEnd how = loop.Run(
        [&](AVPacket* pkt) {
            bool atEnd = false;
            if (stop() || !packets.Pop(PacketQueues::kSound, run.serial, pkt, atEnd))
                return atEnd ? AVERROR_EOF : AVERROR_EXIT;  // superseded, or the player closes
            return 0;
        },
        [&](AVFrame* f) { return take(f) ? FrameVerdict::kGoOn : FrameVerdict::kStop; });
    if (stop() || how.kind == DecodeEnd::kSourceEnded) return false;
    if (last) return true;
    // The next stretch's sound follows this one's end: silence where the sound stopped
    // before it, and whatever is left of its packets passed over.
    bool exact = false;
    if (span.to >= 0 && !Place(run, span, span.to, {}, written, exact)) return false;
    if (!how.drained()) {
        if (!packets.SkipToEnd(PacketQueues::kSound, run.serial)) return false;
        avcodec_flush_buffers(dec);
    }
    return !stop();
}

size_t Player::State::Read(uint8_t* out, size_t bytes) {
    std::lock_guard lock(runLock);
    const size_t ch = static_cast<size_t>(runChannels);
    const size_t frames = bytes / (ch * sizeof(int16_t));
    std::memset(out, 0, bytes);
    if (!playing || !primed || !soundUsed || frames == 0) return bytes;
    pulled.resize(frames * ch);
    int64_t first = 0, end = 0;
    const size_t n = sounds.Pull(pulled.data(), frames, first, end);
    const bool finished = soundDone && sounds.empty();
    if (n < frames && !finished) ++underruns;
    soundFrames += static_cast<int64_t>(n);
    if (n > 0) {
        const double gain = muted ? 0.0 : volume.load();
        if (gain < 1.0)
            for (size_t i = 0; i < n * ch; ++i) pulled[i] = static_cast<int16_t>(static_cast<double>(pulled[i]) * gain);
        std::memcpy(out, pulled.data(), n * ch * sizeof(int16_t));
        // The first sample pulled is heard `latency` from now: the clock runs that much
        // behind it, and never past the samples handed out.
        clock.Sound(first - latency, end);
        soundEnd = end;
    } else if (finished) {
        clock.RunOn();  // the pictures may go on after the sound: the system clock takes over
    }
    return bytes;
}

}  // namespace ulvane
