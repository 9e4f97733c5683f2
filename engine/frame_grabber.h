// The frame grabber: one picture of a file at a time, written as the 320x240 snapshot
// bitmap the preview draws.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace ulvane {

inline constexpr int kSnapshotWidth = 320;
inline constexpr int kSnapshotHeight = 240;
inline constexpr size_t kSnapshotFileSize = 54 + kSnapshotWidth * kSnapshotHeight * 3;  // 230454

// A 24-bit bottom-up BMP of a 320x240 BGR picture given top row first.
std::vector<uint8_t> SnapshotBitmap(const uint8_t* bgrTopDown, int stride);

class MediaInput;

// A picture as the preview shows it: upright, the source's shape kept, fitted in the
// preview's box without bars; RGB, 3 bytes a pixel, rows top first without padding.
struct ShownPicture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
};

// Grabs pictures from one file after another; keeps the last file open, so that the many
// grabs of a seek-bar drag over the same file cost a seek and a decode each.
class FrameGrabber {
public:
    FrameGrabber();
    ~FrameGrabber();
    FrameGrabber(const FrameGrabber&) = delete;
    FrameGrabber& operator=(const FrameGrabber&) = delete;

    // Writes the snapshot of `path` at `seconds` (counted from the file's start) to
    // `snapshotPath`: the first picture after a backward seek to the key frame at or
    // before that time. Returns false, with `error`, when no picture was written; the
    // file at `snapshotPath` is then untouched.
    bool Grab(const std::string& path, double seconds, const std::string& snapshotPath, std::string& error);
    // The same, and the same picture for a box of `boxWidth` x `boxHeight` pixels in `shown`
    // (when the box is empty, `shown` is left empty). `shown` is untouched on failure.
    bool Grab(const std::string& path, double seconds, const std::string& snapshotPath, int boxWidth, int boxHeight,
              ShownPicture& shown, std::string& error);

    // The picture on screen at `seconds` exactly (decoded on from the key frame before it),
    // fitted for the box as in Grab; no snapshot file is written. `shownFrom` and `shownFor`:
    // when that picture starts to show and for how long, microseconds from the file's start.
    bool GrabExact(const std::string& path, double seconds, int boxWidth, int boxHeight, ShownPicture& shown,
                   int64_t& shownFrom, int64_t& shownFor, std::string& error);

    // Closes the file kept open.
    void Release();

private:
    struct State;
    std::unique_ptr<State> s_;
};

}  // namespace ulvane
