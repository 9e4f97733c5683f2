// What the timeline strip shows of a file, computed in the background: the main sound's
// waveform (peak and loudness per bin) and thumbnails at chosen times. Each function runs on
// the caller's thread (a worker of the window's), opens the file with decoders of its own,
// hands out its results as they come and stops soon after `cancel` is set.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace ulvane {

// The main sound track's level over time: bin k covers fromMicros + [k, k+1) * binMicros from
// the file's start. Levels are of the channels mixed, 0..1 of full scale.
struct Waveform {
    int64_t binMicros = 0;
    int64_t fromMicros = 0;
    std::vector<float> peak;  // the largest magnitude of a sample in the bin
    std::vector<float> rms;   // root mean square over the bin
};

// The main sound's levels kept at a fine grain (the largest magnitude, the sum of squares and
// the count of samples of each grain), from which the levels of any coarser bins are reduced
// without decoding again: a zoom or the overview. Grains lie on the file's timeline as the
// waveform's bins do (samples by their frames' times). It knows which stretches it holds: the
// whole file once SummariseSound ran through, or the stretches SummariseSoundRange read.
// A 2-hour file at 3.6 ms grains is 2 million grains, 24 MB.
class SoundSummary {
public:
    int64_t grainMicros() const { return grain_; }
    int64_t durationMicros() const { return duration_; }
    // Whether every grain of [from, to) (clipped to the file) is summarised.
    bool Covers(int64_t fromMicros, int64_t toMicros) const;
    // The levels of bins of `binMicros` (rounded down to a multiple of the grain, at least one)
    // covering [fromMicros, toMicros): the first bin starts at or before `fromMicros`.
    Waveform Reduce(int64_t binMicros, int64_t fromMicros, int64_t toMicros) const;

private:
    friend struct SummaryAccess;
    static constexpr int64_t kChunkMicros = 2'000'000;  // what a stretch read is rounded out to
    int64_t grain_ = 0, duration_ = 0, chunkGrains_ = 1;
    std::vector<float> peak_, squares_;
    std::vector<uint32_t> count_;
    std::vector<bool> chunks_;  // chunk c (grains [c, c+1) * chunkGrains_) is summarised
};

// Summarises the main sound of `path` at grains of `grainMicros`, reading it once (in parts on
// a few threads where the file allows, as ComputeWaveform). `progress` (may be empty) is called
// now and then with the summary so far and the share done. False, with `error`, when the file
// has no sound or cannot be read; on cancel true with what was read so far (not marked held).
bool SummariseSound(const std::string& path, int64_t grainMicros, const std::atomic<bool>& cancel,
                    const std::function<void(const SoundSummary&, double)>& progress, SoundSummary& out,
                    std::string& error);
// Adds to `summary` (made afresh when its grain is another) the stretches of [fromMicros,
// toMicros) it lacks, rounded out to whole chunks of 2 s, seeking to each: nothing before it is
// read. False, with `error`, when the file cannot be read or sought there; on cancel true, with
// nothing added.
bool SummariseSoundRange(const std::string& path, int64_t grainMicros, int64_t fromMicros, int64_t toMicros,
                         const std::atomic<bool>& cancel, SoundSummary& summary, std::string& error);

// The waveform of the main sound track with bins of `binMicros` (its summary at that grain,
// reduced whole), decoding only the sound
// (video packets are skipped unread where the container allows). `progress` (may be empty)
// is called now and then with the bins so far (the whole Waveform, growing) so a strip can
// fill in. Returns false, with `error`, when the file has no sound or cannot be read; on
// cancel returns true with what was computed so far.
bool ComputeWaveform(const std::string& path, int64_t binMicros, const std::atomic<bool>& cancel,
                     const std::function<void(const Waveform&)>& progress, Waveform& out, std::string& error);

// A small picture of the file, upright, RGB 3 bytes a pixel, rows top first without padding.
struct Thumbnail {
    int64_t atMicros = 0;     // the time asked for
    int64_t shownMicros = 0;  // when the picture given starts to show (a key frame's time when `exact` is false)
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
};

// Thumbnails at `times` (microseconds, rising), each fitted in `height` pixels high keeping
// the picture's shape. `exact` false: the key frame at or before each time, decoded alone
// (fast: no picture after it is decoded; times that share a key frame share its picture);
// true: the very picture on screen at each time. `ready` is called for each as it is made,
// in order. Returns false, with `error`, when the file has no video or cannot be read.
bool ComputeThumbnails(const std::string& path, const std::vector<int64_t>& times, int height, bool exact,
                       const std::atomic<bool>& cancel, const std::function<void(Thumbnail&&)>& ready,
                       std::string& error);

}  // namespace ulvane
