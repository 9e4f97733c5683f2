// The main window's queue: a job started while another runs waits in the queue and runs as a
// ulvane-cli process of its own; the window's own job shows there too. The queue panel is a
// tool window beside the window; the jobs still waiting when the window closes are kept beside
// setting.ini and offered again at the next start.
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QShortcut>
#include <QToolButton>

#include "core/job_words.h"
#include "core/time_text.h"
#include "ui/container_check.h"
#include "ui/control_ids.h"
#include "ui/main_window.h"
#include "ui/main_window_text.h"
#include "ui/queue_panel.h"
#include "ui/queue_runner.h"

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

}  // namespace

void CUlvaneAVConverterDlg::SetUpQueue() {
    queue_ = new QueueRunner(services_.cliPath, this);
    // 0 (not stored yet) keeps the runner's own choice.
    if (const int stored = store_.ReadRow("QUEUE", "atonce"); stored > 0) queue_->SetAtOnce(stored);
    queuePanel_ = new QueuePanel(
        *queue_, [this](const QString& t) { services_.open(t); }, this);
    connect(queuePanel_, &QueuePanel::atOnceChanged, this, [this](int n) { store_.WriteRow("QUEUE", "atonce", n); });
    // The button beside the help link shows the panel, and hides it; it is down while the panel shows.
    auto* button = ItemAs<QToolButton>(main_id::kQueueButton);
    button->setIcon(QueueIcon(palette().color(QPalette::ButtonText)));
    connect(button, &QToolButton::clicked, this, [this] {
        if (queuePanel_->isVisible())
            queuePanel_->hide();
        else
            ShowQueue();
    });
    connect(queuePanel_, &QueuePanel::shownChanged, button, &QToolButton::setChecked);
    auto* show = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Q), this);
    connect(show, &QShortcut::activated, this, &CUlvaneAVConverterDlg::ShowQueue);
    SetUpApplyToAll();
    ApplyQueueTexts();
}

void CUlvaneAVConverterDlg::ApplyQueueTexts() {
    queuePanel_->ApplyTexts(table_);
    ItemAs<QToolButton>(main_id::kQueueButton)->setToolTip(QueueText("dl"));
    auto* apply = ItemAs<QPushButton>(main_id::kApplyToAllButton);
    apply->setText(QueueText("yy"));
    apply->setToolTip(QueueText("yyts"));
}

void CUlvaneAVConverterDlg::ShowQueue() {
    if (!queuePanel_->isVisible()) {
        // Below the window, else on its right, else where the screen has room for it.
        const QRect screen = this->screen() ? this->screen()->availableGeometry() : QRect();
        QRect place(frameGeometry().bottomLeft() + QPoint(0, 8), queuePanel_->size() + QSize(8, 32));
        if (!screen.isEmpty() && !screen.contains(place)) place.moveTopLeft(frameGeometry().topRight() + QPoint(8, 0));
        if (!screen.isEmpty() && !screen.contains(place)) place.moveBottomRight(screen.bottomRight());
        queuePanel_->move(place.topLeft());
    }
    queuePanel_->show();
    queuePanel_->raise();
}

bool CUlvaneAVConverterDlg::QueueInstead() const {
    return jobRunning_ || queue_->queue().busy();
}

QString CUlvaneAVConverterDlg::QueueText(const char* key) const {
    return ToQString(table_.ReadFromFile("QUEUE", key));
}

std::string CUlvaneAVConverterDlg::JobWhat(const char* key, const std::string& file, const QString& a, const QString& b,
                                           bool direct) const {
    const QString name = QFileInfo(ToQString(file)).fileName();
    QString what = QueueText(key);
    what = b.isNull() ? what.arg(name, a) : what.arg(name, a, b);
    return (what + " (" + QueueText(direct ? "zj" : "cb") + ")").toStdString();
}

std::string CUlvaneAVConverterDlg::CutWhat(const CutLaunch& cut) const {
    return JobWhat("qj", cut.source, ToQString(FormatTime(cut.startMs)), ToQString(FormatTime(cut.endMs)),
                   cut.output.direct);
}

