// What a finished job made and why it failed, from its record and from its process: the
// facts every front end words.
#include <gtest/gtest.h>

#include "core/job_outcome.h"

using namespace ulvane;

namespace {

struct RecordCase {
    const char* name;
    bool separate;
    std::vector<uint8_t> statuses;
    int percent;
    bool cancelled;
    JobEnd end;
    std::vector<std::string> made;
};

// A merge of three clips makes one file, named once however many inputs went into it; files of
// their own are named for the inputs that made them; a stop is a stop even where it failed a read.
TEST(JobOutcome, ARecordNamesEachFileItMadeOnce) {
    const RecordCase cases[] = {
        {"merged", false, {kInputDone, kInputDone, kInputDone}, 100, false, JobEnd::kDone, {"out0"}},
        {"separate, one failed",
         true,
         {kInputDone, kInputFailed, kInputDone},
         100,
         false,
         JobEnd::kFailed,
         {"out0", "out2"}},
        {"merged, stopped", false, {kInputDone, kInputFailed, kInputPending}, 40, true, JobEnd::kStopped, {}},
        {"merged, a file left out",
         false,
         {kInputDone, kInputFailed, kInputDone},
         100,
         false,
         JobEnd::kFailed,
         {"out0"}},
        {"merged, not written", false, {kInputFailed, kInputFailed, kInputFailed}, 0, false, JobEnd::kFailed, {}},
    };
    for (const RecordCase& c : cases) {
        SCOPED_TRACE(c.name);
        ConversionJob job;
        job.inputCount = static_cast<int>(c.statuses.size());
        job.separateOutputs = c.separate;
        job.outputPaths = {"out0", "out1", "out2"};
        job.inputError = {"", "no video", ""};
        for (size_t i = 0; i < c.statuses.size(); ++i) job.inputStatus[i].store(c.statuses[i]);
        job.progressPercent.store(c.percent);
        job.cancelRequested.store(c.cancelled);
        const JobOutcome o = RecordOutcome(job);
        EXPECT_EQ(o.end, c.end);
        EXPECT_EQ(o.made, c.made);
        if (c.end == JobEnd::kFailed) {
            EXPECT_EQ(o.fault, JobFault::kReason);
            EXPECT_EQ(o.reason, "no video");
        }
    }
}

TEST(JobOutcome, AProcessEndIsReadOnce) {
    struct Case {
        const char* name;
        ProcessEnd end;
        JobEnd state;
        JobFault fault;
        std::vector<std::string> made;
        std::string reason;
    };
    const Case cases[] = {
        {"two files",
         {true, false, 0, 0, false, "a.mp4\n\nb.mp4\n", "progress 100%\n"},
         JobEnd::kDone,
         JobFault::kNone,
         {"a.mp4", "b.mp4"},
         ""},
        {"made before",
         {true, false, 0, 0, false, "a.mp4\n", "note: made before, skipped: a.mp4\n"},
         JobEnd::kSkipped,
         JobFault::kNone,
         {"a.mp4"},
         ""},
        {"its reason",
         {true, false, 0, 1, false, "", "failed: a.mp4: no video\nprogress 3%\n"},
         JobEnd::kFailed,
         JobFault::kReason,
         {},
         "failed: a.mp4: no video"},
        {"stopped", {true, false, 0, 1, true, "", "ulvane-cli: stopped\n"}, JobEnd::kStopped, JobFault::kNone, {}, ""},
        {"killed", {true, true, 9, -1, false, "", ""}, JobEnd::kFailed, JobFault::kSignal, {}, ""},
        {"no exec", {true, false, 0, 127, false, "", ""}, JobEnd::kFailed, JobFault::kNotStarted, {}, ""},
        {"not started", {false, false, 0, -1, false, "", ""}, JobEnd::kFailed, JobFault::kNotStarted, {}, ""},
        {"silent", {true, false, 0, 3, false, "", "progress 5%\n"}, JobEnd::kFailed, JobFault::kSilent, {}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const JobOutcome o = ProcessOutcome(c.end);
        EXPECT_EQ(o.end, c.state);
        EXPECT_EQ(o.fault, c.fault);
        EXPECT_EQ(o.made, c.made);
        EXPECT_EQ(o.reason, c.reason);
    }
}

}  // namespace
