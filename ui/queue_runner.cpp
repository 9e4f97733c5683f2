// The queue's processes.
#include "ui/queue_runner.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <algorithm>
#include <chrono>
#include <memory>
#include <sstream>
#include <thread>

#include "core/job_outcome.h"
#include "core/job_words.h"

namespace ulvane {

namespace {

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// A process's program and arguments as bytes, made before the fork: the child only execs.
struct ExecLine {
    std::vector<std::string> words;  // the program first
    std::vector<char*> argv;         // into `words`, then null
    ExecLine(std::string program, const std::vector<std::string>& args) {
        words.push_back(std::move(program));
        words.insert(words.end(), args.begin(), args.end());
        for (std::string& w : words) argv.push_back(w.data());
        argv.push_back(nullptr);
    }
};

QString FindCli() {
    const QString beside = QDir(QCoreApplication::applicationDirPath()).filePath("ulvane-cli");
    if (QFileInfo(beside).isExecutable()) return beside;
    const QString onPath = QStandardPaths::findExecutable("ulvane-cli");
    return onPath.isEmpty() ? beside : onPath;
}

}  // namespace

QueueRunner::QueueRunner(QString cli, QObject* parent)
    : QObject(parent), cli_(cli.isEmpty() ? FindCli() : std::move(cli)), atOnce_(std::min(2, MostAtOnce())) {}

QueueRunner::~QueueRunner() {
    StopAll();
}

int QueueRunner::MostAtOnce() {
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

void QueueRunner::SetAtOnce(int n) {
    atOnce_ = std::clamp(n, 1, MostAtOnce());
    Schedule();
}

int QueueRunner::Add(QueueEntry e) {
    e.state = QueueState::kWaiting;
    e.inWindow = false;
    const int id = queue_.Add(std::move(e));
    emit added(queue_.RowOf(id));
    Schedule();
    return id;
}

int QueueRunner::AddWindowJob(QueueEntry e) {
    e.state = QueueState::kRunning;
    e.inWindow = true;
    e.startedMs = NowMs();
    const int id = queue_.Add(std::move(e));
    emit added(queue_.RowOf(id));
    return id;
}

void QueueRunner::WindowJobProgress(int id, int percent) {
    QueueEntry* e = queue_.Find(id);
    if (!e || e->state != QueueState::kRunning || e->percent == percent) return;
    e->percent = std::clamp(percent, 0, 100);
    Changed(id);
}

void QueueRunner::FinishWindowJob(int id, QueueState state, const std::vector<std::string>& made,
                                  const std::string& reason) {
    QueueEntry* e = queue_.Find(id);
    if (!e) return;
    e->state = state;
    e->percent = state == QueueState::kDone ? 100 : e->percent;
    e->output = made.empty() ? std::string() : made[0];
    e->alsoMade.assign(made.begin() + (made.empty() ? 0 : 1), made.end());
    e->reason = reason;
    Changed(id);
    RemoveIfAsked(id);
    Schedule();
}

void QueueRunner::KeepWindowJob(int id) {
    QueueEntry* e = queue_.Find(id);
    if (!e) return;
    e->state = QueueState::kWaiting;
    e->inWindow = false;
    e->percent = 0;
    Changed(id);
    RemoveIfAsked(id);
}

void QueueRunner::RemoveIfAsked(int id) {
    if (removeWhenEnded_.erase(id) > 0) Remove(id);
}

void QueueRunner::Schedule() {
    if (closing_) return;
    // A job that cannot start ends at once and schedules again: what that started is not started twice.
    for (int id : queue_.Startable(atOnce_))
        if (QueueEntry* e = queue_.Find(id); e && e->state == QueueState::kWaiting) Start(*e);
}

void QueueRunner::Start(QueueEntry& e) {
    const int id = e.id;
    auto* process = new QProcess(this);
    QStringList args;
    for (const std::string& w : e.words) args << QString::fromStdString(w);
    Run& run = runs_[id];
    run = Run{};
    run.process = process;
    e.state = QueueState::kRunning;
    e.percent = 0;
    e.startedMs = NowMs();
    connect(process, &QProcess::readyReadStandardError, this, [this, id] { ReadProgress(id); });
    connect(process, &QProcess::readyReadStandardOutput, this, [this, id] {
        if (auto it = runs_.find(id); it != runs_.end())
            it->second.out += it->second.process->readAllStandardOutput().toStdString();
    });
    connect(process, &QProcess::finished, this,
            [this, id](int code, QProcess::ExitStatus status) { Finished(id, code, status == QProcess::CrashExit); });
    connect(process, &QProcess::errorOccurred, this, [this, id](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) Finished(id, -1, false);
    });
    process->setStandardInputFile(QProcess::nullDevice());
    // QProcess hands arguments over as UTF-8 made from QStrings, which turns bytes that are no
    // UTF-8 (a Latin-1 name, or label from a CSV file) into U+FFFD. The child, its standard
    // streams set up, execs the words as they are; when that fails it returns, and QProcess's
    // own exec fails the same way and reports it.
    const QString program = cli_.contains('/') ? cli_ : QStandardPaths::findExecutable(cli_);
    auto line = std::make_shared<const ExecLine>(QFile::encodeName(program).toStdString(), e.words);
    process->setChildProcessModifier([line] { ::execv(line->argv[0], line->argv.data()); });
    process->start(cli_, args);
    Changed(id);
}

void QueueRunner::ReadProgress(int id) {
    auto it = runs_.find(id);
    QueueEntry* e = queue_.Find(id);
    if (it == runs_.end() || !e) return;
    Run& run = it->second;
    const std::string text = run.process->readAllStandardError().toStdString();
    run.err += text;
    // Lines as they come: "progress 42%" moves the bar; the rest is kept for the reason.
    run.partial += text;
    size_t at = 0;
    bool moved = false;
    for (size_t nl; (nl = run.partial.find('\n', at)) != std::string::npos; at = nl + 1) {
        const std::string line = run.partial.substr(at, nl - at);
        if (line.rfind("progress ", 0) == 0) {
            e->percent = std::clamp(std::atoi(line.c_str() + 9), 0, 100);
            moved = true;
        }
    }
    run.partial.erase(0, at);
    if (moved) Changed(id);
}

void QueueRunner::Finished(int id, int exitCode, bool crashed) {
    auto it = runs_.find(id);
    if (it == runs_.end()) return;
    Run run = std::move(it->second);
    runs_.erase(it);
    run.out += run.process->readAllStandardOutput().toStdString();
    run.err += run.process->readAllStandardError().toStdString();
    run.process->deleteLater();
    QueueEntry* e = queue_.Find(id);
    if (!e) return;
    ProcessEnd end;
    end.started = exitCode >= 0 || crashed;
    end.crashed = crashed;
    end.exitCode = exitCode;
    end.stopAsked = run.stopping || closing_;
    end.out = std::move(run.out);
    end.err = std::move(run.err);
    const JobOutcome o = ProcessOutcome(end);
    e->output.clear();
    e->alsoMade.clear();
    if (o.succeeded()) {
        e->state = QueueState::kDone;
        e->percent = 100;
        if (!o.made.empty()) {
            e->output = o.made.front();
            e->alsoMade.assign(o.made.begin() + 1, o.made.end());
        }
    } else if (closing_) {
        e->state = QueueState::kWaiting;  // stopped by the close: offered again at the next start
        e->percent = 0;
    } else if (o.end == JobEnd::kStopped) {
        e->state = QueueState::kStopped;
    } else {
        e->state = QueueState::kFailed;
        e->reason = o.fault == JobFault::kReason       ? o.reason
                    : o.fault == JobFault::kNotStarted ? "ulvane-cli could not be started: " + cli_.toStdString()
                    : o.fault == JobFault::kSilent     ? "exit status " + std::to_string(exitCode)
                                                       : std::string("the job ended abnormally");
    }
    Changed(id);
    RemoveIfAsked(id);
    Schedule();
}

void QueueRunner::Stop(int id) {
    QueueEntry* e = queue_.Find(id);
    if (!e) return;
    if (e->inWindow) {
        if (e->state == QueueState::kRunning) emit windowJobStopAsked();
        return;
    }
    if (e->state == QueueState::kWaiting) {
        e->state = QueueState::kStopped;
        Changed(id);
        return;
    }
    auto it = runs_.find(id);
    if (it == runs_.end() || it->second.stopping) return;
    it->second.stopping = true;
    it->second.process->terminate();  // SIGTERM: the job stops and removes what it began
}

bool QueueRunner::Remove(int id) {
    const QueueEntry* e = queue_.Find(id);
    if (e && e->state == QueueState::kRunning) {
        removeWhenEnded_.insert(id);
        Stop(id);
        return true;
    }
    const int row = queue_.RowOf(id);
    if (!queue_.Remove(id)) return false;
    emit removed(row);
    return true;
}

bool QueueRunner::Move(int id, int by) {
    const int row = queue_.RowOf(id);
    if (!queue_.Move(id, by)) return false;
    emit moved(row, queue_.RowOf(id));
    return true;
}

void QueueRunner::StopAll() {
    closing_ = true;
    for (auto& [id, run] : runs_) {
        run.stopping = true;
        run.process->terminate();
    }
    // Each ends once it has removed its unfinished output.
    while (!runs_.empty()) {
        const int id = runs_.begin()->first;
        QProcess* p = runs_.begin()->second.process;
        if (!p->waitForFinished(30000)) {
            p->kill();
            p->waitForFinished(5000);
        }
        if (runs_.count(id)) Finished(id, p->exitCode(), p->exitStatus() == QProcess::CrashExit);
    }
}

void QueueRunner::Changed(int id) {
    const int row = queue_.RowOf(id);
    if (row >= 0) emit changed(row);
}

}  // namespace ulvane
