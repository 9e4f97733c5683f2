// What became of a job, from its record or from its process.
#include "core/job_outcome.h"

#include <sstream>

#include "core/job_words.h"

namespace ulvane {

JobOutcome RecordOutcome(const ConversionJob& job) {
    JobOutcome o;
    for (int i = 0; i < job.inputCount; ++i) {
        const uint8_t s = job.inputStatus[static_cast<size_t>(i)].load();
        if (s == kInputDone) {
            // The inputs of one file stand together and share its name: it is named once.
            if (job.separateOutputs && static_cast<size_t>(i) < job.outputPaths.size() &&
                (o.made.empty() || o.made.back() != job.outputPaths[static_cast<size_t>(i)]))
                o.made.push_back(job.outputPaths[static_cast<size_t>(i)]);
        } else if (s == kInputFailed) {
            o.failedInputs.push_back(i);
            if (o.reason.empty() && static_cast<size_t>(i) < job.inputError.size())
                o.reason = job.inputError[static_cast<size_t>(i)];
        } else {
            o.unfinishedInputs.push_back(i);
        }
    }
    // One output holds the name it got only once it is complete; any other file under the
    // name asked for is not this job's.
    if (!job.separateOutputs && job.progressPercent.load() == 100 && !job.outputPaths.empty())
        o.made.push_back(job.outputPaths[0]);
    if (o.failedInputs.empty() && o.unfinishedInputs.empty()) return o;
    // A stop ends what it interrupts as unfinished, and a failure it caused (a read cut short)
    // is the stop's too.
    if (job.cancelRequested.load() || o.failedInputs.empty()) {
        o.end = JobEnd::kStopped;
        return o;
    }
    o.end = JobEnd::kFailed;
    o.fault = o.reason.empty() ? JobFault::kSilent : JobFault::kReason;
    o.exitCode = 1;
    return o;
}

JobOutcome ProcessOutcome(const ProcessEnd& end) {
    JobOutcome o;
    o.exitCode = end.exitCode;
    if (end.started && !end.crashed && end.exitCode == 0) {
        std::istringstream lines(end.out);
        for (std::string line; std::getline(lines, line);)
            if (!line.empty()) o.made.push_back(line);
        // --skip-done says so for each file it found made.
        if (end.err.find("note: made before") != std::string::npos) o.end = JobEnd::kSkipped;
        return o;
    }
    if (end.stopAsked) {
        o.end = JobEnd::kStopped;
        return o;
    }
    o.end = JobEnd::kFailed;
    o.signal = end.signal;
    o.reason = end.crashed ? std::string() : FailureReason(end.err);
    // The child's exec failing exits 127 before it can say a word.
    if (!end.started || (end.exitCode == 127 && end.err.empty()))
        o.fault = JobFault::kNotStarted;
    else if (end.crashed)
        o.fault = end.signal > 0 ? JobFault::kSignal : JobFault::kCrashed;
    else
        o.fault = o.reason.empty() ? JobFault::kSilent : JobFault::kReason;
    return o;
}

}  // namespace ulvane
