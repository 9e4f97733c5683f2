// The player's bounded queues and its clock. Each queue (a BoundedQueue) has its own lock and
// is the only thing its producer and consumer threads share besides atomics; every wait ends
// when the queue is stopped or its request superseded, so a player's threads can always be
// joined and never wait on stale work.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

#include "engine/bounded_queue.h"
#include "engine/ffmpeg_util.h"
#include "engine/player.h"

namespace ulvane {

// Every item queued belongs to one request of the window's (a play from a position, a seek, a
// loop's next round), numbered by a serial that only grows: what an older request queued is
// dropped by number, never stopped and waited for. `latest` is the newest request's serial.

// A packet for a decoder, or with no packet the end of what its run reads.
struct QueuedPacket {
    uint64_t serial = 0;
    int kind = 0;
    PacketPtr pkt;  // null: the end
    int64_t micros = 0;
};

// The packets' room: a second of either kind, or too many bytes in all.
struct PacketsFull {
    const std::atomic<unsigned>* used = nullptr;  // bit k: kind k is read this run
    bool operator()(const std::deque<QueuedPacket>& q) const;
};

// Packets read for the two decoders. The reader waits while both have enough ahead (a
// second of either) or the whole holds too many bytes, so a stream whose decoder lags (a
// file that interleaves badly) never starves the other.
class PacketQueues {
public:
    enum Kind { kPictures = 0, kSound = 1 };

    explicit PacketQueues(const std::atomic<uint64_t>& latest);
    // Run `serial` reads these kinds: what older runs queued goes.
    void Flush(uint64_t serial, bool pictures, bool sound);
    // Takes `pkt`'s data, which lasts `micros`. False once stopped or superseded.
    bool Push(uint64_t serial, Kind kind, AVPacket* pkt, int64_t micros);
    // The end of what run `serial` reads (the file's, or the part played's) for `kind`: its
    // decoder drains after what is queued.
    void PushEnd(uint64_t serial, Kind kind);
    // Waits for a packet of the newest run when it is newer than `after`; its serial in
    // `serial`. False once stopped.
    bool NextRun(Kind kind, uint64_t after, uint64_t& serial);
    // The next packet of run `serial` and `kind` into `pkt`; false with `end` set at its end,
    // false with `end` clear once it is superseded or stopped.
    bool Pop(Kind kind, uint64_t serial, AVPacket* pkt, bool& end);
    // Passes over the packets of run `serial` and `kind` up to the next end (a decoder done
    // early with a stretch). False once superseded or stopped.
    bool SkipToEnd(Kind kind, uint64_t serial);
    void Stop();
    // Empties the queue and clears a stop.
    void Reset();
    // Wakes the waiting threads: a newer request came.
    void Wake();

private:
    const std::atomic<uint64_t>& latest_;
    std::atomic<unsigned> used_{0};
    BoundedQueue<QueuedPacket, PacketsFull> q_{PacketsFull{&used_}};
};

// A picture ready to show, of run `serial`.
struct QueuedPicture {
    uint64_t serial = 0;
    PlayerPicture picture;
};

// Pictures ready to show, in the order they show (backwards when playing backwards).
class PictureQueue {
public:
    static constexpr size_t kCapacity = 6;  // the fewest pictures queued ahead
    explicit PictureQueue(const std::atomic<uint64_t>& latest) : latest_(latest) {}
    // Run `serial` queues up to `capacity` pictures: those of older runs go.
    void Flush(uint64_t serial, size_t capacity = kCapacity);
    // Waits for room; false once stopped or superseded.
    bool Push(uint64_t serial, PlayerPicture&& p);
    // Runs `f(std::deque<PlayerPicture>&)` on the newest run's pictures under the queue's lock
    // (older ones dropped first) and wakes the producer.
    template <typename F>
    auto With(F f) {
        return q_.With([&](std::deque<QueuedPicture>& q) {
            const uint64_t newest = latest_.load();
            while (!q.empty() && q.front().serial != newest) q.pop_front();
            return f(q);
        });
    }
    void Stop() { q_.Stop(); }
    void Reset() { q_.Reset(); }
    void Wake() { q_.Wake(); }

private:
    const std::atomic<uint64_t>& latest_;
    BoundedQueue<QueuedPicture> q_{UpTo{kCapacity}};
};

// A run of sound for the device: interleaved 16-bit sample frames at `rate`, of request
// `serial`, the first sample frame at `fromMicros` of the source.
struct SoundRun {
    uint64_t serial = 0;
    int64_t fromMicros = 0;
    int rate = 48000, channels = 2;
    std::vector<int16_t> samples;
    size_t taken = 0;  // sample frames already pulled
    size_t frames() const { return samples.size() / static_cast<size_t>(channels); }
};

// Half a second of sound queued.
struct SoundFull {
    bool operator()(const std::deque<SoundRun>& q) const;
};

// Sound ready for the device.
class SoundQueue {
public:
    explicit SoundQueue(const std::atomic<uint64_t>& latest) : latest_(latest) {}
    // Run `serial` starts: older sound goes.
    void Flush(uint64_t serial);
    // Waits while half a second is queued; false once stopped or superseded.
    bool Push(SoundRun&& run);
    // Copies up to `frames` sample frames of the newest run into `out`; the count copied, with
    // the source time of the first (`from`) and of the one after the last (`to`).
    size_t Pull(int16_t* out, size_t frames, int64_t& from, int64_t& to);
    bool empty();
    void Stop() { q_.Stop(); }
    void Reset() { q_.Reset(); }
    void Wake() { q_.Wake(); }

private:
    const std::atomic<uint64_t>& latest_;
    BoundedQueue<SoundRun, SoundFull> q_;
};

// The playback clock: a source time that runs from an anchor at a rate (0: stands still),
// optionally never past a cap (the end of the sound handed out). Guarded by its own lock:
// the sound device's thread moves it while the window's reads it.
class PlayClock {
public:
    using Wall = std::chrono::steady_clock;
    void Hold(int64_t at);
    void Run(int64_t at, double rate);
    // Sound handed out: `at` now, running at 1x up to `cap`.
    void Sound(int64_t at, int64_t cap);
    // Runs on at 1x from where the clock is, without a cap (the sound ended).
    void RunOn();
    int64_t Now() const;
    bool running() const;

private:
    int64_t NowLocked(Wall::time_point now) const;
    mutable std::mutex m_;
    int64_t at_ = 0;
    Wall::time_point wall_ = Wall::now();
    double rate_ = 0;
    int64_t cap_ = INT64_MAX;
};

}  // namespace ulvane
