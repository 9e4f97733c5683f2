// The main sound of a file read in parts by a few threads at once, for the waveform
// (`timeline_sound.cpp`) and silence detection (`detect_silence.cpp`). An engine unit of its
// own, not a public header: it names FFmpeg types.
//
// Only the sound is read: every other stream is discarded, so a container that indexes its
// samples (MP4, Matroska, WAV) skips the picture packets unread. A file that seeks by its
// index is cut into parts of about a fiftieth of its length (none under 10 s), decoded by up
// to four threads (a sound decoder has no threads of its own, and the file is many times
// longer than a part's seek and lead-in cost); each part starts half a second early so that
// the decoder's overlap is filled before its first sample counts, and takes the frames that
// start in its range, so every frame of the file falls in exactly one part. Other files are
// read in one part, from start to end.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "engine/ffmpeg_util.h"
#include "engine/media_input.h"
#include "engine/status.h"

namespace ulvane {

// a / b rounded down (towards minus infinity).
inline int64_t FloorDiv(int64_t a, int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

// One reader of the main sound: its own input and decoder.
class SoundReader {
public:
    static constexpr int64_t kFromStart = std::numeric_limits<int64_t>::min();
    static constexpr int64_t kToEnd = std::numeric_limits<int64_t>::max();

    explicit SoundReader(const std::atomic<bool>* cancel) : cancel_(cancel) {}

    // Opens the file for its sound alone. `startMicros`: the file's start as another reader
    // of it found it (AV_NOPTS_VALUE: its own), so that all readers share one timeline.
    Status Open(const std::string& path, int64_t startMicros = AV_NOPTS_VALUE);
    MediaInput& input() { return *in_; }
    int64_t start() const { return start_; }

    // Decodes the frames that start in [from, to) (microseconds from the file's start), handing
    // each to `onFrame` with its time; `frameDone` is told the time of every frame decoded, the
    // lead-in's too. Seeks first unless `from` is kFromStart. Fails when it cannot seek there or
    // a read fails; cancelled when the flag is set.
    Status Decode(int64_t from, int64_t to, const std::function<void(const AVFrame&, int64_t)>& onFrame,
                  const std::function<void(int64_t)>& frameDone);

private:
    bool Cancelled() const { return cancel_ && cancel_->load(std::memory_order_relaxed); }
    int64_t FrameTime(const AVFrame& f, AVRational tb);

    const std::atomic<bool>* cancel_;
    std::unique_ptr<MediaInput> in_;
    CodecContextPtr dec_;
    int64_t start_ = 0;
    int64_t next_ = AV_NOPTS_VALUE;
};

// How many parts the sound of the opened input is read in: 1 unless it seeks by an index of
// its sound and is at least 20 s long.
int SoundPartCount(MediaInput& in);

// Part `p`'s range [from, to) of `parts` over `durationMicros`, its inner edges on multiples of
// `grainMicros`: the first from kFromStart, the last to kToEnd.
std::pair<int64_t, int64_t> SoundPartRange(int p, int parts, int64_t durationMicros, int64_t grainMicros);

// Reads `parts` parts (more than one) on up to four threads: `first` (already open) on the
// caller's thread, the others each with a reader of its own. `readPart(reader, p, tick)` makes
// part p's result, calling `tick` once a frame; `take(ready)` receives the finished parts as
// (p, result) pairs, in no set order, always on the caller's thread: after each part the
// caller's thread finishes, every two seconds during one, and as the helpers are joined. The
// threads share only the next part's number (an atomic) and the finished parts (under a lock).
template <typename Result>
void ReadSoundParts(const std::string& path, SoundReader& first, int parts, const std::atomic<bool>* cancel,
                    const std::function<Result(SoundReader&, int, const std::function<void()>&)>& readPart,
                    const std::function<void(std::vector<std::pair<int, Result>>&)>& take) {
    constexpr int kMaxThreads = 4;
    constexpr auto kTakeEvery = std::chrono::seconds(2);
    std::atomic<int> next{0};
    std::mutex lock;  // guards `done`
    std::vector<std::pair<int, Result>> done;
    auto cancelled = [&] { return cancel && cancel->load(std::memory_order_relaxed); };
    auto work = [&](SoundReader& reader, const std::function<void()>& tick, const std::function<void()>& partDone) {
        for (int p; !cancelled() && (p = next.fetch_add(1)) < parts;) {
            Result r = readPart(reader, p, tick);
            {
                std::lock_guard<std::mutex> hold(lock);
                done.emplace_back(p, std::move(r));
            }
            partDone();
        }
    };
    auto lastTaken = std::chrono::steady_clock::now();
    auto handOver = [&] {
        std::vector<std::pair<int, Result>> ready;
        {
            std::lock_guard<std::mutex> hold(lock);
            ready.swap(done);
        }
        lastTaken = std::chrono::steady_clock::now();
        if (!ready.empty()) take(ready);
    };
    const int threads = std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, kMaxThreads);
    std::vector<std::thread> helpers;
    const int64_t start = first.start();
    for (int i = 1; i < std::min(threads, parts); ++i)
        helpers.emplace_back([&, start] {
            SoundReader reader(cancel);
            if (reader.Open(path, start).ok())
                work(
                    reader, [] {}, [] {});
        });
    work(
        first,
        [&] {
            if (std::chrono::steady_clock::now() - lastTaken >= kTakeEvery) handOver();
        },
        handOver);
    // The caller's thread takes the parts the others finish while it waits for them.
    for (std::thread& t : helpers) {
        t.join();
        handOver();
    }
}

}  // namespace ulvane
