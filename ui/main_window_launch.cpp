// The main window's jobs: the cut and join launches, the worker, the progress dialog and
// the job monitor's timer.
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QLineEdit>
#include <QStandardPaths>
#include <QTabBar>
#include <system_error>

#include "controls/check_list.h"
#include "core/job_words.h"
#include "core/launch.h"
#include "core/output_naming.h"
#include "engine/run_conversion.h"
#include "ui/container_check.h"
#include "ui/control_ids.h"
#include "ui/join_clips.h"
#include "ui/main_window.h"
#include "ui/main_window_text.h"
#include "ui/progress_dialog.h"
#include "ui/settings_dialog.h"

namespace ulvane {

namespace {

// The window and its progress dialog as the job monitor sees them.
struct WindowMonitorView : MonitorView {
    CUlvaneAVConverterDlg* window;
    CAVConvertDlg* dialog;
    QTimer* timer;
    MessageSink* messages;
    std::function<void(const QString&)> open;
    void SetCurrentLine(const std::string& t) override { dialog->SetCurrentLine(ToQString(t)); }
    void SetOverallLine(const std::string& t) override { dialog->SetOverallLine(ToQString(t)); }
    void SetFileBar(int p) override { dialog->SetFileBar(p); }
    void SetOverallBar(int p) override { dialog->SetOverallBar(p); }
    void MarkRow(int row, RowStatus status) override { window->ShowJobRowStatus(row, status); }
    void StopTimer() override { timer->stop(); }
    void CloseProgress() override { dialog->done(QDialog::Accepted); }
    void ShowMessage(const std::string& t) override {
        messages->Show(window, window->windowTitle(), ToQString(t), false);
    }
    void Open(const std::string& target) override { open(ToQString(target)); }
    void ShowOutput(const std::string& text, const std::string& output) override {
        window->OfferOutput(ToQString(text), ToQString(output));
    }
};

}  // namespace

void CUlvaneAVConverterDlg::SetUpProgress() {
    progress_ = new CAVConvertDlg(this);
    monitorTimer_.setInterval(500);
    connect(&monitorTimer_, &QTimer::timeout, this, &CUlvaneAVConverterDlg::OnMonitorTick);
    connect(progress_, &CAVConvertDlg::stopRequested, this, &CUlvaneAVConverterDlg::StopJob);
}

void CUlvaneAVConverterDlg::StopJob() {
    if (!job_) return;
    WithMonitorView([this](MonitorView& view) {
        if (closeAfterJob_)
            MonitorClose(*job_, view);  // the window closes once the job has stopped: nothing more to tell
        else
            MonitorStop(*job_, monitor_, MonitorTextsNow(), view, [this] { WaitForWorker(); });
    });
}

void CUlvaneAVConverterDlg::WaitForWorker() {
    if (worker_.joinable()) worker_.join();
}

MonitorTexts CUlvaneAVConverterDlg::MonitorTextsNow() const {
    MonitorTexts texts;
    texts.percentDone = table_.Text("TISHI", "wjwc");
    texts.finishedOf = table_.Text("TISHI", "wjwczg");
    texts.filesFinished = table_.Text("TISHI", "wj1");
    texts.cutSucceeded = table_.Text("TISHI", "jqwc");
    texts.cutFailed = table_.Text("TISHI", "jqsb");
    texts.joinSucceeded = table_.Text("TISHI", "hbwc");
    texts.joinFailed = table_.Text("TISHI", "hbsb");
    texts.joinKeptOthers = table_.Text("TISHI", "hbbf");
    texts.helpAddress = table_.Text("APPLICATION", "url");
    texts.jobStopped = table_.Text("TISHI", "rwytz");
    const auto exportText = [this](const char* key) { return table_.ReadFromFile("EXPORT", key); };
    texts.segmentOf = exportText("dnz");
    texts.partOf = exportText("bfnz");
    texts.segmentsCut = exportText("dcwc");
    texts.segmentsJoined = exportText("dhbwc");
    texts.outsideJoined = exportText("wbhbwc");
    texts.notExported = exportText("dcbf");
    texts.exportFailed = exportText("dcsb");
    return texts;
}

void CUlvaneAVConverterDlg::ReadMonitorState() {
    // Whichever tab is shown: an export of segments is a join of clips of the cut source.
    monitor_.joinTab = job_->joinMode && monitor_.cutParts == CutParts::kCut;
    monitor_.joinRows = joinRows_;
    monitor_.rowPaths.clear();
    for (int r = 0; r < sourceList_->rowCount(); ++r) monitor_.rowPaths.push_back(RowPathText(r));
    monitor_.cutSourcePath = cutSourcePath_.toStdString();
    monitor_.lastOutputFolder = lastOutputFolder_.toStdString();
}

void CUlvaneAVConverterDlg::WithMonitorView(const std::function<void(MonitorView&)>& use) {
    WindowMonitorView view;
    view.window = this;
    view.dialog = progress_;
    view.timer = &monitorTimer_;
    view.messages = services_.messages;
    view.open = [this](const QString& t) { services_.open(Resolve(t)); };
    use(view);
}

void CUlvaneAVConverterDlg::OnMonitorTick() {
    if (!job_) return;
    WithMonitorView([this](MonitorView& view) { MonitorTick(*job_, monitor_, MonitorTextsNow(), view); });
}

void CUlvaneAVConverterDlg::OfferOutput(const QString& text, const QString& output) {
    const int choice = services_.messages->Choose(
        this, windowTitle(), text, {Text("JIEMIAN", "dk"), Text("JIEMIAN", "xswjj"), Text("JIEMIAN", "gb")});
    if (choice == 0) services_.open(output);
    if (choice == 1) services_.open(QFileInfo(output).absolutePath());
}

void CUlvaneAVConverterDlg::SetRowStatusText(int row, RowStatus status) {
    QTableWidgetItem* item = sourceList_->item(row, source_column::kStatus);
    item->setData(kRowStatusRole, static_cast<int>(status));
    item->setText(RowStatusText(status));
}

void CUlvaneAVConverterDlg::ShowJobRowStatus(int row, RowStatus status) {
    // The list may have changed while the job ran: a row is marked only while it still holds
    // the file it held when the job started.
    if (row < 0 || row >= sourceList_->rowCount() || static_cast<size_t>(row) >= monitor_.rowPaths.size()) return;
    if (RowPathText(row) != monitor_.rowPaths[static_cast<size_t>(row)]) return;
    ShowRowStatus(row, status);
}

std::string CUlvaneAVConverterDlg::RowPathText(int row) const {
    // A clip row is its file and the clip's times.
    const std::optional<Segment> clip = ClipOfRow(*sourceList_, row);
    return (RowPath(row) + (clip ? " " + ClipRangeText(*clip) : QString())).toStdString();
}

void CUlvaneAVConverterDlg::ShowRowStatus(int row, RowStatus status) {
    if (row < 0 || row >= sourceList_->rowCount()) return;
    SetRowStatusText(row, status);
    if (status == RowStatus::kDone) sourceList_->SetChecked(row, false);
    if (status == RowStatus::kReady || status == RowStatus::kStopped) sourceList_->SetChecked(row, true);
}

QString CUlvaneAVConverterDlg::RowStatusText(RowStatus status) const {
    switch (status) {
        case RowStatus::kDone:
            return Text("TISHI", "wc");
        case RowStatus::kFailed:
            return Text("TISHI", "sb");
        case RowStatus::kStopped:
            return Text("TISHI", "ytz");
        case RowStatus::kReady:
            break;
    }
    return Text("JIEMIAN", "zb");
}

bool CUlvaneAVConverterDlg::StartWorker(std::string what, bool direct) {
    // A copy into another container than its files' own says first what that changes.
    if (!ContainerChangeAccepted(this, windowTitle(), *job_, table_, *services_.messages)) return false;
    WaitForWorker();  // a stopped job's worker finishes before the next one starts
    // What the monitor reports of the list and the source is as they were when the job began.
    ReadMonitorState();
    ConversionJob* job = job_.get();
    try {
        worker_ = std::thread([job] { RunConversion(*job); });
    } catch (const std::system_error&) {
        services_.messages->Show(this, windowTitle(), Text("TISHI", "xcsb"), true);
        return false;
    }
    monitorTimer_.start();
    progress_->ApplyTexts(table_);
    progress_->SetCurrentLine("");
    progress_->SetOverallLine("");
    progress_->SetFileBar(0);
    progress_->SetOverallBar(0);
    // The progress dialog is not modal, so that the window's close box still reaches the
    // window (which asks whether to stop the job). The window stays in use meanwhile: a job
    // started now waits in the queue.
    jobRunning_ = true;
    BeginWindowJob(std::move(what), direct);
    QEventLoop loop;
    const QMetaObject::Connection ended = connect(progress_, &QDialog::finished, &loop, &QEventLoop::quit);
    progress_->show();
    loop.exec();
    disconnect(ended);
    jobRunning_ = false;
    EndWindowJob();
    if (closeAfterJob_) QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    return true;
}

namespace {

// Where a first job's output goes when no folder is stored: beside its (first) source, or
// in the user's videos folder when that one cannot be written to.
QString ProposedOutputFolder(const QString& source) {
    const QString beside = QFileInfo(source).absolutePath();
    if (QFileInfo(beside).isWritable()) return beside;
    const QString videos = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    if (!videos.isEmpty() && QDir().mkpath(videos)) return videos;
    return QDir::homePath();
}

// Why a segments export cannot start, in the active language.
QString ExportRefusal(const LanguageTable& table, const LaunchResult& result, const QString& source) {
    const auto text = [&](const char* section, const char* key) { return ToQString(table.ReadFromFile(section, key)); };
    switch (result.status) {
        case LaunchStatus::BadSegment:
            return text("EXPORT", "dcyc").arg(result.problem.index + 1).arg(ToQString(result.problem.why));
        case LaunchStatus::NoSegments:
            return text("EXPORT", "mydc");
        case LaunchStatus::NameTooLong:
            return text("TISHI", "wjmtc");
        case LaunchStatus::HiddenLead:
            return text("TISHI", "bjyc") + "\n" + source;
        default:
            break;
    }
    return text("TISHI", "wkzm");  // a source named without "." has no container to copy into
}

}  // namespace

void CUlvaneAVConverterDlg::LaunchCut() {
    // Two segments or more go out together, as the cut settings say; one is cut as marked.
    if (const std::vector<Segment> segments = Segments(); segments.size() >= 2 && !cutSourcePath_.isEmpty()) {
        LaunchExport(segments);
        return;
    }
    if (cutSourcePath_.isEmpty()) {
        services_.messages->Show(this, windowTitle(), Text("TISHI", "qxtjsp"), true);
        return;
    }
    // A box whose text is no time is named, before anything else happens.
    for (auto [box, label] : {std::pair{startBox_, "ksjq"}, std::pair{endBox_, "jsjq"}}) {
        if (TypedTime(box)) continue;
        services_.messages->Show(
            this, windowTitle(),
            Text("JIEMIAN", label) + " \"" + box->text() + "\" " + ToQString(table_.ReadFromFile("TISHI", "sjgs")),
            true);
        box->setFocus();
        return;
    }
    if (RefuseTrackChoice({cutSourcePath_.toStdString()})) return;
    // While another job runs this one is filled apart, and waits in the queue.
    const bool queued = QueueInstead();
    ConversionJob apart;
    ConversionJob& job = queued ? apart : Job();
    if (!queued) {
        WaitForWorker();
        monitor_.finishedInputs = 0;
        monitor_.cutParts = CutParts::kCut;
    }
    PrepareCutJob(job);
    const std::string source = cutSourcePath_.toStdString();
    CFileInfomation dialog(store_, table_, *services_.messages, services_.pickFolder,
                           ToQString(DefaultOutputName(source)), this);
    dialog.ProposeFolder(ProposedOutputFolder(cutSourcePath_));
    if (!services_.runSettings(dialog)) return;
    const CutLaunch cut{source, *TypedTime(startBox_), *TypedTime(endBox_), dialog.choice(), TracksOf(cutSourcePath_)};
    if (const LaunchResult launch = FillCutJob(job, cut, PathExists); !launch.ok()) {
        // A source named without "." has no container to copy into.
        const bool tooLong = launch.status == LaunchStatus::NameTooLong;
        services_.messages->Show(this, windowTitle(), Text("TISHI", tooLong ? "wjmtc" : "wkzm"), true);
        return;
    }
    if (!ApplyTurn(job, dialog.choice())) return;
    lastOutputFolder_ = dialog.outputFolder();
    if (queued)
        Enqueue(job, CutJobWords(cut, job.rotateDegrees), CutWhat(cut), cut.output.direct);
    else
        StartWorker(CutWhat(cut), cut.output.direct);
}

void CUlvaneAVConverterDlg::LaunchExport(const std::vector<Segment>& segments) {
    if (segments.size() < 2 || cutSourcePath_.isEmpty()) return LaunchCut();  // the convert button's own
    if (RefuseTrackChoice({cutSourcePath_.toStdString()})) return;
    const bool queued = QueueInstead();
    if (!queued) {
        WaitForWorker();
        monitor_.finishedInputs = 0;
    }
    const std::string source = cutSourcePath_.toStdString();
    CFileInfomation dialog(store_, table_, *services_.messages, services_.pickFolder,
                           ToQString(DefaultOutputName(source)), this);
    dialog.ProposeFolder(ProposedOutputFolder(cutSourcePath_));
    dialog.OfferExport(static_cast<int>(segments.size()));
    if (!services_.runSettings(dialog)) return;
    SegmentsLaunch launch;
    launch.file = DescribedFile(source, cutInfo_);
    launch.file.tracks = TracksOf(cutSourcePath_);
    launch.segments = segments;
    launch.mode = dialog.exportMode();
    launch.chapters = launch.mode != ExportMode::Separate && dialog.chapters();
    launch.output = dialog.choice();
    ConversionJob apart;
    ConversionJob& job = queued ? apart : Job();
    PrepareSegmentsJob(job, launch);
    const LaunchResult result = FillSegmentsJob(job, launch, PathExists);
    if (!result.ok()) {
        services_.messages->Show(this, windowTitle(), ExportRefusal(table_, result, cutSourcePath_), true);
        return;
    }
    if (!ApplyTurn(job, launch.output)) return;
    if (queued) {
        lastOutputFolder_ = dialog.outputFolder();
        Enqueue(job, SegmentsJobWords(launch, job.rotateDegrees), SegmentsWhat(launch), launch.output.direct);
        return;
    }
    // The report names each input by its place, and a segment by its label too.
    const bool outside = launch.mode == ExportMode::MergeOutside;
    monitor_.cutParts = outside ? CutParts::kOutside : CutParts::kSegments;
    monitor_.partLabels.clear();
    if (!outside)
        for (const Segment& s : segments) monitor_.partLabels.push_back(s.label);
    lastOutputFolder_ = dialog.outputFolder();
    StartWorker(SegmentsWhat(launch), launch.output.direct);
}

std::vector<JoinFile> CUlvaneAVConverterDlg::JoinFilesOfRows(const std::vector<int>& rows) const {
    std::vector<JoinFile> files;
    for (int row : rows) {
        files.push_back(JoinFileOfRow(*sourceList_, row));
        KeepTracks(files.back(), TracksOf(ToQString(files.back().path)));
    }
    return files;
}

QString CUlvaneAVConverterDlg::UnlikeFilesText(const std::vector<JoinFile>& files, const JoinMismatch& m) const {
    const auto name = [](const std::string& path) { return QFileInfo(QString::fromStdString(path)).fileName(); };
    // The parameter's name, by JoinParameter in order.
    static constexpr const char* kNames[] = {"spgs", "spdx", "spbm", "ypbm", "ypcyl", "sdsh", "qtgd", "cpsd"};
    const char* parameter = kNames[static_cast<size_t>(m.parameter)];
    const char* section = m.parameter == JoinParameter::ReorderDepth ? "TISHI" : "JIEMIAN";
    const auto value = [&](const std::string& v) { return v.empty() ? Text("TISHI", "wsp") : ToQString(v); };
    const std::string& first = files.front().path;
    return Text("TISHI", "cybt").arg(name(files[static_cast<size_t>(m.file)].path), name(first)) + "\n" +
           Text("TISHI", "cbxq").arg(Text(section, parameter), value(m.value), value(m.firstValue)) + "\n\n" +
           Text("TISHI", "gycb");
}

void CUlvaneAVConverterDlg::LaunchJoin() {
    if (sourceList_->rowCount() == 0) {
        services_.messages->Show(this, windowTitle(), Text("TISHI", "qxtjsp"), true);
        return;
    }
    std::vector<int> rows;
    for (int r = 0; r < sourceList_->rowCount(); ++r)
        if (sourceList_->IsChecked(r)) rows.push_back(r);
    if (rows.size() < 2) {
        services_.messages->Show(this, windowTitle(), Text("TISHI", "zslgwj"), true);
        return;
    }
    if (rows.size() > static_cast<size_t>(kMaxJoinFiles)) {
        services_.messages->Show(this, windowTitle(), Text("TISHI", "tdwj"), true);
        return;
    }
    std::vector<std::string> paths;
    for (int row : rows) paths.push_back(RowPath(row).toStdString());
    if (RefuseTrackChoice(paths)) return;
    // While another job runs this one is filled apart, and waits in the queue.
    const bool queued = QueueInstead();
    ConversionJob apart;
    ConversionJob& job = queued ? apart : Job();
    if (!queued) {
        WaitForWorker();
        joinRows_ = rows;
        monitor_.cutParts = CutParts::kCut;
        monitor_.finishedInputs = 0;
    }
    PrepareJoinJob(job, static_cast<int>(rows.size()));
    CSettings dialog(store_, table_, *services_.messages, services_.pickFolder, this);
    dialog.ProposeFolder(ProposedOutputFolder(RowPath(rows.front())));
    if (!services_.runSettings(dialog)) return;
    JoinLaunch join{JoinFilesOfRows(rows), dialog.choice(), dialog.chapters()};
    const std::vector<JoinFile>& files = join.files;
    LaunchResult launch = FillJoinJob(job, join, PathExists);
    if (launch.status == LaunchStatus::HiddenLead) {
        services_.messages->Show(
            this, windowTitle(),
            Text("TISHI", "bjyc") + "\n" + ToQString(files[static_cast<size_t>(launch.input)].path), true);
        return;
    }
    if (launch.status == LaunchStatus::UnlikeFiles) {
        // Named with the parameter that differs; re-encoding joins them anyway, if the user wants.
        if (!services_.messages->Ask(this, windowTitle(), UnlikeFilesText(files, launch.mismatch))) return;
        join.output.direct = false;
        launch = FillJoinJob(job, join, PathExists);
    }
    if (launch.status == LaunchStatus::BadSegment) {
        // A clip its file cannot give (the file changed since it was listed): named by its row.
        const int at = launch.problem.index >= 0 ? launch.problem.index : launch.input;
        const int row = at >= 0 && static_cast<size_t>(at) < rows.size() ? rows[static_cast<size_t>(at)] : 0;
        services_.messages->Show(
            this, windowTitle(),
            ToQString(table_.ReadFromFile("EXPORT", "pdyc")).arg(row + 1).arg(ToQString(launch.problem.why)), true);
        return;
    }
    if (!launch.ok()) {
        // A file without an extension has no container to copy into.
        const bool tooLong = launch.status == LaunchStatus::NameTooLong;
        services_.messages->Show(this, windowTitle(), Text("TISHI", tooLong ? "wjmtc" : "bnzjhb"), true);
        return;
    }
    lastOutputFolder_ = dialog.outputFolder();
    if (queued) {
        Enqueue(job, JoinJobWords(join, job.rotateDegrees), JoinWhat(join), join.output.direct);
        return;
    }
    // What an earlier job said of the rows is not this job's.
    for (int r = 0; r < sourceList_->rowCount(); ++r) SetRowStatusText(r, RowStatus::kReady);
    StartWorker(JoinWhat(join), join.output.direct);
}

}  // namespace ulvane
