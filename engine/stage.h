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
    // The inputs of this join code their H.264/HEVC pictures with different parameter sets:
    // each key frame copied gets its input's sets before it, so that a reader that seeks
    // there decodes it with its own sets.
    bool repeatParameterSets = false;
    std::function<void(int64_t)> onProgress;  // output clock reached, microseconds
    const std::atomic<bool>* cancel = nullptr;

    bool cancelled() const { return cancel && cancel->load(std::memory_order_relaxed); }
};

// Adds `text` to what a job tells besides its result.
inline void AddNotice(std::string& notice, const std::string& text) {
    if (!text.empty()) notice += (notice.empty() ? "" : "; ") + text;
}

}  // namespace ulvane
