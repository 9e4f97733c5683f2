#include "ui/job_launcher.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QSaveFile>
#include <QScreen>
#include <QShortcut>
#include <QStandardPaths>
#include <QToolButton>
#include <system_error>

#include "core/job_outcome.h"
#include "core/time_text.h"
#include "engine/atomic_file.h"
#include "engine/run_conversion.h"
#include "ui/container_check.h"
#include "ui/control_ids.h"
#include "ui/main_window_text.h"
#include "ui/progress_dialog.h"
#include "ui/queue_panel.h"
#include "ui/queue_runner.h"
#include "ui/settings_dialog.h"
#include "ui/window_context.h"

namespace ulvane {

namespace {

// Three lines, each with a dot before it: a list of jobs, in the button's text colour.
QIcon QueueIcon(const QColor& colour) {
    QPixmap face(32, 32);
    face.fill(Qt::transparent);
    QPainter p(&face);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    for (int k = 0; k < 3; ++k) {
        const qreal y = 8 + k * 8;
        p.drawEllipse(QPointF(6, y), 2.4, 2.4);
        p.drawRoundedRect(QRectF(11, y - 1.6, 17, 3.2), 1.2, 1.2);
    }
    return QIcon(face);
}

// The window and its progress dialog as the job monitor sees them.
struct LauncherMonitorView : MonitorView {
    std::function<void(int, RowStatus)> markRow;
    std::function<void(const QString&)> tell;
    std::function<void(const QString&, const QString&)> offerOutput;
    const WindowContext* context;
    CAVConvertDlg* dialog;
    QTimer* timer;
    void SetCurrentLine(const std::string& t) override { dialog->SetCurrentLine(ToQString(t)); }
    void SetOverallLine(const std::string& t) override { dialog->SetOverallLine(ToQString(t)); }
    void SetFileBar(int p) override { dialog->SetFileBar(p); }
    void SetOverallBar(int p) override { dialog->SetOverallBar(p); }
    void MarkRow(int row, RowStatus status) override { markRow(row, status); }
    void StopTimer() override { timer->stop(); }
    void CloseProgress() override { dialog->done(QDialog::Accepted); }
    void ShowMessage(const std::string& t) override { tell(ToQString(t)); }
    void Open(const std::string& target) override {
        // A relative target (the help page) lies beside the program.
        const QString t = ToQString(target);
        const bool whole = t.isEmpty() || t.contains("://") || QFileInfo(t).isAbsolute();
        context->services.open(whole ? t : context->services.dataDir + "/" + t);
    }
    void ShowOutput(const std::string& text, const std::string& output) override {
        offerOutput(ToQString(text), ToQString(output));
    }
};

std::string JobWhat(const WindowContext& context, const char* key, const std::string& file, const QString& a,
                    const QString& b, const OutputChoice& output) {
    const QString name = QFileInfo(ToQString(file)).fileName();
    QString what = context.FileText("QUEUE", key);
    what = b.isNull() ? what.arg(name, a) : what.arg(name, a, b);
    const char* method = !output.direct ? "cb" : output.exact ? "jq" : "zj";
    return (what + " (" + context.FileText("QUEUE", method) + ")").toStdString();
}

}  // namespace

std::string CutWhat(const WindowContext& context, const CutLaunch& cut) {
    return JobWhat(context, "qj", cut.source, ToQString(FormatTime(cut.startMs)), ToQString(FormatTime(cut.endMs)),
                   cut.output);
}

std::string SegmentsWhat(const WindowContext& context, const SegmentsLaunch& launch) {
    return JobWhat(context, "dc", launch.file.path, QString::number(launch.segments.size()), QString(), launch.output);
}

std::string JoinWhat(const WindowContext& context, const JoinLaunch& join) {
    return JobWhat(context, "hb", join.files.empty() ? std::string() : join.files.front().path,
                   QString::number(join.files.size()), QString(), join.output);
}

std::string OutputsText(const ConversionJob& job) {
    if (job.outputPaths.empty() || job.outputPaths.front().empty()) return {};
    std::string text = " \u2192 " + QFileInfo(ToQString(job.outputPaths.front())).fileName().toStdString();
    if (job.separateOutputs && job.inputCount > 1) text += " (+" + std::to_string(job.inputCount - 1) + ")";
    return text;
}

QString ProposedOutputFolder(const QString& source) {
    const QString beside = QFileInfo(source).absolutePath();
    if (QFileInfo(beside).isWritable()) return beside;
    const QString videos = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    if (!videos.isEmpty() && QDir().mkpath(videos)) return videos;
    return QDir::homePath();
}

JobLauncher::JobLauncher(const WindowContext& context, QObject* parent) : QObject(parent), context_(context) {
    progress_ = new CAVConvertDlg(context_.window);
    monitorTimer_.setInterval(500);
    connect(&monitorTimer_, &QTimer::timeout, this, &JobLauncher::OnMonitorTick);
    connect(progress_, &CAVConvertDlg::stopRequested, this, &JobLauncher::StopJob);

    queue_ = new QueueRunner(context_.services.cliPath, this);
    // 0 (not stored yet) keeps the runner's own choice.
    if (const int stored = context_.store.ReadRow("QUEUE", "atonce"); stored > 0) queue_->SetAtOnce(stored);
    queuePanel_ = new QueuePanel(
        *queue_, [this](const QString& t) { context_.services.open(t); }, context_.window);
    connect(queuePanel_, &QueuePanel::atOnceChanged, this,
            [this](int n) { context_.store.WriteRow("QUEUE", "atonce", n); });
    // The button beside the help link shows the panel, and hides it; it is down while the panel shows.
    auto* button = context_.ItemAs<QToolButton>(main_id::kQueueButton);
    button->setIcon(QueueIcon(button->palette().color(QPalette::ButtonText)));
    connect(button, &QToolButton::clicked, this, [this] {
        if (queuePanel_->isVisible())
            queuePanel_->hide();
        else
            ShowQueue();
    });
    connect(queuePanel_, &QueuePanel::shownChanged, button, &QToolButton::setChecked);
    // The panel's Stop (and Remove) on the window's own row stop it as its dialog's Stop does.
    connect(queue_, &QueueRunner::windowJobStopAsked, this, &JobLauncher::StopJob);
    auto* show = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Q), context_.window);
    connect(show, &QShortcut::activated, this, &JobLauncher::ShowQueue);
    ApplyTexts();
}

