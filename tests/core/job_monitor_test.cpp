// The job monitor's decisions, without any window.
#include <gtest/gtest.h>

#include <map>

#include "core/job_monitor.h"
#include "tests/support/media_tools.h"

using namespace ulvane;

namespace {

struct FakeView : MonitorView {
    std::string current, overall;
    int fileBar = -1, overallBar = -1;
    std::map<int, std::pair<std::string, bool>> rows;
    bool timerStopped = false, closed = false;
    std::vector<std::string> messages, opened, offered;
    void SetCurrentLine(const std::string& t) override { current = t; }
    void SetOverallLine(const std::string& t) override { overall = t; }
    void SetFileBar(int p) override { fileBar = p; }
    void SetOverallBar(int p) override { overallBar = p; }
    // Each row's words and whether its tick was cleared.
    void MarkRow(int row, RowStatus s) override {
        static const char* const kWords[] = {"Ready", "Done", "Failed", "Stopped"};
        const bool cleared = s == RowStatus::kDone || (s == RowStatus::kFailed && rows.count(row) && rows[row].second);
        rows[row] = {kWords[static_cast<int>(s)], cleared};
    }
    void StopTimer() override { timerStopped = true; }
    void CloseProgress() override { closed = true; }
    void ShowMessage(const std::string& t) override { messages.push_back(t); }
    void Open(const std::string& t) override { opened.push_back(t); }
    void ShowOutput(const std::string& t, const std::string& output) override {
        messages.push_back(t);
        offered.push_back(output);
    }
};

MonitorTexts Texts() {
    MonitorTexts t;
    t.percentDone = "done";
    t.finishedOf = "of";
    t.filesFinished = "finished";
    t.cutSucceeded = "cut ok";
    t.cutFailed = "cut failed";
    t.joinSucceeded = "join ok";
    t.joinFailed = "join failed";
    t.joinKeptOthers = "kept the others";
    t.helpAddress = "help/english.html";
    t.jobStopped = "stopped";
    t.segmentOf = "segment %1 of %2";
    t.partOf = "part %1 of %2";
    t.segmentsCut = "cut into";
    t.segmentsJoined = "segments joined";
    t.outsideJoined = "outside joined";
    t.notExported = "not exported";
    t.exportFailed = "export failed";
    return t;
}

void StartCut(ConversionJob& job) {
    job.PrepareForJob(1);
    job.displayCount = 0;
    job.currentInput.store(0);
    job.inputStatus[0].store(kInputPending);
    job.progressPercent.store(40);
}

MonitorState CutState() {
    MonitorState s;
    s.cutSourcePath = "/v/clip.mp4";
    s.lastOutputFolder = "/out";
    return s;
}

}  // namespace

TEST(JobMonitor, ACutThatSucceeds) {
    ConversionJob job;
    StartCut(job);
    MonitorState state = CutState();
    FakeView view;
    MonitorTick(job, state, Texts(), view);
    EXPECT_EQ(view.current, "/v/clip.mp4   40% done");
    EXPECT_EQ(view.overall, "0 of 1 finished");  // a cut never raises the finished count
    EXPECT_EQ(view.fileBar, 40);
    EXPECT_EQ(view.overallBar, 0);
    EXPECT_EQ(job.displayCount, 1);
    EXPECT_FALSE(view.closed);
    // The worker finishes; the message names the file the cut made, which the user may open.
    job.outputPaths[0] = "/out/clip(3).mp4";
    job.inputStatus[0].store(kInputDone);
    job.progressPercent.store(100);
    job.currentInput.store(1);
    MonitorTick(job, state, Texts(), view);
    EXPECT_TRUE(view.timerStopped && view.closed);
    EXPECT_EQ(view.messages, std::vector<std::string>{"cut ok\n/out/clip(3).mp4"});
    EXPECT_EQ(view.offered, std::vector<std::string>{"/out/clip(3).mp4"});
    EXPECT_TRUE(view.opened.empty());
    EXPECT_EQ(job.currentInput.load(), 2);  // reported
    EXPECT_EQ(view.overall, "0 of 1 finished");
    // A further tick reports nothing again.
    MonitorTick(job, state, Texts(), view);
    EXPECT_EQ(view.messages.size(), 1u);
}

