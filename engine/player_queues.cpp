// The player's queues and clock.
#include "engine/player_queues.h"

#include <algorithm>
#include <cstring>

namespace ulvane {

namespace {
constexpr size_t kMostPacketBytes = 16 << 20;
constexpr int64_t kEnoughAhead = 1000000;  // a second of packets of one kind
constexpr size_t kEnoughPackets = 60;      // when packets carry no duration
}  // namespace

void PacketQueues::Reset(bool pictures, bool sound) {
    std::lock_guard lock(m_);
    for (auto& q : q_) q.clear();
    queuedMicros_[0] = queuedMicros_[1] = 0;
    used_[kPictures] = pictures;
    used_[kSound] = sound;
    bytes_ = 0;
    end_ = stopped_ = false;
}

bool PacketQueues::Full() const {
    if (bytes_ > kMostPacketBytes) return true;
    for (int k = 0; k < 2; ++k)
        if (used_[k] && queuedMicros_[k] < kEnoughAhead && q_[k].size() < kEnoughPackets) return false;
    return true;
}

bool PacketQueues::Push(Kind kind, AVPacket* pkt, int64_t micros) {
    std::unique_lock lock(m_);
    cv_.wait(lock, [&] { return stopped_ || !Full(); });
    if (stopped_) return false;
    PacketPtr p = MakePacket();
    if (!p) return false;
    av_packet_move_ref(p.get(), pkt);
    bytes_ += static_cast<size_t>(std::max(p->size, 0));
    micros = std::max<int64_t>(micros, 0);
    queuedMicros_[kind] += micros;
    q_[kind].push_back({std::move(p), micros});
    lock.unlock();
    cv_.notify_all();
    return true;
}

void PacketQueues::PushEnd() {
    {
        std::lock_guard lock(m_);
        end_ = true;
    }
    cv_.notify_all();
}

bool PacketQueues::Pop(Kind kind, AVPacket* pkt, bool& end) {
    std::unique_lock lock(m_);
    cv_.wait(lock, [&] { return stopped_ || end_ || !q_[kind].empty(); });
    end = false;
    if (stopped_) return false;
    if (q_[kind].empty()) {
        end = true;
        return false;
    }
    Queued q = std::move(q_[kind].front());
    q_[kind].pop_front();
    bytes_ -= std::min(bytes_, static_cast<size_t>(std::max(q.pkt->size, 0)));
    queuedMicros_[kind] = std::max<int64_t>(0, queuedMicros_[kind] - q.micros);
    av_packet_move_ref(pkt, q.pkt.get());
    lock.unlock();
    cv_.notify_all();
    return true;
}

void PacketQueues::Stop() {
    {
        std::lock_guard lock(m_);
        stopped_ = true;
    }
    cv_.notify_all();
}

void PictureQueue::Reset(size_t capacity) {
    std::lock_guard lock(m_);
    q_.clear();
    capacity_ = std::max<size_t>(capacity, 1);
    stopped_ = false;
}

bool PictureQueue::Push(PlayerPicture&& p) {
    std::unique_lock lock(m_);
    cv_.wait(lock, [&] { return stopped_ || q_.size() < capacity_; });
    if (stopped_) return false;
    q_.push_back(std::move(p));
    return true;
}

void PictureQueue::Stop() {
    {
        std::lock_guard lock(m_);
        stopped_ = true;
    }
    cv_.notify_all();
}

void SoundQueue::Reset(int rate, int channels) {
    std::lock_guard lock(m_);
    q_.clear();
    frames_ = 0;
    rate_ = rate;
    channels_ = channels;
    stopped_ = false;
}

bool SoundQueue::Push(int64_t fromMicros, std::vector<int16_t>&& samples) {
    std::unique_lock lock(m_);
    cv_.wait(lock, [&] { return stopped_ || frames_ < static_cast<size_t>(rate_ / 2); });
    if (stopped_) return false;
    const size_t frames = samples.size() / static_cast<size_t>(channels_);
    if (frames == 0) return true;
    q_.push_back({fromMicros, std::move(samples)});
    frames_ += frames;
    return true;
}

size_t SoundQueue::Pull(int16_t* out, size_t frames, int64_t& from, int64_t& to) {
    std::unique_lock lock(m_);
    size_t done = 0;
    const size_t ch = static_cast<size_t>(channels_);
    while (done < frames && !q_.empty()) {
        Run& r = q_.front();
        const size_t left = r.samples.size() / ch - r.taken;
        const size_t n = std::min(left, frames - done);
        // 48000 sample frames a second: frame 24000 of a run is 500000 µs after its start.
        const int64_t at = r.fromMicros + static_cast<int64_t>(r.taken) * 1000000 / rate_;
        if (done == 0) from = at;
        std::memcpy(out + done * ch, r.samples.data() + r.taken * ch, n * ch * sizeof(int16_t));
        done += n;
        r.taken += n;
        to = r.fromMicros + static_cast<int64_t>(r.taken) * 1000000 / rate_;
        if (r.taken * ch >= r.samples.size()) q_.pop_front();
    }
    frames_ -= done;
    lock.unlock();
    if (done) cv_.notify_all();
    return done;
}

bool SoundQueue::empty() {
    std::lock_guard lock(m_);
    return q_.empty();
}

void SoundQueue::Stop() {
    {
        std::lock_guard lock(m_);
        stopped_ = true;
    }
    cv_.notify_all();
}

void PlayClock::Hold(int64_t at) {
    std::lock_guard lock(m_);
    at_ = at;
    wall_ = Wall::now();
    rate_ = 0;
    cap_ = INT64_MAX;
}

void PlayClock::Run(int64_t at, double rate) {
    std::lock_guard lock(m_);
    at_ = at;
    wall_ = Wall::now();
    rate_ = rate;
    cap_ = INT64_MAX;
}

void PlayClock::Sound(int64_t at, int64_t cap) {
    std::lock_guard lock(m_);
    at_ = at;
    wall_ = Wall::now();
    rate_ = 1;
    cap_ = cap;
}

void PlayClock::RunOn() {
    std::lock_guard lock(m_);
    const Wall::time_point now = Wall::now();
    at_ = NowLocked(now);
    wall_ = now;
    rate_ = 1;
    cap_ = INT64_MAX;
}

int64_t PlayClock::NowLocked(Wall::time_point now) const {
    const double ran = std::chrono::duration<double, std::micro>(now - wall_).count() * rate_;
    return std::min(cap_, at_ + static_cast<int64_t>(ran));
}

int64_t PlayClock::Now() const {
    std::lock_guard lock(m_);
    return NowLocked(Wall::now());
}

bool PlayClock::running() const {
    std::lock_guard lock(m_);
    return rate_ != 0;
}

}  // namespace ulvane
