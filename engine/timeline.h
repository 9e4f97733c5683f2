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

// The main sound track's level over time: bin k covers [k, k+1) * binMicros from the file's
// start. Levels are of the channels mixed, 0..1 of full scale.
struct Waveform {
    int64_t binMicros = 0;
    std::vector<float> peak;  // the largest magnitude of a sample in the bin
    std::vector<float> rms;   // root mean square over the bin
};

// The waveform of the main sound track with bins of `binMicros`, decoding only the sound
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