JobLauncher::~JobLauncher() {
    // The panel reads the runner's queue while it goes; the runner stops its jobs as it goes.
    delete queuePanel_;
    delete queue_;
    if (job_) job_->cancelRequested.store(true);
    WaitForWorker();
}

void JobLauncher::ApplyTexts() {
    queuePanel_->ApplyTexts(context_.table);
    context_.ItemAs<QToolButton>(main_id::kQueueButton)->setToolTip(context_.FileText("QUEUE", "dl"));
}

bool JobLauncher::Busy() const {
    return jobRunning_ || queue_->queue().busy();
}

bool JobLauncher::Launch(WindowJob job) {
    // A copy into another container says first what that changes.
    if (!ContainerChangeAccepted(context_.window, context_.window->windowTitle(), *job.job, context_.table,
                                 *context_.services.messages))
        return false;
    lastOutputFolder_ = job.outputFolder;
    // Waiting or running, the queue names the file the job makes.
    job.what += OutputsText(*job.job);
    if (!Busy()) return StartWorker(std::move(job));
    QueueEntry e;
    e.words = std::move(job.words);
    e.what = std::move(job.what);
    e.direct = job.direct;
    Enqueue(std::move(e));
    return true;
}

void JobLauncher::Enqueue(QueueEntry entry) {
    queue_->Add(std::move(entry));
    ShowQueue();
}

