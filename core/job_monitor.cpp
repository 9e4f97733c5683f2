// The job monitor.
#include "core/job_monitor.h"

#include "core/output_naming.h"

#include <algorithm>

namespace ulvane {

namespace {

// Each failed input's file name and the engine's reason, one paragraph, at most ten files.
std::string FailureList(const ConversionJob& job, int count) {
    constexpr int kShown = 10;
    std::string list;
    int failed = 0;
    for (int k = 0; k < count && k <= kMaxInputs; ++k) {
        if (job.inputStatus[k].load() != kInputFailed) continue;
        if (++failed > kShown) continue;
        const size_t at = static_cast<size_t>(k);
        const std::string name = at < job.inputPaths.size() ? std::string(FileNamePart(job.inputPaths[at])) : "";
        const std::string reason = at < job.inputError.size() ? job.inputError[at] : "";
        list += "\n" + name + ": " + (reason.empty() ? "?" : reason);
    }
    if (failed > kShown) list += "\n(+" + std::to_string(failed - kShown) + ")";
    return list.empty() ? list : "\n" + list;
}

}  // namespace

void MonitorClose(ConversionJob& job, MonitorView& view) {
    view.StopTimer();
    job.cancelRequested.store(true);
    view.CloseProgress();
}

namespace {

// The list row of a join input, or -1.
int RowOf(const MonitorState& state, int input) {
    return input >= 0 && static_cast<size_t>(input) < state.joinRows.size() ? state.joinRows[input] : -1;
}

// The progress lines and bars.
void ShowProgress(ConversionJob& job, const MonitorState& state, const MonitorTexts& texts, MonitorView& view,
                  int count) {
    const int current = job.currentInput.load();
    std::string name = state.cutSourcePath;
    if (state.joinTab) {
        const int row = RowOf(state, current);
        name = row >= 0 && static_cast<size_t>(row) < state.rowPaths.size() ? state.rowPaths[row] : std::string();
    }
    const int percent = job.progressPercent.load();
    if (percent >= 0 && current < count)
        view.SetCurrentLine(name + "   " + std::to_string(percent) + "% " + texts.percentDone);
    view.SetOverallLine(std::to_string(state.finishedInputs) + " " + texts.finishedOf + " " + std::to_string(count) +
                        " " + texts.filesFinished);
    view.SetOverallBar(job.displayCount > 0 ? state.finishedInputs * 100 / job.displayCount : 0);
    if (percent >= 0 && percent <= 100) view.SetFileBar(percent);
}

// What the job did other than asked (an exact cut that fell back, tracks the container
// could not hold) is told with its success.
std::string WithNotice(const std::string& message, const ConversionJob& job) {
    return job.notice.empty() ? message : message + "\n\n(" + job.notice + ")";
}

// The success of a job, naming the file it made (the name it got in the end).
void ReportOutput(const std::string& succeeded, const ConversionJob& job, const MonitorState& state,
                  MonitorView& view) {
    if (job.outputPaths.empty() || job.outputPaths[0].empty()) {
        view.ShowMessage(WithNotice(succeeded, job));
        view.Open(state.lastOutputFolder);
        return;
    }
    view.ShowOutput(WithNotice(succeeded + "\n" + job.outputPaths[0], job), job.outputPaths[0]);
}

// A join: rows marked as the worker passes them, and the report once it is over.
void FollowJoin(ConversionJob& job, MonitorState& state, const MonitorTexts& texts, MonitorView& view, int count) {
    // Every input the worker is past gets its row marked first, so that no row still
    // says "ready" when the result is shown.
    const int past = std::min(job.currentInput.load(), count);
    for (int index = 0; index < past && index <= kMaxInputs; ++index) {
        const uint8_t status = job.inputStatus[index].load();
        const int row = RowOf(state, index);
        if (status == kInputFailed && row >= 0) view.MarkRow(row, RowStatus::kFailed);
        if (status == kInputDone) {
            state.finishedInputs = past;
            if (row >= 0) view.MarkRow(row, RowStatus::kDone);
        }
    }
    if (job.currentInput.load() != count) return;
    job.currentInput.store(count + 1);
    MonitorClose(job, view);
    bool anyFailed = false, anyDone = false;
    for (int k = 0; k < count && k <= kMaxInputs; ++k) {
        anyFailed |= job.inputStatus[k].load() == kInputFailed;
        anyDone |= job.inputStatus[k].load() == kInputDone;
    }
    if (!anyFailed) {
        ReportOutput(texts.joinSucceeded, job, state, view);
    } else if (anyDone && !job.outputPaths.empty() && PathExists(job.outputPaths[0])) {
        // The failed files were left out; the output holds the others.
        view.ShowMessage(texts.joinKeptOthers + FailureList(job, count) + "\n\n" + job.outputPaths[0]);
        view.Open(state.lastOutputFolder);
    } else {
        view.ShowMessage(texts.joinFailed + FailureList(job, count));
        view.Open(texts.helpAddress);
    }
}

// A cut: the report once it is over.
void FollowCut(ConversionJob& job, const MonitorState& state, const MonitorTexts& texts, MonitorView& view, int count) {
    if (job.currentInput.load() != count || count < 1) return;
    job.currentInput.store(count + 1);
    MonitorClose(job, view);
    const uint8_t status = job.inputStatus[0].load();
    if (status == kInputDone) {
        ReportOutput(texts.cutSucceeded, job, state, view);
    } else if (status == kInputFailed) {
        view.ShowMessage(texts.cutFailed + FailureList(job, count));
        view.Open(texts.helpAddress);
    }
}

}  // namespace

void MonitorStop(ConversionJob& job, MonitorState& state, const MonitorTexts& texts, MonitorView& view,
                 const std::function<void()>& waitForWorker) {
    const int count = std::min(state.joinTab ? job.displayCount : (job.displayCount = 1), kMaxInputs);
    // Which files had failed in their own right before the stop: the worker fails the ones
    // done too once their output is gone.
    std::vector<bool> failedBefore(static_cast<size_t>(std::max(count, 0)));
    for (int k = 0; k < count; ++k) failedBefore[static_cast<size_t>(k)] = job.inputStatus[k].load() == kInputFailed;
    MonitorClose(job, view);
    waitForWorker();
    // The worker leaves the file it was stopped in pending.
    int stoppedAt = -1;
    for (int k = 0; k < count && stoppedAt < 0; ++k)
        if (job.inputStatus[k].load() == kInputPending) stoppedAt = k;
    if (stoppedAt < 0) {
        if (state.joinTab)
            FollowJoin(job, state, texts, view, count);
        else
            FollowCut(job, state, texts, view, count);
        return;
    }
    for (int k = 0; state.joinTab && k <= stoppedAt; ++k) {
        const int row = RowOf(state, k);
        if (row < 0) continue;
        if (k == stoppedAt)
            view.MarkRow(row, RowStatus::kStopped);
        else if (!failedBefore[static_cast<size_t>(k)])
            view.MarkRow(row, RowStatus::kReady);
    }
    state.finishedInputs = 0;
    view.ShowMessage(texts.jobStopped);
}

void MonitorTick(ConversionJob& job, MonitorState& state, const MonitorTexts& texts, MonitorView& view) {
    int count = job.displayCount;
    if (!state.joinTab) count = job.displayCount = 1;
    ShowProgress(job, state, texts, view, count);
    if (job.cancelRequested.load()) {
        // Stopped by the user: the dialog closes, and nothing is reported.
        MonitorClose(job, view);
        return;
    }
    if (state.joinTab)
        FollowJoin(job, state, texts, view, count);
    else
        FollowCut(job, state, texts, view, count);
}

}  // namespace ulvane
