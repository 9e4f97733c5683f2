// The job monitor: what the progress dialog shows while a job runs, and what happens when
// it ends. Plain logic over the job record; the window drives it with a 500 ms timer and
// shows its decisions through a small view interface, so it runs without any window.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/conversion_job.h"

namespace ulvane {

// What a join-list row says of its file; the window words it, and a done file's tick is cleared.
enum class RowStatus { kReady, kDone, kFailed, kStopped };

// What the monitor asks of the window.
struct MonitorView {
    virtual ~MonitorView() = default;
    virtual void SetCurrentLine(const std::string& text) = 0;  // the file in work
    virtual void SetOverallLine(const std::string& text) = 0;
    virtual void SetFileBar(int percent) = 0;
    virtual void SetOverallBar(int percent) = 0;
    // Writes the status column of a join-list row: done clears its tick; ready and stopped
    // tick it again (its file is still to be joined); failed leaves the tick as it is.
    virtual void MarkRow(int row, RowStatus status) = 0;
    virtual void StopTimer() = 0;
    virtual void CloseProgress() = 0;
    virtual void ShowMessage(const std::string& text) = 0;  // waits for OK
    // A finished job's message, naming `output`, with the offer to open it or show its folder.
    virtual void ShowOutput(const std::string& text, const std::string& output) = 0;
    virtual void Open(const std::string& target) = 0;  // folder or address
};

// The texts of the language file the monitor uses, with their section and key.
struct MonitorTexts {
    std::string percentDone;     // TISHI wjwc: after the file's percentage
    std::string finishedOf;      // TISHI wjwczg: between the finished and the total count
    std::string filesFinished;   // TISHI wj1: after the total count
    std::string cutSucceeded;    // TISHI jqwc: before the output's name
    std::string cutFailed;       // TISHI jqsb
    std::string joinSucceeded;   // TISHI hbwc: before the output's name
    std::string joinFailed;      // TISHI hbsb
    std::string joinKeptOthers;  // TISHI hbbf: a join that left failed files out
    std::string helpAddress;     // APPLICATION url: opened after a failure
    std::string jobStopped;      // TISHI rwytz: a job the user stopped
    // A segments export; "%1" and "%2" stand for numbers.
    std::string segmentOf;       // EXPORT dnz: "segment %1 of %2"
    std::string partOf;          // EXPORT bfnz: "part %1 of %2", a part outside the segments
    std::string segmentsCut;     // EXPORT dcwc: before the separate files made, one a line
    std::string segmentsJoined;  // EXPORT dhbwc: before the merged file
    std::string outsideJoined;   // EXPORT wbhbwc: before the file of what lies outside them
    std::string notExported;     // EXPORT dcbf: before the segments that failed
    std::string exportFailed;    // EXPORT dcsb: nothing was made
};

// What the inputs of the cut tab's job are: the one segment of a cut, or the segments of its
// source (each a clip of it), or the parts of the source outside them.
enum class CutParts { kCut, kSegments, kOutside };

// The window's state the monitor reads and writes.
struct MonitorState {
    bool joinTab = false;               // the job joins the list's rows (else it is the cut tab's)
    std::vector<int> joinRows;          // list row of each join input
    std::vector<std::string> rowPaths;  // every list row's file (a clip row's with the clip's times)
    std::string cutSourcePath;
    int finishedInputs = 0;
    std::string lastOutputFolder;
    // The cut tab's job (set by its launch), and each input's label ("" none) for the report.
    CutParts cutParts = CutParts::kCut;
    std::vector<std::string> partLabels;
};

// One tick of timer 1. A segments export names the part in work ("segment 2 of 5") and
// in the end every file made (each separate file under the name it got, or the merged one),
// the parts that failed with their reasons, and each note of the job's notice.
void MonitorTick(ConversionJob& job, MonitorState& state, const MonitorTexts& texts, MonitorView& view);

// The end of every job: stop the timer, ask the worker to stop, close the dialog.
void MonitorClose(ConversionJob& job, MonitorView& view);

// The stop button: closes as MonitorClose does, waits for the worker through `waitForWorker`,
// then tells what happened. The file in work is marked stopped, and the files joined before it
// are ready again, since the unfinished output goes with them; a job that finished before the
// stop reached it is reported as a finished job is. A stopped export names the separate files
// it finished, which stay.
void MonitorStop(ConversionJob& job, MonitorState& state, const MonitorTexts& texts, MonitorView& view,
                 const std::function<void()>& waitForWorker);

}  // namespace ulvane