TEST(JobMonitor, ACutThatDidOtherThanAskedSaysSo) {
    ConversionJob job;
    StartCut(job);
    MonitorState state = CutState();
    FakeView view;
    job.notice = "exact cut not possible (its video is mpeg4); cut directly from the key frame before the start";
    job.outputPaths[0] = "/out/clip.mp4";
    job.inputStatus[0].store(kInputDone);
    job.currentInput.store(1);
    MonitorTick(job, state, Texts(), view);
    EXPECT_EQ(view.messages, std::vector<std::string>{"cut ok\n/out/clip.mp4\n\n(" + job.notice + ")"});
}

TEST(JobMonitor, ACutThatFailsOpensTheHelpPage) {
    ConversionJob job;
    StartCut(job);
    MonitorState state = CutState();
    FakeView view;
    job.inputPaths[0] = "/v/clip.mp4";
    job.inputError[0] = "no key frame found";
    job.inputStatus[0].store(kInputFailed);
    job.currentInput.store(1);
    MonitorTick(job, state, Texts(), view);
    // The message names the file and the reason.
    EXPECT_EQ(view.messages, std::vector<std::string>{"cut failed\n\nclip.mp4: no key frame found"});
    EXPECT_EQ(view.opened, std::vector<std::string>{"help/english.html"});
}

TEST(JobMonitor, AStoppedJobReportsNothing) {
    ConversionJob job;
    StartCut(job);
    MonitorState state = CutState();
    FakeView view;
    job.cancelRequested.store(true);
    MonitorTick(job, state, Texts(), view);
    EXPECT_TRUE(view.closed);
    EXPECT_TRUE(view.messages.empty());
    EXPECT_TRUE(view.opened.empty());
    // The worker then leaves the input with its status pending: still no report.
    job.currentInput.store(1);
    MonitorTick(job, state, Texts(), view);
    EXPECT_TRUE(view.messages.empty());
}

