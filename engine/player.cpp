// The player's public calls: opening a file, starting and stopping runs, the position and
// the picture due. A run is one stretch of playback from a position at a speed; a seek, a
// new track or a loop's repeat start a new run, joining the threads of the one before.
#include "engine/player.h"

#include <algorithm>
#include <cmath>

#include "engine/codec_names.h"
#include "engine/player_internal.h"

namespace ulvane {

namespace {

uint64_t PackBox(int w, int h) {
    return static_cast<uint64_t>(std::max(w, 1)) << 32 | static_cast<uint32_t>(std::max(h, 1));
}

std::string Tag(const AVStream* st, const char* key) {
    const AVDictionaryEntry* e = av_dict_get(st->metadata, key, nullptr, 0);
    return e && e->value ? e->value : "";
}

}  // namespace

Player::Player() : s_(std::make_unique<State>()) {}
Player::~Player() {
    Close();
}

bool Player::Open(const std::string& path, int boxWidth, int boxHeight, std::string& error) {
    Close();
    State& s = *s_;
    if (Status st = MediaInput::Open(path, s.in, &s.interrupt); !st.ok()) {
        error = st.cancelled() ? "cancelled" : st.reason();
        return false;
    }
    // Frame threads for the pictures: playback wants throughput, and the first picture's
    // delay is paid once a run.
    if (Status st = s.in->OpenDecoders(false, true); !st.ok()) {
        error = st.reason();
        s.in.reset();
        return false;
    }
    s.path = path;
    s.box = PackBox(boxWidth, boxHeight);
    s.info = {};
    s.info.durationMicros = s.in->durationMicros();
    s.info.hasPictures = s.in->video() != nullptr;
    for (int index : s.in->SoundTracks()) {
        const AVStream* st = s.in->ctx()->streams[index];
        PlayerSoundTrack t;
        t.stream = index;
        t.codec = avcodec_get_name(st->codecpar->codec_id);
        t.language = Tag(st, "language");
        t.title = Tag(st, "title");
        t.channels = st->codecpar->ch_layout.nb_channels;
        t.isDefault = index == s.in->audioIndex();
        s.info.soundTracks.push_back(std::move(t));
    }
    if (const AVStream* v = s.in->video(); v && v->avg_frame_rate.num > 0 && v->avg_frame_rate.den > 0)
        s.frameMicros = std::max<int64_t>(1000, av_rescale_q(1, av_inv_q(v->avg_frame_rate), AV_TIME_BASE_Q));
    s.trackPlace = 0;
    s.stillAt = 0;
    return true;
}

void Player::Close() {
    State& s = *s_;
    s.StopRun();
    s.playing = false;
    s.ended = false;
    s.soundDecoder.reset();
    s.soundDecoderStream = -1;
    s.resampler.reset();
    s.in.reset();
    s.path.clear();
    s.info = {};
}

bool Player::isOpen() const {
    return s_->in != nullptr;
}
const PlayerInfo& Player::info() const {
    return s_->info;
}

void Player::SetSoundDevice(bool present, PlayerSoundFormat format) {
    State& s = *s_;
    s.devicePresent = present && format.sampleRate > 0 && format.channels > 0;
    s.deviceRate = std::clamp(format.sampleRate, 8000, 384000);
    s.deviceChannels = std::clamp(format.channels, 1, 8);
    if (s.playing) Play(s.Position(), s.speed, s.until, s.loop);
}

void Player::SetSoundLatency(int64_t micros) {
    s_->latency = std::max<int64_t>(micros, 0);
}

void Player::ChooseSoundTrack(int place) {
    State& s = *s_;
    if (place < 0 || place >= static_cast<int>(s.info.soundTracks.size())) place = 0;
    if (s.trackPlace.exchange(place) != place && s.playing) Play(s.Position(), s.speed, s.until, s.loop);
}

void Player::SetVolume(double volume) {
    s_->volume = std::isfinite(volume) ? std::clamp(volume, 0.0, 1.0) : 1.0;
}
void Player::SetMuted(bool muted) {
    s_->muted = muted;
}
void Player::SetBox(int boxWidth, int boxHeight) {
    s_->box = PackBox(boxWidth, boxHeight);
}

void Player::Play(int64_t fromMicros, double speed, int64_t untilMicros, bool loop) {
    State& s = *s_;
    if (!s.in) return;
    if (!std::isfinite(speed) || speed == 0) speed = 1;
    const int64_t duration = s.info.durationMicros;
    fromMicros = std::max<int64_t>(fromMicros, 0);
    if (duration > 0) fromMicros = std::min(fromMicros, duration);
    // Back on from a pause at the picture the pause left: the run's threads kept their
    // queues full, so pictures and sound go on at once.
    const bool resume = s.threadsLive && !s.playing && !s.ended && speed > 0 && speed == s.speed &&
                        fromMicros == s.stillAt && untilMicros == s.until && loop == s.loop;
    if (resume) {
        // Under the lock MarkPrimed takes: a first picture queued just now either finds the
        // run playing and starts the clock, or was queued before and is seen here.
        std::lock_guard lock(s.soundLock);
        if (s.ClockLeads() && s.primed)
            s.clock.Run(fromMicros, speed);
        else
            s.clock.Hold(fromMicros);  // the next pull (or the first picture) sets it going
        s.playing = true;
        return;
    }
    s.StartRun(fromMicros, speed, untilMicros, loop);
}

int64_t Player::Pause() {
    State& s = *s_;
    if (!s.playing) return s.stillAt;
    const int64_t last = s.lastShown;
    const int64_t at = last >= 0 ? last : s.clock.Now();
    {
        std::lock_guard lock(s.soundLock);
        s.playing = false;
        s.clock.Hold(at);
    }
    s.stillAt = at;
    // Backwards, the run's threads are of no use for going on: they stop.
    if (s.speed < 0) s.StopRun();
    return at;
}

bool Player::playing() const {
    s_->Tick();
    return s_->playing;
}
bool Player::ended() const {
    s_->Tick();
    return s_->ended;
}
double Player::speed() const {
    return s_->speed;
}

int64_t Player::PositionMicros() const {
    s_->Tick();
    return s_->Position();
}

bool Player::TakePicture(PlayerPicture& out) {
    State& s = *s_;
    s.Tick();
    if (!s.playing || !s.primed) return false;
    const int64_t now = s.clock.Now();
    const bool forwards = s.speed > 0;
    int64_t late = 0;
    const bool got = s.queue.With([&](std::deque<PlayerPicture>& q) {
        // Forwards a picture is late once its time is over, backwards once the clock went
        // below its start. A late picture is dropped when the next one is ready, else it
        // shows late; the picture due is the first one not late.
        auto passed = [&](const PlayerPicture& p) {
            return forwards ? p.fromMicros + p.forMicros <= now : p.fromMicros > now;
        };
        while (q.size() > 1 && passed(q.front())) {
            q.pop_front();
            ++late;
        }
        if (q.empty()) return false;
        const PlayerPicture& p = q.front();
        const bool due = forwards ? p.fromMicros <= now : p.fromMicros + p.forMicros > now;
        if (!due) return false;
        out = std::move(q.front());
        q.pop_front();
        return true;
    });
    s.dropped += late;
    if (!got) return false;
    s.lastShown = out.fromMicros;
    ++s.shown;
    return true;
}

size_t Player::ReadSound(uint8_t* out, size_t bytes) {
    return s_->Read(out, bytes);
}

int64_t Player::SoundHeardMicros() const {
    const State& s = *s_;
    if (!s.soundUsed || !s.playing) return -1;
    return s.clock.Now();
}

PlayerFigures Player::figures() const {
    return {s_->shown.load(), s_->dropped.load(), s_->underruns.load()};
}

int64_t Player::State::Position() const {
    return playing ? std::max<int64_t>(clock.Now(), 0) : stillAt.load();
}

void Player::State::StopRun() {
    if (!threadsLive) return;
    stop = true;
    interrupt = true;
    packets.Stop();
    queue.Stop();
    sounds.Stop();
    for (std::thread* t : {&reader, &pictures, &sound})
        if (t->joinable()) t->join();
    threadsLive = false;
    stop = false;
    interrupt = false;
}

void Player::State::StartRun(int64_t fromMicros, double runSpeed, int64_t untilMicros, bool loopRun) {
    StopRun();
    from = fromMicros;
    until = untilMicros;
    loop = loopRun;
    const bool backwards = runSpeed < 0;
    const int place = trackPlace;
    const bool wantSound = devicePresent && runSpeed == 1 && place < static_cast<int>(info.soundTracks.size());
    soundStream = wantSound ? info.soundTracks[place].stream : -1;
    if (soundStream >= 0 && !OpenSound()) soundStream = -1;
    if (in->videoDecoder()) avcodec_flush_buffers(in->videoDecoder());
    if (soundDecoder) avcodec_flush_buffers(soundDecoder.get());
    resampler.reset();  // made again for the first frame decoded
    packets.Reset(info.hasPictures && !backwards, soundStream >= 0);
    // Forwards up to half a second of pictures at 30 a second (fewer for a large box)
    // absorbs a stall of the decoder on a busy machine; backwards, one group shows while the
    // one before it decodes.
    queue.Reset(backwards ? 2 * BackwardGroup() : ForwardQueue());
    lastShown = -1;
    lastEnd = -1;
    soundEnd = -1;
    picturesDone = !info.hasPictures;
    soundDone = soundStream < 0;
    primed = !info.hasPictures;
    ended = false;
    {
        std::lock_guard lock(soundLock);
        runRate = deviceRate;
        runChannels = deviceChannels;
        sounds.Reset(runRate, runChannels);
        speed = runSpeed;
        soundUsed = soundStream >= 0;
        // The sound clock starts with the first sample pulled; the system clock with the
        // first picture queued, or now when there are none.
        if (!soundUsed && primed)
            clock.Run(from, runSpeed);
        else
            clock.Hold(from);
        playing = true;
    }
    stillAt = from;
    threadsLive = true;
    if (backwards) {
        // Sound alone goes backwards on the clock only: nothing is heard backwards.
        if (info.hasPictures) pictures = std::thread([this] { BackwardLoop(); });
        return;
    }
    if (info.hasPictures || soundStream >= 0) reader = std::thread([this] { ReadLoop(); });
    if (info.hasPictures) pictures = std::thread([this] { PictureLoop(); });
    if (soundStream >= 0) sound = std::thread([this] { SoundLoop(); });
}

void Player::State::Tick() {
    if (!playing) return;
    const int64_t now = clock.Now();
    const int64_t end = until;
    bool over = false;
    int64_t at = now;
    if (speed < 0) {
        over = now <= 0 || (picturesDone && queue.With([](auto& q) { return q.empty(); }) && now < lastEnd);
        at = std::max<int64_t>(now, 0);
    } else if (end >= 0 && now >= end) {
        over = true;
        at = end;
    } else if (picturesDone && soundDone && (!soundUsed || sounds.empty())) {
        // Everything handed out: over once the last picture's time (without pictures, the
        // sound's end, or without either the file's) has passed.
        const int64_t last = info.hasPictures ? lastEnd.load() : soundUsed ? soundEnd.load() : info.durationMicros;
        over =
            queue.With([](auto& q) { return q.empty(); }) && now >= last && (info.hasPictures || soundUsed || last > 0);
    }
    if (!over) return;
    if (loop && speed > 0) {
        StartRun(from, speed, end, true);
        return;
    }
    {
        std::lock_guard lock(soundLock);
        playing = false;
        clock.Hold(at);
    }
    const int64_t last = lastShown;
    stillAt = last >= 0 && info.hasPictures ? last : at;
    ended = true;
}

}  // namespace ulvane