std::string CUlvaneAVConverterDlg::SegmentsWhat(const SegmentsLaunch& launch) const {
    return JobWhat("dc", launch.file.path, QString::number(launch.segments.size()), QString(), launch.output.direct);
}

std::string CUlvaneAVConverterDlg::JoinWhat(const JoinLaunch& join) const {
    return JobWhat("hb", join.files.empty() ? std::string() : join.files.front().path,
                   QString::number(join.files.size()), QString(), join.output.direct);
}

bool CUlvaneAVConverterDlg::Enqueue(const ConversionJob& job, std::vector<std::string> words, std::string what,
                                    bool direct) {
    // A copy into another container says first what that changes, as a job started at once does.
    if (!ContainerChangeAccepted(this, windowTitle(), job, table_, *services_.messages)) return false;
    QueueEntry e;
    e.words = std::move(words);
    e.what = std::move(what);
    e.direct = direct;
    queue_->Add(std::move(e));
    ShowQueue();
    return true;
}

void CUlvaneAVConverterDlg::BeginWindowJob(std::string what, bool direct) {
    QueueEntry e;
    e.what = std::move(what);
    e.direct = direct;
    windowEntry_ = queue_->AddWindowJob(std::move(e));
}

void CUlvaneAVConverterDlg::EndWindowJob() {
    if (windowEntry_ < 0 || !job_) return;
    const ConversionJob& job = *job_;
    QueueState state = QueueState::kDone;
    std::string reason;
    for (int i = 0; i < job.inputCount; ++i) {
        const uint8_t s = job.inputStatus[i].load();
        if (s == kInputDone) continue;
        if (s == kInputFailed && state == QueueState::kDone) {
            state = QueueState::kFailed;
            reason = job.inputError[i];
        } else if (s != kInputFailed) {
            state = QueueState::kStopped;
        }
    }
    if (job.cancelRequested.load() && state != QueueState::kDone) state = QueueState::kStopped;
    const bool made = job.progressPercent.load() == 100 || (job.separateOutputs && state == QueueState::kDone);
    queue_->FinishWindowJob(windowEntry_, state, made ? job.outputPaths : std::vector<std::string>{}, reason);
    windowEntry_ = -1;
}

void CUlvaneAVConverterDlg::KeepWaitingJobs() {
    if (services_.queueFile.isEmpty()) return;
    const std::string text = queue_->queue().SaveText();
    if (text.empty()) return;
    // This window took what the file held when it started; what is there now another window
    // kept when it closed, and stays before this one's jobs.
    QByteArray kept;
    if (QFile before(services_.queueFile); before.open(QIODevice::ReadOnly)) kept = before.read(16 << 20);
    if (kept.isEmpty())
        kept = "# Jobs waiting in Ulvane AV Converter's queue when it closed; ulvane-cli batch runs them too.\n";
    else if (!kept.endsWith('\n'))
        kept += '\n';
    kept.append(text.data(), static_cast<qsizetype>(text.size()));
    QSaveFile file(services_.queueFile);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(kept);
        file.commit();
    }
}

void CUlvaneAVConverterDlg::OfferKeptJobs() {
    if (services_.queueFile.isEmpty()) return;
    QFile file(services_.queueFile);
    if (!file.open(QIODevice::ReadOnly)) return;
    const std::vector<QueueEntry> kept = JobQueue::ReadSaved(file.read(16 << 20).toStdString());
    file.close();
    if (kept.empty()) return;
    const bool again =
        services_.messages->Ask(this, windowTitle(), QueueText("hf").arg(static_cast<qlonglong>(kept.size())));
    // Asked once: declined jobs are not offered again, taken ones are in the queue now.
    QFile::remove(services_.queueFile);
    if (!again) return;
    for (const QueueEntry& e : kept) queue_->Add(e);
    ShowQueue();
}

bool CUlvaneAVConverterDlg::CloseQueue() {
    if (queue_->queue().running() > (windowEntry_ >= 0 ? 1 : 0)) {
        if (!services_.messages->Ask(this, windowTitle(), QueueText("gb"))) return false;
        queue_->StopAll();
    }
    KeepWaitingJobs();
    queuePanel_->close();
    return true;
}

}  // namespace ulvane
