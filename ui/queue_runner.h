// QueueRunner: runs the window's queue of jobs, each as a ulvane-cli process of its own (the
// same engine, apart from the window: a job that fails takes nothing else with it, and a
// stopped one removes its own unfinished output). It reads each job's progress and outcome
// from the process, starts waiting jobs as the queue allows, and tells the panel what changed.
// Everything here runs on the window's thread.
#pragma once

#include <QObject>
#include <QString>
#include <map>
#include <memory>
#include <set>

#include "core/job_queue.h"

class QProcess;

namespace ulvane {

class QueueRunner : public QObject {
    Q_OBJECT

public:
    // `cli`: the ulvane-cli to run ("" finds it beside this program, else on the PATH).
    explicit QueueRunner(QString cli = QString(), QObject* parent = nullptr);
    ~QueueRunner() override;

    const JobQueue& queue() const { return queue_; }
    // Adds a job; it starts as soon as the queue allows. Returns its id.
    int Add(QueueEntry e);
    // The window's own job: shown running while it runs, then with its outcome.
    int AddWindowJob(QueueEntry e);
    void FinishWindowJob(int id, QueueState state, const std::vector<std::string>& made, const std::string& reason);
    // How far the window's job is, as its progress dialog shows it.
    void WindowJobProgress(int id, int percent);
    // The window's job, stopped as the window closes, waits again as a job of the queue's own,
    // to be kept with the others (it is not started: nothing starts once StopAll has run).
    void KeepWindowJob(int id);

    // Jobs run at once: 1 to the number of cores.
    void SetAtOnce(int n);
    int atOnce() const { return atOnce_; }
    static int MostAtOnce();

    // A running job is stopped (its unfinished output removed; the window's own through
    // windowJobStopAsked); a waiting one never starts.
    void Stop(int id);
    // A running job is stopped and goes once it has ended.
    bool Remove(int id);
    bool Move(int id, int by);
    // Stops every running job and waits for each to end (at close); they wait again, to be
    // kept with the waiting ones, and nothing starts any more.
    void StopAll();
    // Starts what may start.
    void Schedule();

signals:
    void added(int row);
    void removed(int row);
    void moved(int from, int to);
    void changed(int row);
    // Stop (or Remove) was asked for the window's own running job, which the window stops.
    void windowJobStopAsked();

private:
    void Start(QueueEntry& e);
    void ReadProgress(int id);
    void Finished(int id, int exitCode, bool crashed);
    void Changed(int id);
    // A job that ended goes now if Remove was asked while it ran.
    void RemoveIfAsked(int id);

    QString cli_;
    JobQueue queue_;
    int atOnce_;
    bool closing_ = false;
    struct Run {
        QProcess* process = nullptr;
        std::string out, err, partial;  // standard output and error so far; a line not yet ended
        bool stopping = false;
    };
    std::map<int, Run> runs_;  // by entry id
    std::set<int> removeWhenEnded_;
};

}  // namespace ulvane
