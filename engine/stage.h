// What the two kinds of input processing (copy and re-encode) share: the part of an
// input to take and how progress and cancellation reach them. Both report a Status:
// done (the input was taken fully, or up to a read error), failed, or cancelled.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>

namespace ulvane {

// The part of one input that goes into the output, in microseconds of the input's own
// timeline (container start time included).
struct InputWindow {
    bool cut = false;  // false: the whole input
    int64_t startMicros = std::numeric_limits<int64_t>::min();
    int64_t endMicros = std::numeric_limits<int64_t>::max();
};

struct StageContext {
    InputWindow window;
    int64_t offsetMicros = 0;  // where this input begins in the output
    // Another input's pictures and sound come before this one's (a join): its pictures follow
    // on from offsetMicros, where the pictures before end, and its sound from soundEndMicros.
    bool follows = false;
    int64_t soundEndMicros = 0;
    // Another input follows this one in the output: its last picture shows whole, so that the
    // pictures after it keep their beat.
    bool followed = false;
    // The inputs of this join code their H.264/HEVC pictures with different parameter sets:
    // each key frame copied gets its input's sets before it, so that a reader that seeks
    // there decodes it with its own sets.
    bool repeatParameterSets = false;
    // A part of a re-encoding (see OutputPart): pictures shown before `picturesFrom` or from
    // `picturesTo` on (source times of this input's own timeline) are decoded but not encoded;
    // `passOver` only times the input (from its packets) to place the inputs after it.
    int64_t picturesFrom = std::numeric_limits<int64_t>::min();
    int64_t picturesTo = std::numeric_limits<int64_t>::max();
    bool passOver = false;
    std::function<void(int64_t)> onProgress;  // output clock reached, microseconds
    const std::atomic<bool>* cancel = nullptr;

    bool cancelled() const { return cancel && cancel->load(std::memory_order_relaxed); }

    // Which sound frame starts a following input, when its pictures move by `pictureShift`
    // and the candidate starts at `firstMicros` of its source and lasts `frameMicros`: +1 leave
    // it out (the next one starts, and this one becomes the frame before it), -1 put the frame
    // before it first, 0 start with it. The length is the codec's (see SoundPacketMicros): a
    // length rounded to the container's time base could say +1 for one frame and -1 for the
    // next. Run on from the sound before, the chosen frame keeps the sound within half a frame
    // of its pictures.
    int SoundSeamChoice(int64_t pictureShift, int64_t firstMicros, int64_t frameMicros) const {
        if (!follows || frameMicros <= 0 || firstMicros == std::numeric_limits<int64_t>::min()) return 0;
        const int64_t lag = soundEndMicros - firstMicros - pictureShift;  // how late the sound would play
        if (lag > 2 * frameMicros || lag < -2 * frameMicros) return 0;    // not sound that runs on
        return lag > frameMicros / 2 ? 1 : lag < -frameMicros / 2 ? -1 : 0;
    }

    // The shift of a following input's sound, whose first frame kept starts at `firstMicros`
    // of its source and lasts `frameMicros`, when its pictures move by `pictureShift`. Players
    // play sound frames one after the other whatever their times say, so a gap or an overlap
    // at a seam would move all later sound against its pictures, more at every seam. The sound
    // therefore runs on right after the sound before, as long as that keeps it within one frame
    // of its pictures (SoundSeamChoice keeps it within half); the error never adds up.
    int64_t SoundShift(int64_t pictureShift, int64_t firstMicros, int64_t frameMicros) const {
        if (!follows || firstMicros == std::numeric_limits<int64_t>::min()) return pictureShift;
        const int64_t joined = soundEndMicros - firstMicros;
        const int64_t apart = joined > pictureShift ? joined - pictureShift : pictureShift - joined;
        return apart <= frameMicros ? joined : pictureShift;
    }
};

// Adds `text` to what a job tells besides its result.
inline void AddNotice(std::string& notice, const std::string& text) {
    if (!text.empty()) notice += (notice.empty() ? "" : "; ") + text;
}

}  // namespace ulvane
