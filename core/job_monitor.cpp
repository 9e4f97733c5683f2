// The job monitor.
#include "core/job_monitor.h"

#include "core/job_outcome.h"
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

// `pattern` with "%1" and "%2" replaced by the numbers.
std::string Numbered(std::string pattern, int first, int second) {
    for (const auto& [place, value] : {std::pair{"%1", first}, std::pair{"%2", second}})
        if (const size_t at = pattern.find(place); at != std::string::npos)
            pattern.replace(at, 2, std::to_string(value));
    return pattern;
}

bool ExportsParts(const MonitorState& state) {
    return !state.joinTab && state.cutParts != CutParts::kCut;
}

// How many inputs the monitor follows: a cut's one, or every input of a join or an export.
int InputsFollowed(ConversionJob& job, const MonitorState& state) {
    if (state.joinTab) return std::min(job.displayCount, kMaxInputs);
    job.displayCount = ExportsParts(state) ? std::min(job.inputCount, kMaxInputs) : 1;
    return job.displayCount;
}

// "segment 2 of 5 (Intro)": input `k` of a segments export.
std::string PartName(const MonitorState& state, const MonitorTexts& texts, int k, int count) {
    std::string name = Numbered(state.cutParts == CutParts::kOutside ? texts.partOf : texts.segmentOf, k + 1, count);
    const size_t at = static_cast<size_t>(k);
    if (at < state.partLabels.size() && !state.partLabels[at].empty()) name += " (" + state.partLabels[at] + ")";
    return name;
}

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
    } else if (ExportsParts(state) && current >= 0 && current < count) {
        name += ", " + PartName(state, texts, current, count);
    }
    const int percent = job.progressPercent.load();
    if (percent >= 0 && current < count)
        view.SetCurrentLine(name + "   " + std::to_string(percent) + "% " + texts.percentDone);
    // Segments merged make one file, finished only when the job is; the segments of a group
    // one file, finished with its last one.
    const bool oneFile = ExportsParts(state) && !job.separateOutputs;
    int files = 0, finished = 0;
    for (int k = 0; k < count; ++k) {
        const bool endsFile = k + 1 == count || static_cast<size_t>(k) + 1 >= job.sharesOutput.size() ||
                              job.sharesOutput[static_cast<size_t>(k) + 1] == 0;
        if (!endsFile) continue;
        ++files;
        finished += k < std::min(current, count) && job.inputStatus[k].load() == kInputDone ? 1 : 0;
    }
    if (!ExportsParts(state)) finished = state.finishedInputs;
    view.SetOverallLine(std::to_string(oneFile ? 0 : finished) + " " + texts.finishedOf + " " +
                        std::to_string(oneFile ? 1 : files) + " " + texts.filesFinished);
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

// Each failed part and the engine's reason, a line each, at most ten.
std::string FailedParts(const ConversionJob& job, const MonitorState& state, const MonitorTexts& texts, int count) {
    constexpr int kShown = 10;
    std::string list;
    int failed = 0;
    for (int k = 0; k < count; ++k) {
        if (job.inputStatus[k].load() != kInputFailed) continue;
        if (++failed > kShown) continue;
        const size_t at = static_cast<size_t>(k);
        const std::string reason = at < job.inputError.size() ? job.inputError[at] : "";
        list += "\n" + PartName(state, texts, k, count) + ": " + (reason.empty() ? "?" : reason);
    }
    if (failed > kShown) list += "\n(+" + std::to_string(failed - kShown) + ")";
    return list;
}

// Each note of the job's notice on a line of its own.
std::string Notes(const std::string& notice) {
    std::string notes;
    for (size_t from = 0; from < notice.size();) {
        const size_t end = std::min(notice.find("; ", from), notice.size());
        notes += "\n(" + notice.substr(from, end - from) + ")";
        from = end + 2;
    }
    return notes.empty() ? notes : "\n" + notes;
}

// The end of a segments export: every file made, the parts that failed, the notes.
void ReportParts(const ConversionJob& job, const MonitorState& state, const MonitorTexts& texts, MonitorView& view,
                 int count) {
    const std::vector<std::string> files = RecordOutcome(job).made;
    const std::string failures = FailedParts(job, state, texts, count);
    if (files.empty()) {
        view.ShowMessage(texts.exportFailed + (failures.empty() ? "" : "\n" + failures) + Notes(job.notice));
        view.Open(texts.helpAddress);
        return;
    }
    std::string text = job.separateOutputs                    ? texts.segmentsCut
                       : state.cutParts == CutParts::kOutside ? texts.outsideJoined
                                                              : texts.segmentsJoined;
    for (const std::string& file : files) text += "\n" + file;
    if (!failures.empty()) text += "\n\n" + texts.notExported + failures;
    view.ShowOutput(text + Notes(job.notice), files.front());
}

// A segments export: the count of parts done, and the report once it is over.
void FollowParts(ConversionJob& job, MonitorState& state, const MonitorTexts& texts, MonitorView& view, int count) {
    const int past = std::min(job.currentInput.load(), count);
    int done = 0;
    for (int k = 0; k < past; ++k) done += job.inputStatus[k].load() == kInputDone ? 1 : 0;
    state.finishedInputs = done;
    if (job.currentInput.load() != count) return;
    job.currentInput.store(count + 1);
    MonitorClose(job, view);
    ReportParts(job, state, texts, view, count);
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

// What the job in hand follows.
void Follow(ConversionJob& job, MonitorState& state, const MonitorTexts& texts, MonitorView& view, int count) {
    if (state.joinTab)
        FollowJoin(job, state, texts, view, count);
    else if (ExportsParts(state))
        FollowParts(job, state, texts, view, count);
    else
        FollowCut(job, state, texts, view, count);
}

}  // namespace

void MonitorStop(ConversionJob& job, MonitorState& state, const MonitorTexts& texts, MonitorView& view,
                 const std::function<void()>& waitForWorker) {
    const int count = InputsFollowed(job, state);
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
        Follow(job, state, texts, view, count);
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
    // Separate files finished before the stop stay, and are named.
    std::string kept;
    for (int k = 0; ExportsParts(state) && job.separateOutputs && k < stoppedAt; ++k) {
        const std::string& path = job.outputPaths[static_cast<size_t>(k)];
        // The segments of a group share their file: it is named once.
        if (job.inputStatus[k].load() == kInputDone && PathExists(path) &&
            (k == 0 || path != job.outputPaths[static_cast<size_t>(k) - 1]))
            kept += "\n" + path;
    }
    view.ShowMessage(kept.empty() ? texts.jobStopped : texts.jobStopped + "\n\n" + texts.segmentsCut + kept);
}

void MonitorTick(ConversionJob& job, MonitorState& state, const MonitorTexts& texts, MonitorView& view) {
    const int count = InputsFollowed(job, state);
    ShowProgress(job, state, texts, view, count);
    if (job.cancelRequested.load()) {
        // Stopped by the user: the dialog closes, and nothing is reported.
        MonitorClose(job, view);
        return;
    }
    Follow(job, state, texts, view, count);
}

}  // namespace ulvane
