// The player's public calls: opening a file, requests for runs, the position and the picture
// due. A run is one stretch of playback from a position at a speed; a seek, a new track or a
// loop's repeat post a new request, which the threads take up by its serial number.
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
        // Opened here, while no thread reads the file: a track that cannot be decoded is silent.
        CodecContextPtr dec;
        if (!OpenStreamDecoder(st, false, dec).ok()) dec.reset();
        s.soundDecoders.push_back(std::move(dec));
    }
    if (const AVStream* v = s.in->video(); v && v->avg_frame_rate.num > 0 && v->avg_frame_rate.den > 0)
        s.frameMicros = std::max<int64_t>(1000, av_rescale_q(1, av_inv_q(v->avg_frame_rate), AV_TIME_BASE_Q));
    s.trackPlace = 0;
    s.stillAt = 0;
    s.timeline = {};
    s.clipPlaying = -1;
    s.sourcePosition = 0;
    return true;
}

void Player::Close() {
    State& s = *s_;
    s.StopThreads();
    s.playing = false;
    s.ended = false;
    s.soundDecoder = nullptr;
    s.soundDecoders.clear();
    s.resampler.reset();
    s.backDecoder.reset();
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
    if (s.playing) Play(s.Position(), s.run.speed, s.run.until, s.run.loop);
}

void Player::SetSoundLatency(int64_t micros) {
    s_->latency = std::max<int64_t>(micros, 0);
}

