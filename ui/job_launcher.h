// JobLauncher: the one path every job of the window takes. A job the window fills (a cut, an
// export of segments, a join) runs at once on a worker thread, with the progress dialog and
// the job monitor's timer, and shows in the queue as the window's entry; while another job
// runs or waits, it waits in the queue as a ulvane-cli process of its own. It owns the worker,
// the progress dialog, the queue runner and its panel, and keeps the jobs still waiting when
// the window closes, offering them again at the next start. All on the window's thread but
// the worker, which shares only the job record's atomics with it.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/job_monitor.h"
#include "core/job_queue.h"
#include "core/launch.h"
#include "engine/conversion_job.h"

namespace ulvane {

class CAVConvertDlg;
class QueuePanel;
class QueueRunner;
struct WindowContext;

// A job the window filled, and what the queue and the monitor say of it.
struct WindowJob {
    std::unique_ptr<ConversionJob> job = std::make_unique<ConversionJob>();
    std::vector<std::string> words;  // the same job in ulvane-cli's words, for the queue
    std::string what;                // how the queue names it
    bool direct = false;
    QString outputFolder;
    // How the monitor reports it: a cut source's parts and their labels, the join list's rows.
    CutParts cutParts = CutParts::kCut;
    std::vector<std::string> partLabels;
    std::vector<int> joinRows;
    std::vector<std::string> rowPaths;  // every row's file as the join list held it when the job began
    std::string cutSourcePath;
};

// How the queue names a job, in the active language: the file, its times or counts, the method.
std::string CutWhat(const WindowContext& context, const CutLaunch& cut);
std::string SegmentsWhat(const WindowContext& context, const SegmentsLaunch& launch);
std::string JoinWhat(const WindowContext& context, const JoinLaunch& join);
// " → clip.mp4": the file a filled job makes (the first, and how many more: " (+2)").
std::string OutputsText(const ConversionJob& job);
// Where a first job's output goes when no folder is stored: beside its (first) source, or in
// the user's videos folder when that one cannot be written to.
QString ProposedOutputFolder(const QString& source);

class JobLauncher : public QObject {
    Q_OBJECT

public:
    JobLauncher(const WindowContext& context, QObject* parent);
    ~JobLauncher() override;  // stops the running jobs and waits for the worker

    // A job started now waits in the queue: another runs or waits.
    bool Busy() const;
    // Runs `job` (returning once its progress dialog has closed) or queues it. False when it
    // did not start: the user declined what a change of container does.
    bool Launch(WindowJob job);
    // Queues a job given by its words alone.
    void Enqueue(QueueEntry entry);
    void ShowQueue();
    // The jobs kept waiting when the window last closed, offered again (asked once).
    void OfferKeptJobs();
    void ApplyTexts();
    // The window is asked to close: true when it may close now. While jobs run the user is
    // asked once; on Yes they stop and are kept with the waiting ones (queue.txt), nothing
    // starts any more, and during the window's job the window closes once it has stopped.
    bool MayClose();
    void WaitForWorker();

    const ConversionJob* job() const { return job_.get(); }
    CAVConvertDlg* progressDialog() const { return progress_; }
    bool jobRunning() const { return jobRunning_; }
    QueueRunner* queueRunner() const { return queue_; }
    QueuePanel* queuePanel() const { return queuePanel_; }
    const QString& lastOutputFolder() const { return lastOutputFolder_; }

signals:
    // A join row's status, for the row that held `rowPath` (its file, a clip's with its times)
    // when the job began.
    void rowMarked(int row, const std::string& rowPath, RowStatus status);

private:
    bool StartWorker(WindowJob job);
    void StopJob();
    MonitorTexts MonitorTextsNow() const;
    // The window and its progress dialog as the monitor sees them, for one call.
    void WithMonitorView(const std::function<void(MonitorView&)>& use);
    void OnMonitorTick();
    // Says something now, or once the settings dialog open over the window has closed.
    void Say(const std::function<void()>& say);
    // A finished job's message naming its file, with Open, Show in folder and Close.
    void OfferOutput(const QString& text, const QString& output);
    void EndWindowJob();
    void KeepWaitingJobs();

    const WindowContext& context_;
    std::unique_ptr<ConversionJob> job_;  // the window's job, run by worker_
    std::thread worker_;                  // joined before the next job and at close
    bool jobRunning_ = false;             // the progress dialog is up
    bool closeAfterJob_ = false;          // the user chose to stop the job and close the window
    QTimer monitorTimer_;                 // timer 1: the job monitor, every 500 ms
    CAVConvertDlg* progress_;
    MonitorState monitor_;
    QString lastOutputFolder_;
    QueueRunner* queue_;
    QueuePanel* queuePanel_;
    int windowEntry_ = -1;  // the window's job in the queue while it runs
};

}  // namespace ulvane