bool JobLauncher::StartWorker(WindowJob job) {
    WaitForWorker();  // a stopped job's worker finishes before the next one starts
    job_ = std::move(job.job);
    // What the monitor reports of the list and the source is as they were when the job began.
    monitor_ = {};
    monitor_.cutParts = job.cutParts;
    monitor_.partLabels = std::move(job.partLabels);
    monitor_.joinTab = job_->joinMode && job.cutParts == CutParts::kCut;
    monitor_.joinRows = std::move(job.joinRows);
    monitor_.rowPaths = std::move(job.rowPaths);
    monitor_.cutSourcePath = std::move(job.cutSourcePath);
    monitor_.lastOutputFolder = lastOutputFolder_.toStdString();
    ConversionJob* record = job_.get();
    try {
        worker_ = std::thread([record] { RunConversion(*record); });
    } catch (const std::system_error&) {
        context_.Tell(context_.Text("TISHI", "xcsb"));
        return false;
    }
    monitorTimer_.start();
    progress_->ApplyTexts(context_.table);
    progress_->SetCurrentLine("");
    progress_->SetOverallLine("");
    progress_->SetFileBar(0);
    progress_->SetOverallBar(0);
    // The progress dialog is not modal, so that the window's close box still reaches the
    // window (which asks whether to stop the job). The window stays in use meanwhile: a job
    // started now waits in the queue.
    jobRunning_ = true;
    QueueEntry e;
    e.words = std::move(job.words);  // kept if the window closes while it runs
    e.what = std::move(job.what);
    e.direct = job.direct;
    windowEntry_ = queue_->AddWindowJob(std::move(e));
    QEventLoop loop;
    const QMetaObject::Connection ended = connect(progress_, &QDialog::finished, &loop, &QEventLoop::quit);
    progress_->show();
    loop.exec();
    disconnect(ended);
    jobRunning_ = false;
    EndWindowJob();
    if (closeAfterJob_) QMetaObject::invokeMethod(context_.window, &QWidget::close, Qt::QueuedConnection);
    return true;
}

void JobLauncher::StopJob() {
    if (!job_) return;
    WithMonitorView([this](MonitorView& view) {
        if (closeAfterJob_)
            MonitorClose(*job_, view);  // the window closes once the job has stopped: nothing more to tell
        else
            MonitorStop(*job_, monitor_, MonitorTextsNow(), view, [this] { WaitForWorker(); });
    });
}

void JobLauncher::WaitForWorker() {
    if (worker_.joinable()) worker_.join();
}

MonitorTexts JobLauncher::MonitorTextsNow() const {
    const LanguageTable& table = context_.table;
    MonitorTexts texts;
    texts.percentDone = table.Text("TISHI", "wjwc");
    texts.finishedOf = table.Text("TISHI", "wjwczg");
    texts.filesFinished = table.Text("TISHI", "wj1");
    texts.cutSucceeded = table.Text("TISHI", "jqwc");
    texts.cutFailed = table.Text("TISHI", "jqsb");
    texts.joinSucceeded = table.Text("TISHI", "hbwc");
    texts.joinFailed = table.Text("TISHI", "hbsb");
    texts.joinKeptOthers = table.Text("TISHI", "hbbf");
    texts.helpAddress = table.Text("APPLICATION", "url");
    texts.jobStopped = table.Text("TISHI", "rwytz");
    const auto exportText = [&table](const char* key) { return table.ReadFromFile("EXPORT", key); };
    texts.segmentOf = exportText("dnz");
    texts.partOf = exportText("bfnz");
    texts.segmentsCut = exportText("dcwc");
    texts.segmentsJoined = exportText("dhbwc");
    texts.outsideJoined = exportText("wbhbwc");
    texts.notExported = exportText("dcbf");
    texts.exportFailed = exportText("dcsb");
    return texts;
}

void JobLauncher::WithMonitorView(const std::function<void(MonitorView&)>& use) {
    LauncherMonitorView view;
    view.markRow = [this](int row, RowStatus status) {
        if (row >= 0 && static_cast<size_t>(row) < monitor_.rowPaths.size())
            emit rowMarked(row, monitor_.rowPaths[static_cast<size_t>(row)], status);
    };
    // What the job's end says waits while a settings dialog is open, and shows once it closes.
    view.tell = [this](const QString& text) { Say([this, text] { context_.Tell(text, false); }); };
    view.offerOutput = [this](const QString& text, const QString& output) {
        Say([this, text, output] { OfferOutput(text, output); });
    };
    view.context = &context_;
    view.dialog = progress_;
    view.timer = &monitorTimer_;
    use(view);
}

void JobLauncher::OnMonitorTick() {
    if (!job_) return;
    if (windowEntry_ >= 0) queue_->WindowJobProgress(windowEntry_, job_->progressPercent.load());
    WithMonitorView([this](MonitorView& view) { MonitorTick(*job_, monitor_, MonitorTextsNow(), view); });
}