void Player::ChooseSoundTrack(int place) {
    State& s = *s_;
    if (place < 0 || place >= static_cast<int>(s.info.soundTracks.size())) place = 0;
    if (s.trackPlace.exchange(place) != place && s.playing) Play(s.Position(), s.run.speed, s.run.until, s.run.loop);
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

void Player::SetClips(std::vector<PlayerClip> clips) {
    State& s = *s_;
    if (s.playing) Pause();
    s.timeline.Set(std::move(clips), s.info.durationMicros);
    // What the threads hold is of the timeline before: nothing of it is resumed.
    if (s.threadsLive) s.Request(0, 1.0, -1, false, true);
    s.stillAt = 0;
    s.ended = false;
    s.clipPlaying = s.timeline.Locate(0, s.sourcePosition);
}

int64_t Player::LengthMicros() const {
    return s_->timeline.Length(s_->info.durationMicros);
}

int Player::ClipAt(int64_t at, int64_t& sourceMicros) const {
    return s_->timeline.Locate(at, sourceMicros);
}

void Player::Play(int64_t fromMicros, double speed, int64_t untilMicros, bool loop) {
    State& s = *s_;
    if (!s.in) return;
    if (!std::isfinite(speed) || speed == 0) speed = 1;
    const int64_t duration = LengthMicros();
    fromMicros = std::max<int64_t>(fromMicros, 0);
    if (duration > 0) fromMicros = std::min(fromMicros, duration);
    // Back on from a pause at the picture the pause left: the run's threads kept their
    // queues full, so pictures and sound go on at once.
    const bool resume = s.threadsLive && !s.run.idle && !s.playing && !s.ended && speed > 0 && speed == s.run.speed &&
                        fromMicros == s.stillAt && untilMicros == s.run.until && loop == s.run.loop;
    if (resume) {
        // Under the lock MarkPrimed takes: a first picture queued just now either finds the
        // run playing and starts the clock, or was queued before and is seen here.
        std::lock_guard lock(s.runLock);
        if (s.ClockLeads() && s.primed)
            s.clock.Run(fromMicros, speed);
        else
            s.clock.Hold(fromMicros);  // the next pull (or the first picture) sets it going
        s.playing = true;
        return;
    }
    s.Request(fromMicros, speed, untilMicros, loop);
}

void Player::Update() {
    State& s = *s_;
    s.Tick();
    s.clipPlaying = s.timeline.Locate(s.Position(), s.sourcePosition);
}

int64_t Player::Pause() {
    State& s = *s_;
    if (!s.playing) return s.stillAt;
    const int64_t last = s.lastShown;
    const int64_t at = last >= 0 ? last : s.clock.Now();
    {
        std::lock_guard lock(s.runLock);
        s.playing = false;
        s.clock.Hold(at);
    }
    s.stillAt = at;
    // Backwards, the run's work is of no use for going on: it stops.
    if (s.run.speed < 0) s.Request(at, s.run.speed, s.run.until, s.run.loop, true);
    return at;
}

bool Player::playing() const {
    return s_->playing;
}
bool Player::ended() const {
    return s_->ended;
}
double Player::speed() const {
    return s_->speed;
}

int64_t Player::PositionMicros() const {
    return s_->Position();
}
int Player::ClipPlaying() const {
    return s_->clipPlaying;
}
int64_t Player::SourcePositionMicros() const {
    return s_->sourcePosition;
}

bool Player::TakePicture(PlayerPicture& out) {
    State& s = *s_;
    if (!s.playing || !s.Primed()) return false;
    const int64_t now = s.clock.Now();
    const bool forwards = s.speed > 0;
    int64_t late = 0;
    const bool got = s.queue.With([&](std::deque<QueuedPicture>& q) {
        // Forwards a picture is late once its time is over, backwards once the clock went
        // below its start. A late picture is dropped when the next one is ready, else it
        // shows late; the picture due is the first one not late.
        auto passed = [&](const PlayerPicture& p) {
            return forwards ? p.fromMicros + p.forMicros <= now : p.fromMicros > now;
        };
        while (q.size() > 1 && passed(q.front().picture)) {
            q.pop_front();
            ++late;
        }
        if (q.empty()) return false;
        const PlayerPicture& p = q.front().picture;
        const bool due = forwards ? p.fromMicros <= now : p.fromMicros + p.forMicros > now;
        if (!due) return false;
        out = std::move(q.front().picture);
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
    return {s_->shown.load(), s_->dropped.load(), s_->underruns.load(), s_->soundFrames.load()};
}

int64_t Player::State::Position() const {
    return playing ? std::max<int64_t>(clock.Now(), 0) : stillAt.load();
}

void PlayTimeline::Set(std::vector<PlayerClip> clips, int64_t duration) {
    clips_.clear();
    starts_.clear();
    int64_t at = 0;
    for (PlayerClip c : clips) {
        c.startMicros = std::max<int64_t>(c.startMicros, 0);
        if (duration > 0) c.endMicros = std::min(c.endMicros, duration);
        if (c.endMicros <= c.startMicros) continue;
        clips_.push_back(c);
        starts_.push_back(at);
        at += c.endMicros - c.startMicros;
    }
}

int64_t PlayTimeline::Length(int64_t duration) const {
    if (clips_.empty()) return duration;
    return starts_.back() + clips_.back().endMicros - clips_.back().startMicros;
}

int PlayTimeline::Locate(int64_t at, int64_t& source) const {
    if (clips_.empty()) {
        source = at;
        return -1;
    }
    const auto after = std::upper_bound(starts_.begin(), starts_.end(), std::max<int64_t>(at, 0));
    const size_t k = static_cast<size_t>(std::max<ptrdiff_t>(after - starts_.begin() - 1, 0));
    source = std::min(clips_[k].startMicros + std::max<int64_t>(at, 0) - starts_[k], clips_[k].endMicros);
    return static_cast<int>(k);
}

std::vector<PlaySpan> PlayTimeline::Spans(int64_t from, int64_t until) const {
    if (clips_.empty()) return {PlaySpan{from, until, 0, -1, 0, -1}};
    std::vector<PlaySpan> spans;
    for (size_t k = 0; k < clips_.size(); ++k) {
        const PlayerClip& c = clips_[k];
        const int64_t start = starts_[k], end = start + c.endMicros - c.startMicros;
        const int64_t lo = std::max(from, start), hi = until >= 0 ? std::min(until, end) : end;
        if (lo >= hi) continue;
        const int64_t offset = start - c.startMicros;
        spans.push_back({lo - offset, hi - offset, offset, static_cast<int>(k), c.startMicros, c.endMicros});
    }
    return spans;
}

void Player::State::StartThreads() {
    if (threadsLive) return;
    interrupt = false;
    requests.Reset();
    reader = std::thread([this] { ReaderThread(); });
    if (info.hasPictures) pictures = std::thread([this] { PictureThread(); });
    if (!info.soundTracks.empty()) sound = std::thread([this] { SoundThread(); });
    threadsLive = true;
}

void Player::State::StopThreads() {
    if (!threadsLive) return;
    interrupt = true;
    requests.Stop();
    packets.Stop();
    queue.Stop();
    sounds.Stop();
    for (std::thread* t : {&reader, &pictures, &sound})
        if (t->joinable()) t->join();
    threadsLive = false;
    interrupt = false;  // the next file opens and reads through the same flag
    // The queues serve the next file's threads from empty.
    packets.Reset();
    queue.Reset();
    sounds.Reset();
}

void Player::State::Request(int64_t fromMicros, double runSpeed, int64_t untilMicros, bool loopRun, bool idle) {
    StartThreads();
    const int place = trackPlace;
    const bool wantSound = !idle && devicePresent && runSpeed == 1 && place < static_cast<int>(info.soundTracks.size());
    PlayRun r;
    r.serial = latest + 1;
    r.from = fromMicros;
    r.speed = runSpeed;
    r.until = untilMicros;
    r.loop = loopRun;
    r.idle = idle;
    // Backwards the picture shown at the start comes first: the stretches reach just past it.
    r.spans = runSpeed < 0 ? timeline.Spans(0, fromMicros + 1) : timeline.Spans(fromMicros, untilMicros);
    r.soundStream = wantSound ? info.soundTracks[place].stream : -1;
    r.rate = deviceRate;
    r.channels = deviceChannels;
    run = r;
    lastShown = -1;
    ended = false;
    {
        std::lock_guard lock(runLock);
        current = r;
        statusSerial = r.serial;
        lastEnd = -1;
        soundEnd = -1;
        picturesDone = idle || !info.hasPictures;
        soundDone = r.soundStream < 0;
        primed = idle || !info.hasPictures;
        runRate = r.rate;
        runChannels = r.channels;
        speed = runSpeed;
        soundUsed = r.soundStream >= 0;
        // The sound clock starts with the first sample pulled; the system clock with the
        // first picture queued, or now when there are none.
        if (!soundUsed && primed && !idle)
            clock.Run(fromMicros, runSpeed);
        else
            clock.Hold(fromMicros);
        playing = !idle;
        // From here on whatever an older request queued is stale.
        latest = r.serial;
    }
    stillAt = fromMicros;
    // The newest request replaces one not yet taken; every thread waiting for stale work wakes.
    requests.With([&](std::deque<PlayRun>& q) {
        q.clear();
        q.push_back(r);
    });
    packets.Wake();
    queue.Wake();
    sounds.Wake();
}

void Player::State::Tick() {
    if (!playing) return;
    const int64_t now = clock.Now();
    const int64_t end = run.until;
    bool over = false;
    int64_t at = now;
    bool allPictures = false, allSound = false;
    int64_t picturesEnd = -1, heardEnd = -1;
    {
        std::lock_guard lock(runLock);
        allPictures = picturesDone;
        allSound = soundDone;
        picturesEnd = lastEnd;
        heardEnd = soundEnd;
    }
    const auto noPictures = [this] { return queue.With([](auto& q) { return q.empty(); }); };
    if (run.speed < 0) {
        over = now <= 0 || (allPictures && noPictures() && now < picturesEnd);
        at = std::max<int64_t>(now, 0);
    } else if (end >= 0 && now >= end) {
        over = true;
        at = end;
    } else if (allPictures && allSound && (!soundUsed || sounds.empty())) {
        // Everything handed out: over once the last picture's time (without pictures, the
        // sound's end, or without either the file's) has passed.
        const int64_t last = info.hasPictures ? picturesEnd
                             : soundUsed      ? heardEnd
                                              : timeline.Length(info.durationMicros);
        over = noPictures() && now >= last && (info.hasPictures || soundUsed || last > 0);
    }
    if (!over) return;
    if (run.loop && run.speed > 0) {
        Request(run.from, run.speed, end, true);
        return;
    }
    {
        std::lock_guard lock(runLock);
        playing = false;
        clock.Hold(at);
    }
    const int64_t last = lastShown;
    stillAt = last >= 0 && info.hasPictures ? last : at;
    ended = true;
}

}  // namespace ulvane