TEST(JobMonitor, AStopMarksTheFileInWorkAndSaysSo) {
    // The worker's last state before the stop (file 0 done, file 1 in work unless the job is
    // over), what the stop waits for, and what the user is then told.
    struct Case {
        const char* what;
        bool join;
        uint8_t first;       // file 0's status at the stop
        bool finishedFirst;  // the worker had finished before the stop reached it
        std::map<int, std::pair<std::string, bool>> rows;
        std::vector<std::string> messages, opened;
    };
    const Case cases[] = {
        {"a join stopped in its second file",
         true,
         kInputDone,
         false,
         {{0, {"Ready", false}}, {2, {"Stopped", false}}},
         {"stopped"},
         {}},
        {"a join whose first file had failed",
         true,
         kInputFailed,
         false,
         {{0, {"Failed", false}}, {2, {"Stopped", false}}},
         {"stopped"},
         {}},
        {"a cut", false, kInputPending, false, {}, {"stopped"}, {}},
        {"a cut finished before the stop", false, kInputDone, true, {}, {"cut ok\n/out/clip.mp4"}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ConversionJob job;
        MonitorState state = CutState();
        FakeView view;
        if (c.join) {
            job.PrepareForJob(3);
            job.displayCount = 3;
            state.joinTab = true;
            state.joinRows = {0, 2, 5};
            state.rowPaths = {"a", "x", "b", "y", "z", "c"};
            for (int k = 0; k < 3; ++k) job.inputStatus[k].store(kInputPending);
            job.inputStatus[0].store(c.first);
            job.currentInput.store(1);
            MonitorTick(job, state, Texts(), view);  // the rows as the last tick left them
        } else {
            StartCut(job);
            job.outputPaths[0] = "/out/clip.mp4";
            job.inputStatus[0].store(c.first);
            job.currentInput.store(c.finishedFirst ? 1 : 0);
        }
        MonitorStop(job, state, Texts(), view, [&] {
            // The worker sees the stop: the file in work stays pending, the ones done fail.
            if (c.finishedFirst) return;
            if (job.inputStatus[0].load() == kInputDone) job.inputStatus[0].store(kInputFailed);
        });
        EXPECT_TRUE(job.cancelRequested.load());
        EXPECT_TRUE(view.closed);
        EXPECT_EQ(view.rows, c.rows);
        EXPECT_EQ(view.messages, c.messages);
        EXPECT_EQ(view.opened, c.opened);
    }
}

TEST(JobMonitor, AJoinOfThreeThatAllSucceed) {
    ConversionJob job;
    job.PrepareForJob(3);
    job.displayCount = 3;
    MonitorState state;
    state.joinTab = true;
    state.joinRows = {0, 2, 5};
    state.rowPaths = {"a.mp4", "x", "b.mp4", "y", "z", "c.mp4"};
    state.lastOutputFolder = "/out";
    FakeView view;
    job.currentInput.store(1);
    job.inputStatus[0].store(kInputDone);
    job.progressPercent.store(10);
    MonitorTick(job, state, Texts(), view);
    EXPECT_EQ(view.current, "b.mp4   10% done");
    EXPECT_EQ(view.rows[0], std::make_pair(std::string("Done"), true));
    EXPECT_EQ(state.finishedInputs, 1);
    MonitorTick(job, state, Texts(), view);
    EXPECT_EQ(view.overall, "1 of 3 finished");
    EXPECT_EQ(view.overallBar, 33);
    job.inputStatus[1].store(kInputDone);
    job.inputStatus[2].store(kInputDone);
    job.outputPaths = {"/out/all.mp4", "/out/all.mp4", "/out/all.mp4"};
    job.currentInput.store(3);
    MonitorTick(job, state, Texts(), view);
    EXPECT_EQ(view.messages, std::vector<std::string>{"join ok\n/out/all.mp4"});
    EXPECT_EQ(view.offered, std::vector<std::string>{"/out/all.mp4"});
    // Every row is marked done and unticked, the last ones after the message.
    for (int row : {0, 2, 5}) EXPECT_EQ(view.rows[row], std::make_pair(std::string("Done"), true)) << row;
    EXPECT_TRUE(view.closed);
}

TEST(JobMonitor, AJoinWhoseSecondFileFails) {
    ConversionJob job;
    job.PrepareForJob(3);
    job.displayCount = 3;
    MonitorState state;
    state.joinTab = true;
    state.joinRows = {0, 1, 2};
    state.rowPaths = {"a", "b", "c"};
    FakeView view;
    job.inputStatus[0].store(kInputDone);
    job.currentInput.store(1);
    MonitorTick(job, state, Texts(), view);
    job.inputPaths = {"/v/a.mp4", "/v/b.mp4", "/v/c.mp4"};
    job.inputError[1] = "its video codec (hevc) differs";
    job.inputStatus[1].store(kInputFailed);
    job.inputStatus[2].store(kInputDone);
    job.currentInput.store(3);
    MonitorTick(job, state, Texts(), view);
    EXPECT_EQ(view.rows[0].first, "Done");
    EXPECT_EQ(view.rows[1], std::make_pair(std::string("Failed"), false));
    // No output file was left: the join failed, and the message says why.
    EXPECT_EQ(view.messages, std::vector<std::string>{"join failed\n\nb.mp4: its video codec (hevc) differs"});
    EXPECT_EQ(view.opened, std::vector<std::string>{"help/english.html"});
}

TEST(JobMonitor, AJoinThatLeftAFileOutNamesItAndTheOutput) {
    ulvane::test::TempDir dir;
    const std::string output = dir / "joined.mp4";
    ulvane::test::WriteFileBytes(output, "x");
    ConversionJob job;
    job.PrepareForJob(3);
    job.displayCount = 3;
    job.inputPaths = {"/v/a.mp4", "/v/b.mp4", "/v/c.mp4"};
    job.outputPaths = {output, output, output};
    job.inputError[2] = "cannot open the file as a media file";
    MonitorState state;
    state.joinTab = true;
    state.joinRows = {0, 1, 2};
    state.rowPaths = {"a", "b", "c"};
    state.lastOutputFolder = dir.path().string();
    FakeView view;
    job.inputStatus[0].store(kInputDone);
    job.inputStatus[1].store(kInputDone);
    job.inputStatus[2].store(kInputFailed);
    job.currentInput.store(3);
    MonitorTick(job, state, Texts(), view);
    EXPECT_EQ(view.messages,
              std::vector<std::string>{"kept the others\n\nc.mp4: cannot open the file as a media file\n\n" + output});
    EXPECT_EQ(view.opened, std::vector<std::string>{dir.path().string()});
}

namespace {

// A segments export of /v/clip.mp4 in `parts` inputs, the second labelled "Intro".
void StartExport(ConversionJob& job, MonitorState& state, int parts, bool separate, CutParts kind) {
    job.PrepareForJob(parts);
    job.displayCount = 0;
    job.separateOutputs = separate;
    for (int k = 0; k < parts; ++k) {
        job.inputPaths[static_cast<size_t>(k)] = "/v/clip.mp4";
        job.inputStatus[k].store(kInputPending);
    }
    job.currentInput.store(0);
    job.progressPercent.store(40);
    state = CutState();
    state.cutParts = kind;
    state.partLabels.assign(static_cast<size_t>(parts), "");
    if (kind == CutParts::kSegments && parts > 1) state.partLabels[1] = "Intro";
}

}  // namespace

TEST(JobMonitor, ASegmentsExportNamesThePartInWork) {
    struct Case {
        CutParts kind;
        int current;
        uint8_t first;  // the first part's status by then
        std::string line, overall;
        bool separate = true;
        std::vector<uint8_t> shares = {};  // the export's groups
    };
    const Case cases[] = {
        {CutParts::kSegments, 0, kInputPending, "/v/clip.mp4, segment 1 of 3   40% done", "0 of 3 finished"},
        {CutParts::kSegments, 1, kInputDone, "/v/clip.mp4, segment 2 of 3 (Intro)   40% done", "1 of 3 finished"},
        {CutParts::kSegments, 2, kInputFailed, "/v/clip.mp4, segment 3 of 3   40% done", "0 of 3 finished"},
        {CutParts::kOutside, 1, kInputDone, "/v/clip.mp4, part 2 of 3   40% done", "1 of 3 finished"},
        // Merged, three segments make one file.
        {CutParts::kSegments, 1, kInputDone, "/v/clip.mp4, segment 2 of 3 (Intro)   40% done", "0 of 1 finished",
         false},
        // The first two go into one file, which is finished with the second.
        {CutParts::kSegments,
         1,
         kInputDone,
         "/v/clip.mp4, segment 2 of 3 (Intro)   40% done",
         "0 of 2 finished",
         true,
         {0, 1, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        ConversionJob job;
        MonitorState state;
        StartExport(job, state, 3, c.separate, c.kind);
        job.sharesOutput = c.shares;
        job.inputStatus[0].store(c.first);
        job.currentInput.store(c.current);
        FakeView view;
        MonitorTick(job, state, Texts(), view);  // the first tick counts what is done
        MonitorTick(job, state, Texts(), view);
        EXPECT_EQ(view.current, c.line);
        EXPECT_EQ(view.overall, c.overall);
        EXPECT_EQ(view.overallBar, c.first == kInputDone ? 33 : 0);
        EXPECT_FALSE(view.closed);
        EXPECT_TRUE(view.messages.empty());
    }
}

TEST(JobMonitor, ASegmentsExportNamesEveryFileMadeEveryFailureAndEveryNote) {
    ulvane::test::TempDir dir;
    const std::string merged = dir / "clip.mp4";
    ulvane::test::WriteFileBytes(merged, "x");
    const std::string help = "help/english.html";
    struct Case {
        const char* what;
        bool separate;
        CutParts kind;
        std::vector<uint8_t> statuses;
        std::vector<std::string> outputs;  // after the job
        std::string notice;
        std::string message, offered, opened;
    };
    const uint8_t done = kInputDone, failed = kInputFailed;
    const Case cases[] = {
        {"separate files, each made",
         true,
         CutParts::kSegments,
         {done, done, done},
         {"/out/clip 1.mp4", "/out/clip Intro(1).mp4", "/out/clip 3.mp4"},
         "note a; note b",
         "cut into\n/out/clip 1.mp4\n/out/clip Intro(1).mp4\n/out/clip 3.mp4\n\n(note a)\n(note b)",
         "/out/clip 1.mp4",
         ""},
        {"separate files, the second failed",
         true,
         CutParts::kSegments,
         {done, failed, done},
         {"/out/clip 1.mp4", "/out/clip Intro.mp4", "/out/clip 3.mp4"},
         "",
         "cut into\n/out/clip 1.mp4\n/out/clip 3.mp4\n\nnot exported\nsegment 2 of 3 (Intro): reason 1",
         "/out/clip 1.mp4",
         ""},
        {"separate files, none made",
         true,
         CutParts::kSegments,
         {failed, failed, failed},
         {"/out/clip 1.mp4", "/out/clip Intro.mp4", "/out/clip 3.mp4"},
         "",
         "export failed\n\nsegment 1 of 3: reason 0\nsegment 2 of 3 (Intro): reason 1\nsegment 3 of 3: reason 2",
         "",
         help},
        {"the segments merged",
         false,
         CutParts::kSegments,
         {done, done, done},
         {merged, merged, merged},
         "tracks left out: subrip",
         "segments joined\n" + merged + "\n\n(tracks left out: subrip)",
         merged,
         ""},
        {"what lies outside them merged",
         false,
         CutParts::kOutside,
         {done, done, done},
         {"/out/clip(2).mp4", "/out/clip(2).mp4", "/out/clip(2).mp4"},
         "",
         "outside joined\n/out/clip(2).mp4",
         "/out/clip(2).mp4",
         ""},
        {"a merge that left a segment out",
         false,
         CutParts::kSegments,
         {done, failed, done},
         {merged, merged, merged},
         "",
         "segments joined\n" + merged + "\n\nnot exported\nsegment 2 of 3 (Intro): reason 1",
         merged,
         ""},
        {"a merge whose file was not made",
         false,
         CutParts::kOutside,
         {done, failed, done},
         {"/out/none.mp4", "/out/none.mp4", "/out/none.mp4"},
         "",
         "export failed\n\npart 2 of 3: reason 1",
         "",
         help},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ConversionJob job;
        MonitorState state;
        StartExport(job, state, 3, c.separate, c.kind);
        FakeView view;
        MonitorTick(job, state, Texts(), view);
        for (size_t k = 0; k < 3; ++k) {
            job.inputStatus[k].store(c.statuses[k]);
            job.outputPaths[k] = c.outputs[k];
            if (c.statuses[k] == kInputFailed) job.inputError[k] = "reason " + std::to_string(k);
        }
        job.notice = c.notice;
        // The worker reaches 100 when it closes a merged file whole.
        job.progressPercent.store(c.offered.empty() ? 60 : 100);
        job.currentInput.store(3);
        MonitorTick(job, state, Texts(), view);
        EXPECT_TRUE(view.closed);
        EXPECT_EQ(view.messages, std::vector<std::string>{c.message});
        EXPECT_EQ(view.offered, c.offered.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.offered});
        EXPECT_EQ(view.opened, c.opened.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.opened});
        EXPECT_TRUE(view.rows.empty()) << "no join row is touched";
        MonitorTick(job, state, Texts(), view);
        EXPECT_EQ(view.messages.size(), 1u) << "reported once";
    }
}

TEST(JobMonitor, AStoppedExportNamesTheSeparateFilesItFinished) {
    ulvane::test::TempDir dir;
    const std::string first = dir / "clip 1.mp4";
    ulvane::test::WriteFileBytes(first, "x");
    struct Case {
        bool separate;
        std::string message;
    };
    for (const Case& c : {Case{true, "stopped\n\ncut into\n" + first}, Case{false, "stopped"}}) {
        SCOPED_TRACE(c.message);
        ConversionJob job;
        MonitorState state;
        StartExport(job, state, 3, c.separate, CutParts::kSegments);
        job.outputPaths = {first, dir / "clip Intro.mp4", dir / "clip 3.mp4"};
        job.inputStatus[0].store(kInputDone);
        job.currentInput.store(1);
        FakeView view;
        MonitorStop(job, state, Texts(), view, [] {});
        EXPECT_TRUE(job.cancelRequested.load());
        EXPECT_EQ(view.messages, std::vector<std::string>{c.message});
        EXPECT_TRUE(view.opened.empty());
    }
}
