// The player's queues and clock.
#include "engine/player_queues.h"

#include <algorithm>
#include <cstring>

namespace ulvane {

namespace {
constexpr size_t kMostPacketBytes = 16 << 20;
constexpr int64_t kEnoughAhead = 1000000;  // a second of packets of one kind
constexpr size_t kEnoughPackets = 60;      // when packets carry no duration
constexpr int64_t kEnoughSound = 500000;   // half a second of sound for the device
}  // namespace

bool PacketsFull::operator()(const std::deque<QueuedPacket>& q) const {
    size_t bytes = 0;
    int64_t micros[2] = {0, 0};
    size_t count[2] = {0, 0};
    for (const QueuedPacket& p : q) {
        if (!p.pkt) continue;
        bytes += static_cast<size_t>(std::max(p.pkt->size, 0));
        micros[p.kind] += p.micros;
        ++count[p.kind];
    }
    if (bytes > kMostPacketBytes) return true;
    const unsigned kinds = used->load();
    for (int k = 0; k < 2; ++k)
        if ((kinds >> k & 1u) && micros[k] < kEnoughAhead && count[k] < kEnoughPackets) return false;
    return true;
}

PacketQueues::PacketQueues(const std::atomic<uint64_t>& latest) : latest_(latest) {}

void PacketQueues::Flush(uint64_t serial, bool pictures, bool sound) {
    used_ = (pictures ? 1u << kPictures : 0u) | (sound ? 1u << kSound : 0u);
    q_.With([&](std::deque<QueuedPacket>& q) { std::erase_if(q, [&](const auto& p) { return p.serial != serial; }); });
}

bool PacketQueues::Push(uint64_t serial, Kind kind, AVPacket* pkt, int64_t micros) {
    QueuedPacket p{serial, kind, MakePacket(), std::max<int64_t>(micros, 0)};
    if (!p.pkt) return false;
    av_packet_move_ref(p.pkt.get(), pkt);
    return q_.Push(std::move(p), [&] { return latest_.load() != serial; });
}

void PacketQueues::PushEnd(uint64_t serial, Kind kind) {
    // The end takes no room: it is queued even when the queue is full.
    q_.With([&](std::deque<QueuedPacket>& q) { q.push_back({serial, kind, nullptr, 0}); });
}

namespace {
// The first item of `kind` in `q`, or end.
auto FirstOf(std::deque<QueuedPacket>& q, int kind) {
    return std::find_if(q.begin(), q.end(), [&](const QueuedPacket& p) { return p.kind == kind; });
}
auto FirstOf(const std::deque<QueuedPacket>& q, int kind) {
    return std::find_if(q.begin(), q.end(), [&](const QueuedPacket& p) { return p.kind == kind; });
}
}  // namespace

bool PacketQueues::NextRun(Kind kind, uint64_t after, uint64_t& serial) {
    return q_.When(
        [&](const std::deque<QueuedPacket>& q) {
            const uint64_t newest = latest_.load();
            return newest > after && std::any_of(q.begin(), q.end(), [&](const QueuedPacket& p) {
                       return p.kind == kind && p.serial == newest;
                   });
        },
        [&](std::deque<QueuedPacket>& q) {
            serial = latest_.load();
            // What older runs left of this kind before it is of no use.
            std::erase_if(q, [&](const QueuedPacket& p) { return p.kind == kind && p.serial < serial; });
        });
}

bool PacketQueues::Pop(Kind kind, uint64_t serial, AVPacket* pkt, bool& end) {
    end = false;
    QueuedPacket got;
    const bool taken = q_.When(
        [&](const std::deque<QueuedPacket>& q) {
            auto it = FirstOf(q, kind);
            return it != q.end() && it->serial == serial;
        },
        [&](std::deque<QueuedPacket>& q) {
            auto it = FirstOf(q, kind);
            got = std::move(*it);
            q.erase(it);
        },
        [&] { return latest_.load() != serial; });
    if (!taken) return false;
    if (!got.pkt) {
        end = true;
        return false;
    }
    av_packet_move_ref(pkt, got.pkt.get());
    return true;
}

bool PacketQueues::SkipToEnd(Kind kind, uint64_t serial) {
    PacketPtr pkt = MakePacket();
    bool end = false;
    while (pkt && Pop(kind, serial, pkt.get(), end)) av_packet_unref(pkt.get());
    return end;
}

void PacketQueues::Stop() {
    q_.Stop();
}

void PacketQueues::Reset() {
    used_ = 0;
    q_.Reset();
}

void PacketQueues::Wake() {
    q_.Wake();
}

void PictureQueue::Flush(uint64_t serial, size_t capacity) {
    q_.SetFull(UpTo{std::max<size_t>(capacity, 1)});
    q_.With([&](std::deque<QueuedPicture>& q) { std::erase_if(q, [&](const auto& p) { return p.serial != serial; }); });
}

bool PictureQueue::Push(uint64_t serial, PlayerPicture&& p) {
    return q_.Push({serial, std::move(p)}, [&] { return latest_.load() != serial; });
}

bool SoundFull::operator()(const std::deque<SoundRun>& q) const {
    int64_t micros = 0;
    for (const SoundRun& r : q) micros += static_cast<int64_t>(r.frames() - r.taken) * 1000000 / r.rate;
    return micros >= kEnoughSound;
}

void SoundQueue::Flush(uint64_t serial) {
    q_.With([&](std::deque<SoundRun>& q) { std::erase_if(q, [&](const auto& r) { return r.serial != serial; }); });
}

bool SoundQueue::Push(SoundRun&& run) {
    if (run.frames() == 0) return true;
    const uint64_t serial = run.serial;
    return q_.Push(std::move(run), [&] { return latest_.load() != serial; });
}

size_t SoundQueue::Pull(int16_t* out, size_t frames, int64_t& from, int64_t& to) {
    return q_.With([&](std::deque<SoundRun>& q) {
        const uint64_t newest = latest_.load();
        size_t done = 0;
        while (done < frames && !q.empty()) {
            SoundRun& r = q.front();
            if (r.serial != newest) {
                q.pop_front();
                continue;
            }
            const size_t ch = static_cast<size_t>(r.channels);
            const size_t n = std::min(r.frames() - r.taken, frames - done);
            // 48000 sample frames a second: frame 24000 of a run is 500000 µs after its start.
            const int64_t at = r.fromMicros + static_cast<int64_t>(r.taken) * 1000000 / r.rate;
            if (done == 0) from = at;
            std::memcpy(out + done * ch, r.samples.data() + r.taken * ch, n * ch * sizeof(int16_t));
            done += n;
            r.taken += n;
            to = r.fromMicros + static_cast<int64_t>(r.taken) * 1000000 / r.rate;
            if (r.taken >= r.frames()) q.pop_front();
        }
        return done;
    });
}

bool SoundQueue::empty() {
    return q_.With([&](std::deque<SoundRun>& q) {
        const uint64_t newest = latest_.load();
        return std::none_of(q.begin(), q.end(), [&](const SoundRun& r) { return r.serial == newest; });
    });
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
