// The job monitor: what the progress dialog shows while a job runs, and what happens when
// it ends. Plain logic over the job record; the window drives it with a 500 ms timer and
// shows its decisions through a small view interface, so it runs without any window.
#pragma once

#include <string>
#include <vector>

#include "engine/conversion_job.h"

namespace ulvane {

// What the monitor asks of the window.
struct MonitorView {
    virtual ~MonitorView() = default;
    virtual void SetCurrentLine(const std::string& text) = 0;  // the file in work
    virtual void SetOverallLine(const std::string& text) = 0;
    virtual void SetFileBar(int percent) = 0;
    virtual void SetOverallBar(int percent) = 0;
    // Writes the status column of a join-list row; `uncheck` clears its check box.
    virtual void MarkRow(int row, const std::string& status, bool uncheck) = 0;
    virtual void StopTimer() = 0;
    virtual void CloseProgress() = 0;
    virtual void ShowMessage(const std::string& text) = 0;  // waits for OK
    virtual void Open(const std::string& target) = 0;       // folder or address
};

// The texts of the language file the monitor uses, with their section and key.
struct MonitorTexts {
    std::string percentDone;     // TISHI wjwc: after the file's percentage
    std::string finishedOf;      // TISHI wjwczg: between the finished and the total count
    std::string filesFinished;   // TISHI wj1: after the total count
    std::string rowFailed;       // TISHI sb: a join row's status
    std::string rowDone;         // TISHI wc: a join row's status
    std::string cutSucceeded;    // TISHI jqcg
    std::string cutFailed;       // TISHI jqsb
    std::string joinSucceeded;   // TISHI hbcg
    std::string joinFailed;      // TISHI hbsb
    std::string joinKeptOthers;  // TISHI hbbf: a join that left failed files out
    std::string helpAddress;     // APPLICATION url: opened after a failure
};

// The window's state the monitor reads and writes.
struct MonitorState {
    bool joinTab = false;               // the selected tab: false cut, true join
    std::vector<int> joinRows;          // list row of each join input
    std::vector<std::string> rowPaths;  // column 0 of every list row
    std::string cutSourcePath;
    int finishedInputs = 0;
    std::string lastOutputFolder;
};

// One tick of timer 1.
void MonitorTick(ConversionJob& job, MonitorState& state, const MonitorTexts& texts, MonitorView& view);

// The stop button, and the end of every job: stop the timer, ask the worker to stop,
// close the dialog.
void MonitorClose(ConversionJob& job, MonitorView& view);

}  // namespace ulvane
