// The player's bounded queues and its clock. Each queue has its own lock and condition,
// and is the only thing its producer and consumer threads share besides atomics; every
// wait ends when the queue is stopped, so a player's threads can always be joined.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

#include "engine/ffmpeg_util.h"
#include "engine/player.h"

namespace ulvane {

// Packets read for the two decoders. The reader waits while both have enough ahead (a
// second of either) or the whole holds too many bytes, so a stream whose decoder lags (a
// file that interleaves badly) never starves the other.
class PacketQueues {
public:
    enum Kind { kPictures = 0, kSound = 1 };

    // Which kinds are decoded this run; empties both and clears the end and the stop.
    void Reset(bool pictures, bool sound);
    // Takes `pkt`'s data, which lasts `micros`. False once stopped.
    bool Push(Kind kind, AVPacket* pkt, int64_t micros);
    // The end of the file (or of the part played): the decoders drain after what is queued.
    void PushEnd();
    // The next packet of `kind` into `pkt`; false with `end` set at the end, false with
    // `end` clear when stopped.
    bool Pop(Kind kind, AVPacket* pkt, bool& end);
    void Stop();

private:
    bool Full() const;

    std::mutex m_;
    std::condition_variable cv_;
    struct Queued {
        PacketPtr pkt;
        int64_t micros;
    };
    std::deque<Queued> q_[2];
    int64_t queuedMicros_[2] = {0, 0};
    bool used_[2] = {false, false};
    size_t bytes_ = 0;
    bool end_ = false, stopped_ = false;
};

// Pictures ready to show, in the order they show (backwards when playing backwards).
class PictureQueue {
public:
    static constexpr size_t kCapacity = 6;  // the fewest pictures queued ahead
    // Empties the queue, which then holds up to `capacity` pictures.
    void Reset(size_t capacity = kCapacity);
    // Waits for room; false once stopped.
    bool Push(PlayerPicture&& p);
    // Runs `f(std::deque<PlayerPicture>&)` under the queue's lock and wakes the producer.
    template <typename F>
    auto With(F f) {
        std::unique_lock lock(m_);
        auto r = f(q_);
        lock.unlock();
        cv_.notify_all();
        return r;
    }
    void Stop();

private:
    std::mutex m_;
    std::condition_variable cv_;
    std::deque<PlayerPicture> q_;
    size_t capacity_ = kCapacity;
    bool stopped_ = false;
};

// Sound ready for the device: interleaved 16-bit sample frames, each run with the source
// time of its first sample frame.
class SoundQueue {
public:
    void Reset(int rate, int channels);
    // Waits while half a second is queued; false once stopped.
    bool Push(int64_t fromMicros, std::vector<int16_t>&& samples);
    // Copies up to `frames` sample frames into `out`; the count copied, with the source time
    // of the first (`from`) and of the one after the last (`to`).
    size_t Pull(int16_t* out, size_t frames, int64_t& from, int64_t& to);
    bool empty();
    void Stop();

private:
    struct Run {
        int64_t fromMicros;
        std::vector<int16_t> samples;
        size_t taken = 0;  // sample frames already pulled
    };
    std::mutex m_;
    std::condition_variable cv_;
    std::deque<Run> q_;
    size_t frames_ = 0;  // sample frames queued
    int rate_ = 48000, channels_ = 2;
    bool stopped_ = false;
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
