// Construction and per-job reset of the job record.
#include "engine/conversion_job.h"

namespace ulvane {

ConversionJob::ConversionJob() {
    for (auto& s : inputStatus) s.store(kInputPending, std::memory_order_relaxed);
}

void ConversionJob::PrepareForJob(int32_t inputs) {
    inputCount = inputs;
    const size_t n = inputs > 0 ? static_cast<size_t>(inputs) : 0;
    inputPaths.assign(n, {});
    outputPaths.assign(n, {});
    segmentStart.assign(n, 0.0);
    segmentEnd.assign(n, 0.0);
    segmentLength.assign(n, 0.0);
    segmentUsed.assign(n, 0);
    clipLabels.assign(n, {});
    keepTracks.assign(n, {});
    separateOutputs = false;
    sharesOutput.clear();
    clipChapters = false;
    inputError.assign(n, {});
    notice.clear();
    exactCut = false;
    part = OutputPart{};
    currentInput.store(-1);
    cancelRequested.store(false);
    progressPercent.store(0);
}

}  // namespace ulvane