void JobLauncher::Say(const std::function<void()>& say) {
    auto* open = qobject_cast<OutputSettingsDialog*>(QApplication::activeModalWidget());
    if (!open) return say();
    connect(open, &QDialog::finished, this, say, Qt::SingleShotConnection);
}

void JobLauncher::OfferOutput(const QString& text, const QString& output) {
    const int choice = context_.services.messages->Choose(
        context_.window, context_.window->windowTitle(), text,
        {context_.Text("JIEMIAN", "dk"), context_.Text("JIEMIAN", "xswjj"), context_.Text("JIEMIAN", "gb")});
    if (choice == 0) context_.services.open(output);
    if (choice == 1) context_.services.open(QFileInfo(output).absolutePath());
}

void JobLauncher::ShowQueue() {
    queuePanel_->ShowBeside(context_.window);
}

void JobLauncher::EndWindowJob() {
    if (windowEntry_ < 0 || !job_) return;
    const JobOutcome o = RecordOutcome(*job_);
    if (closeAfterJob_ && o.end == JobEnd::kStopped) {
        // Stopped by the window's close: it waits again, kept with the others for the next start.
        queue_->KeepWindowJob(windowEntry_);
        windowEntry_ = -1;
        return;
    }
    const QueueState state = o.end == JobEnd::kFailed    ? QueueState::kFailed
                             : o.end == JobEnd::kStopped ? QueueState::kStopped
                                                         : QueueState::kDone;
    queue_->FinishWindowJob(windowEntry_, state, o.made, o.reason);
    windowEntry_ = -1;
}

void JobLauncher::KeepWaitingJobs() {
    const QString& path = context_.services.queueFile;
    if (path.isEmpty()) return;
    const std::string text = queue_->queue().SaveText();
    if (text.empty()) return;
    // This window took what the file held when it started; what is there now another window
    // kept when it closed, and stays before this one's jobs.
    QByteArray kept;
    if (const auto before = ReadRegularFile(QFile::encodeName(path).toStdString(), 16 << 20))
        kept = QByteArray::fromStdString(*before);
    if (kept.isEmpty())
        kept = "# Jobs waiting in Ulvane AV Converter's queue when it closed; ulvane-cli batch runs them too.\n";
    else if (!kept.endsWith('\n'))
        kept += '\n';
    kept.append(text.data(), static_cast<qsizetype>(text.size()));
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(kept);
        file.commit();
    }
}

void JobLauncher::OfferKeptJobs() {
    const QString& path = context_.services.queueFile;
    if (path.isEmpty()) return;
    // Only a regular file is read: a pipe at the path would hold the window before it shows.
    const auto text = ReadRegularFile(QFile::encodeName(path).toStdString(), 16 << 20);
    if (!text) return;
    const std::vector<QueueEntry> kept = JobQueue::ReadSaved(*text);
    if (kept.empty()) return;
    const bool again = context_.Ask(context_.FileText("QUEUE", "hf").arg(static_cast<qlonglong>(kept.size())));
    // Asked once: declined jobs are not offered again, taken ones are in the queue now.
    QFile::remove(path);
    if (!again) return;
    for (const QueueEntry& e : kept) queue_->Add(e);
    ShowQueue();
}

bool JobLauncher::MayClose() {
    if (jobRunning_ && closeAfterJob_) return false;  // the window closes once its job has stopped
    // One question for every running job. On Yes nothing starts any more, each running job
    // stops and waits again, and all that wait are kept for the next start.
    if (jobRunning_ || queue_->queue().running() > 0) {
        if (!context_.Ask(context_.FileText("QUEUE", jobRunning_ ? "gbrw" : "gb"))) return false;
        queue_->StopAll();
        if (jobRunning_) {
            closeAfterJob_ = true;
            StopJob();
            return false;
        }
    }
    KeepWaitingJobs();
    queuePanel_->close();
    // A stopped job's worker may still be finishing: it goes before the record does.
    if (job_) job_->cancelRequested.store(true);
    WaitForWorker();
    job_.reset();
    return true;
}

}  // namespace ulvane
