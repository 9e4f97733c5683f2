// What became of a job, read in one place: the state it ended in, the files it made and why
// it failed, from a finished job record or from a finished ulvane-cli process. The command
// line, batch, the window's queue and the progress dialog read these facts and choose their
// own words.
#pragma once

#include <string>
#include <vector>

#include "engine/conversion_job.h"

namespace ulvane {

enum class JobEnd {
    kDone,     // every file it was to make is made
    kSkipped,  // done by an earlier run (--skip-done): nothing made now, the files are there
    kFailed,
    kStopped,  // stopped when asked, or never started because of it
};

// Why a failed job failed, where no reason in words came with it.
enum class JobFault {
    kNone,
    kReason,      // `reason` holds the job's own words
    kNotStarted,  // the process could not be started
    kSignal,      // ended by `signal`
    kCrashed,     // ended abnormally, the signal unknown
    kSilent,      // failed with exit status `exitCode` and said nothing
};

struct JobOutcome {
    JobEnd end = JobEnd::kDone;
    std::vector<std::string> made;  // the files made, in the order of the job's outputs
    JobFault fault = JobFault::kNone;
    std::string reason;  // kReason: the first failure's own words
    int signal = 0;      // kSignal
    int exitCode = 0;    // kSilent
    // A record's inputs that failed, and those left unfinished by a stop.
    std::vector<int> failedInputs, unfinishedInputs;

    bool succeeded() const { return end == JobEnd::kDone || end == JobEnd::kSkipped; }
};

// A record whose worker has finished. A file made is one the job completed: where inputs make
// files of their own (or a group of them one), each file of a done input, named once; else the
// one output when it reached the end.
JobOutcome RecordOutcome(const ConversionJob& job);

// How a ulvane-cli job process ended, and what it wrote.
struct ProcessEnd {
    bool started = true;
    bool crashed = false;  // ended by a signal
    int signal = 0;        // that signal, where known (0 otherwise)
    int exitCode = 0;
    bool stopAsked = false;  // it was told to stop
    std::string out, err;
};

// A finished process: the files it printed on standard output, one a line, and the reason its
// error lines give (FailureReason).
JobOutcome ProcessOutcome(const ProcessEnd& end);

}  // namespace ulvane
