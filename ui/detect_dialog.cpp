// The detection dialog: thresholds, a run on a worker thread, the findings, and segments.
#include "ui/detect_dialog.h"

#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

#include "core/detect_segments.h"
#include "core/language_table.h"
#include "ui/main_window_text.h"

namespace ulvane {

namespace {

int32_t Millis(int64_t micros) {
    return static_cast<int32_t>(std::clamp<int64_t>((micros + 500) / 1000, 0, INT32_MAX));
}

}  // namespace

DetectDialog::DetectDialog(DetectKind kind, std::string path, int64_t lengthMicros, const LanguageTable& texts,
                           std::function<void(std::vector<Segment>)> make, QWidget* parent)
    : QDialog(parent),
      kind_(kind),
      path_(std::move(path)),
      lengthMicros_(lengthMicros),
      texts_(texts),
      makeSegments_(std::move(make)) {
    setObjectName("detectDialog");
    setWindowTitle(Text(kind == DetectKind::Silences ? "jy" : kind == DetectKind::Black ? "hp" : "cj"));
    auto* thresholdCaption = new QLabel(Text(kind == DetectKind::Silences ? "mx"
                                             : kind == DetectKind::Black  ? "hx"
                                                                          : "cx"),
                                        this);
    threshold_ = new QDoubleSpinBox(this);
    threshold_->setObjectName("detectThreshold");
    switch (kind) {
        case DetectKind::Silences:
            threshold_->setRange(-120, 0);
            threshold_->setDecimals(1);
            threshold_->setValue(kSilenceThresholdDb);
            break;
        case DetectKind::Black:
            threshold_->setRange(0, 1);
            threshold_->setDecimals(2);
            threshold_->setSingleStep(0.01);
            threshold_->setValue(kBlackPixelThreshold);
            break;
        case DetectKind::Scenes:
            threshold_->setRange(0.1, 100);
            threshold_->setDecimals(1);
            threshold_->setValue(kSceneThreshold);
            break;
    }
    auto* shortestCaption = new QLabel(Text("zd"), this);
    shortest_ = new QDoubleSpinBox(this);
    shortest_->setObjectName("detectShortest");
    shortest_->setRange(0.04, 3600);
    shortest_->setDecimals(2);
    shortest_->setSingleStep(0.1);
    shortest_->setValue(kMinStretchSeconds);
    find_ = new QPushButton(Text("cz"), this);
    stop_ = new QPushButton(Text("tz"), this);
    progress_ = new QProgressBar(this);
    progress_->setRange(0, 1000);
    progress_->setTextVisible(false);
    status_ = new QLabel(this);
    list_ = new QListWidget(this);
    list_->setObjectName("detectFindings");
    between_ = new QRadioButton(Text(kind == DetectKind::Black ? "zzjb" : "zzjy"), this);
    between_->setObjectName("detectMakeBetween");
    findingsChoice_ = new QRadioButton(Text(kind == DetectKind::Black ? "zzhb" : "zzhy"), this);
    findingsChoice_->setObjectName("detectMakeFindings");
    between_->setChecked(true);  // the programme around its breaks, the sound around its pauses
    plan_ = new QLabel(this);
    plan_->setObjectName("detectPlan");
    plan_->setWordWrap(true);
    make_ = new QPushButton(Text("zz"), this);
    make_->setToolTip(Text("zzts"));
    close_ = new QPushButton(Text("gb"), this);
    for (QPushButton* b : {find_, stop_, make_, close_}) b->setAutoDefault(false);
    find_->setDefault(true);
    stop_->setEnabled(false);
    make_->setEnabled(false);

    auto* grid = new QGridLayout(this);
    grid->addWidget(thresholdCaption, 0, 0);
    grid->addWidget(threshold_, 0, 1);
    grid->addWidget(shortestCaption, 1, 0);
    grid->addWidget(shortest_, 1, 1);
    grid->addWidget(find_, 2, 0);
    grid->addWidget(stop_, 2, 1);
    grid->addWidget(progress_, 3, 0, 1, 2);
    grid->addWidget(status_, 4, 0, 1, 2);
    grid->addWidget(list_, 5, 0, 1, 2);
    grid->addWidget(between_, 6, 0, 1, 2);
    grid->addWidget(findingsChoice_, 7, 0, 1, 2);
    grid->addWidget(plan_, 8, 0, 1, 2);
    grid->addWidget(make_, 9, 0);
    grid->addWidget(close_, 9, 1);
    grid->setRowStretch(5, 1);
    if (kind == DetectKind::Scenes) {  // a change has no length: nothing to choose
        shortestCaption->hide();
        shortest_->hide();
        between_->hide();
        findingsChoice_->hide();
    }
    ShowPlan();
    // The findings list is wide enough for a start, an end and a score.
    list_->setMinimumWidth(list_->fontMetrics().horizontalAdvance("00:00:00.000 – 00:00:00.000    ") +
                           list_->fontMetrics().horizontalAdvance(Text("df").arg("100.0")));

    connect(find_, &QPushButton::clicked, this, &DetectDialog::Start);
    connect(stop_, &QPushButton::clicked, this, &DetectDialog::Stop);
    connect(close_, &QPushButton::clicked, this, &QDialog::reject);
    connect(between_, &QRadioButton::toggled, this, &DetectDialog::ShowPlan);
    connect(make_, &QPushButton::clicked, this, [this] {
        if (makeSegments_) makeSegments_(Proposed());
    });
    progressTimer_.setInterval(100);
    connect(&progressTimer_, &QTimer::timeout, this,
            [this] { progress_->setValue(permille_.load(std::memory_order_relaxed)); });
}

DetectDialog::~DetectDialog() {
    cancel_.store(true);
    Join();
}

QString DetectDialog::Text(const char* key) const {
    return ToQString(texts_.ReadFromFile("DETECT", key));
}

void DetectDialog::Start() {
    if (running()) return;
    cancel_.store(false);
    permille_.store(0);
    progress_->setValue(0);
    findings_.clear();
    list_->clear();
    status_->clear();
    ShowPlan();
    find_->setEnabled(false);
    stop_->setEnabled(true);
    make_->setEnabled(false);
    const double threshold = threshold_->value(), shortest = shortest_->value();
    worker_ = std::thread([this, threshold, shortest, kind = kind_, path = path_] {
        std::vector<Finding> found;
        const DetectControl control{&cancel_, &permille_};
        Status s;
        if (kind == DetectKind::Silences)
            s = DetectSilences(path, threshold, shortest, found, control);
        else if (kind == DetectKind::Black)
            s = DetectBlack(path, threshold, shortest, found, control);
        else
            s = DetectScenes(path, threshold, found, control);
        // Back to the window's thread; dropped if the dialog has gone meanwhile.
        QMetaObject::invokeMethod(
            this, [this, found = std::move(found), s]() mutable { Finish(std::move(found), s); }, Qt::QueuedConnection);
    });
    progressTimer_.start();
}

void DetectDialog::Stop() {
    cancel_.store(true);
}

void DetectDialog::Join() {
    if (worker_.joinable()) worker_.join();
}

void DetectDialog::Finish(std::vector<Finding> found, Status status) {
    Join();
    progressTimer_.stop();
    progress_->setValue(permille_.load());
    findings_ = std::move(found);
    for (const Finding& f : findings_) {
        QString line = TimeText(Millis(f.startMicros));
        if (kind_ == DetectKind::Scenes)
            line += "    " + Text("df").arg(QString::number(f.score, 'f', 1));
        else
            line += QString::fromUtf8(" \u2013 ") + TimeText(Millis(f.endMicros));
        list_->addItem(line);
    }
    if (status.failed())
        status_->setText(Text("sb").arg(ToQString(path_)) + " " + ToQString(status.reason()));
    else
        status_->setText(findings_.empty() ? Text("wz") : Text("zj").arg(findings_.size()));
    find_->setEnabled(true);
    stop_->setEnabled(false);
    ShowPlan();
    emit finished();
}

void DetectDialog::ShowPlan() {
    const std::vector<Segment> proposed = findings_.empty() ? std::vector<Segment>{} : Proposed();
    const char* key = kind_ == DetectKind::Scenes ? "zzjc" : between_->isChecked() ? "zzjj" : "zzjf";
    plan_->setText(Text(key).arg(proposed.size()));
    make_->setEnabled(!proposed.empty() && !running());
}

std::vector<Segment> DetectDialog::Proposed() const {
    if (kind_ == DetectKind::Scenes) return SegmentsAtChanges(findings_, lengthMicros_);
    return between_->isChecked() ? SegmentsBetween(findings_, lengthMicros_)
                                 : SegmentsOfStretches(findings_, lengthMicros_);
}

}  // namespace ulvane
