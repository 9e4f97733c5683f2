// The main window's sources: adding and removing files, the preview and its seek bar, and
// the cut points with their time boxes.
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QTabBar>
#include <QUrl>
#include <optional>
#include <system_error>

#include "controls/bitmap_slider.h"
#include "controls/check_list.h"
#include "core/output_naming.h"
#include "core/time_text.h"
#include "engine/key_frames.h"
#include "engine/media_probe.h"
#include "ui/control_ids.h"
#include "ui/exact_pictures.h"
#include "ui/main_window.h"
#include "ui/main_window_text.h"
#include "ui/preview_frame.h"

namespace ulvane {

namespace {

// Media files the open dialog lists first: the long-known names, and every extension of a
// container this FFmpeg reads.
QString MediaPatterns() {
    static const QString patterns = [] {
        QStringList list = {"*.rm",  "*.rmvb", "*.flv",  "*.swf", "*.f4v", "*.mov", "*.qt",  "*.avi",
                            "*.mpg", "*.mpeg", "*.mod",  "*.tod", "*.mts", "*.ts",  "*.nut", "*.h264",
                            "*.nsv", "*.dv",   "*.m2t",  "*.vob", "*.dat", "*.mkv", "*.mp4", "*.m4v",
                            "*.3gp", "*.3g2",  "*.3gpp", "*.asf", "*.wmv", "*.wm"};
        for (const std::string& ext : MediaFileExtensions()) {
            const QString pattern = "*." + QString::fromStdString(ext);
            if (!list.contains(pattern)) list << pattern;
        }
        return list.join(' ');
    }();
    return patterns;
}

}  // namespace

ConversionJob& CUlvaneAVConverterDlg::Job() {
    if (!job_) job_ = std::make_unique<ConversionJob>();
    return *job_;
}

void CUlvaneAVConverterDlg::AddSourceFiles() {
    const QString filter =
        Text("JIEMIAN", "symtwj") + " (" + MediaPatterns() + ");;" + Text("JIEMIAN", "sywj") + " (*)";
    AddFiles(services_.chooseFiles(this, filter));
}

void CUlvaneAVConverterDlg::OpenFiles(const QStringList& files) {
    if (files.isEmpty()) return;
    SelectTab(files.size() == 1 ? 0 : 1);
    QStringList absolute;
    for (const QString& f : files) absolute << QFileInfo(f).absoluteFilePath();
    AddFiles(absolute);
}

void CUlvaneAVConverterDlg::AddFiles(const QStringList& files) {
    const int tab = tabs_->currentIndex();
    if (files.isEmpty() || jobRunning_) return;  // a job's source and rows stay as they are
    if (tab == 0) cutSourcePath_.clear();
    MediaInfo cutInfo;
    QStringList refused;  // one paragraph per file that cannot be used
    for (const QString& path : files) {
        // Keep painting while many files are probed.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        ConversionJob& job = Job();
        job.probePath = path.toStdString();
        job.info = {};
        const int result = ProbeMediaFile(job);
        if (result != kProbeOk || job.info.rangeStartMicros < 0 || job.info.rangeEndMicros < 0) {
            // A bad file is named and left out; the good ones of the same choice still come in.
            const QString name = QFileInfo(path).fileName().isEmpty() ? path : QFileInfo(path).fileName();
            QString text = Text("TISHI", "wj") + name + " " + Text("TISHI", "wx");
            if (result != kProbeOk) text += "\n(" + QString::fromUtf8(ProbeResultText(result)) + ")";
            refused << text;
            continue;
        }
        if (tab == 0) {
            cutSourcePath_ = path;
            cutInfo = job.info;
        } else {
            AddJoinRow(path, job.info);
        }
    }
    if (!refused.isEmpty()) services_.messages->Show(this, windowTitle(), refused.join("\n\n"), true);
    if (tab == 0 && !cutSourcePath_.isEmpty()) {
        Job().info = cutInfo;
        LoadCutSource();
    }
    if (tab == 0 && cutSourcePath_.isEmpty()) {
        // The file shown before is no longer the source.
        grabber_.Release();
        QFile::remove(snapshotPath());
        preview_->Clear();
    }
    if (tab == 0) UpdateTitle();
}

void CUlvaneAVConverterDlg::AddJoinRow(const QString& path, const MediaInfo& info) {
    const double rate = info.frameRateDen != 0 ? static_cast<double>(info.frameRateNum) / info.frameRateDen : 0.0;
    const auto lengthMs = static_cast<int32_t>(std::min<int64_t>(info.durationMicros / 1000, INT32_MAX));
    sourceList_->clearSelection();
    // In source_column order.
    sourceList_->AddRow({path, ToQString(FileExtensionText(path.toStdString())), TimeText(lengthMs),
                         ToQString(SizeText(info.videoWidth, info.videoHeight)), QString::asprintf("%5.2ffps", rate),
                         Text("JIEMIAN", "zb")});
    // What a direct join needs to know besides the texts shown.
    QTableWidgetItem* item = sourceList_->item(sourceList_->rowCount() - 1, source_column::kPath);
    item->setData(join_role::kHidesLead, info.hidesLeadingPictures);
    item->setData(join_role::kVideoCodec, QString::fromStdString(info.videoCodec));
    item->setData(join_role::kAudioCodec, QString::fromStdString(info.audioCodec));
    item->setData(join_role::kSampleRate, info.sampleRate);
    item->setData(join_role::kChannels, info.channels);
    item->setData(join_role::kOtherTracks, QString::fromStdString(info.otherTracks));
    item->setData(join_role::kReorderDepth, info.videoReorderDepth);
    // The whole path, and the tracks a direct join takes one of.
    item->setToolTip(path + "\n" + TracksText(info));
}

QString CUlvaneAVConverterDlg::TracksText(const MediaInfo& info) const {
    return Text("JIEMIAN", "ypgs") + ": " + QString::number(info.audioTracks) + "\n" + Text("JIEMIAN", "zmgs") + ": " +
           QString::number(info.subtitleTracks);
}

void CUlvaneAVConverterDlg::MoveSelectedSource(int step) {
    const QList<QTableWidgetItem*> selected = sourceList_->selectedItems();
    if (selected.isEmpty()) return;
    const int row = selected.first()->row();
    sourceList_->MoveRow(row, row + step);  // rows keep their tick and what they know of their file
}

void CUlvaneAVConverterDlg::DropFiles(const QList<QUrl>& urls) {
    QStringList files;
    for (const QUrl& url : urls)
        if (url.isLocalFile()) files << url.toLocalFile();
    AddFiles(files);
}

void CUlvaneAVConverterDlg::RemoveSelectedSource() {
    const QList<QTableWidgetItem*> selected = sourceList_->selectedItems();
    if (selected.isEmpty()) return;
    const int row = selected.first()->row();
    sourceList_->removeRow(row);
    if (sourceList_->rowCount() > 0) {
        const int next = std::min(row, sourceList_->rowCount() - 1);
        sourceList_->selectRow(next);
        sourceList_->setCurrentCell(next, source_column::kPath);
        sourceList_->setFocus();
    }
}

QString CUlvaneAVConverterDlg::snapshotPath() const {
    return services_.snapshotFile;
}

void CUlvaneAVConverterDlg::ShowPreviewFrame(double seconds) {
    ConversionJob& job = Job();
    job.currentInput.store(0);
    previewImagePath_ = snapshotPath();
    ++grabCount_;
    std::string error;
    // Grabbed at the size shown, besides the snapshot bitmap.
    const QSize box = PreviewBox();
    ShownPicture shown;
    if (!grabber_.Grab(cutSourcePath_.toStdString(), seconds, previewImagePath_.toStdString(), box.width(),
                       box.height(), shown, error)) {
        // The snapshot there is of another time or another file: neither is shown.
        QFile::remove(previewImagePath_);
        preview_->Clear();
        return;
    }
    shownSeconds_ = seconds;
    shownFrom_ = -1;  // a key frame's picture: not one to step from
    const QImage view(shown.rgb.data(), shown.width, shown.height, shown.width * 3, QImage::Format_RGB888);
    preview_->ShowPicture(view.copy());
}

void CUlvaneAVConverterDlg::LoadCutSource() {
    Item(main_id::kAddButton)->hide();
    exact_->Forget();
    shownFrom_ = -1;
    StartKeyFrameScan();
    ShowPreviewFrame(0);
    shownPosition_ = 0;
    previewPositionMs_ = 0;
    seekBar_->SetPosition(0);
    const MediaInfo& i = Job().info;
    const int64_t d = i.durationMicros / 1000, s = i.rangeStartMicros / 1000, e = i.rangeEndMicros / 1000;
    if (d <= 0) {
        // Under a millisecond: a source of length zero, nothing to seek in.
        seekBar_->SetSelectionStart(0);
        seekBar_->SetSelectionEnd(1000);
    } else {
        seekBar_->SetSelectionStart(static_cast<int>(s * 1000 / d));
        seekBar_->SetSelectionEnd(static_cast<int>(e * 1000 / d));
    }
    const auto ms = [](int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, 0, INT32_MAX)); };
    startBox_->setText(TimeText(ms(s)));
    endBox_->setText(TimeText(ms(e)));
    lengthText_->setText(TimeText(ms(e - s)));
    positionText_->setText(TimeText(ms(s)) + " / " + TimeText(ms(e)));
    seekBar_->setEnabled(d > 0);
}

void CUlvaneAVConverterDlg::OnSliderMoving(int, int) {
    // Grabs take a few milliseconds; moves that arrive meanwhile are folded into one grab
    // of the newest position, so the preview never lags behind a fast drag.
    if (grabScheduled_) return;
    grabScheduled_ = true;
    QMetaObject::invokeMethod(this, &CUlvaneAVConverterDlg::GrabNewestPosition, Qt::QueuedConnection);
}

void CUlvaneAVConverterDlg::GrabNewestPosition() {
    grabScheduled_ = false;
    if (cutSourcePath_.isEmpty()) return;
    const float f = static_cast<float>(seekBar_->GetPosition()) / 1000.0f;
    const double total = static_cast<double>(Job().info.durationMicros) / 1e6;
    const double t = total * f;
    previewPositionMs_ = static_cast<int32_t>(std::min(t * 1000, static_cast<double>(INT32_MAX)));
    ShowPositionText();
    const int position = seekBar_->GetPosition();
    ShowPreviewFrame(t);
    shownPosition_ = position;
}

std::optional<int32_t> CUlvaneAVConverterDlg::TypedTime(const QLineEdit* box) {
    const std::optional<int64_t> us = ParseTypedTime(box->text().toStdString());
    if (!us || *us / 1000 > INT32_MAX) return std::nullopt;
    return static_cast<int32_t>(*us / 1000);
}

void CUlvaneAVConverterDlg::SetStartPoint() {
    if (cutSourcePath_.isEmpty()) return;
    seekBar_->SetSelectionStart(seekBar_->GetPosition());
    seekBar_->SetSelectionMode(1);
    const int32_t d = static_cast<int32_t>(std::min<int64_t>(Job().info.durationMicros / 1000, INT32_MAX));
    startBox_->setText(TimeText(previewPositionMs_));
    endBox_->setText(TimeText(d));
    lengthText_->setText(TimeText(d - previewPositionMs_));
    if (shownFrom_ < 0 || shownFrom_ / 1000 != previewPositionMs_) RequestExactPicture(previewPositionMs_);
}

void CUlvaneAVConverterDlg::SetEndPoint() {
    if (cutSourcePath_.isEmpty()) return;
    seekBar_->SetSelectionEnd(seekBar_->GetPosition());
    seekBar_->SetSelectionMode(2);
    const int32_t s = TypedTime(startBox_).value_or(0);
    const int32_t p = previewPositionMs_;
    if (s < p) {
        endBox_->setText(TimeText(p));
        lengthText_->setText(TimeText(p - s));
    } else {
        // The end lies before the start: the two times change places.
        startBox_->setText(TimeText(p));
        endBox_->setText(TimeText(s));
        lengthText_->setText(TimeText(s - p));
    }
    if (shownFrom_ < 0 || shownFrom_ / 1000 != previewPositionMs_) RequestExactPicture(previewPositionMs_);
}

void CUlvaneAVConverterDlg::OnTimeEdited() {
    const std::optional<int32_t> s = TypedTime(startBox_), e = TypedTime(endBox_);
    // A text that is no time shows plainly while it is typed.
    for (auto [box, valid] : {std::pair{startBox_, s.has_value()}, std::pair{endBox_, e.has_value()}})
        box->setStyleSheet(valid ? QString() : QString("QLineEdit { color: #b00000; background: #ffe0e0; }"));
    lengthText_->setText(TimeText(s && e && *e > *s ? *e - *s : 0));
    UpdateDirectStartNote();
}

void CUlvaneAVConverterDlg::OnTimeTyped(QLineEdit* box) {
    // A typed time moves its mark and shows its picture, as the mark buttons do.
    const std::optional<int32_t> typed = TypedTime(box);
    if (cutSourcePath_.isEmpty() || !typed) return;
    const int64_t durationMs = Job().info.durationMicros / 1000;
    int32_t s = TypedTime(startBox_).value_or(0), e = TypedTime(endBox_).value_or(static_cast<int32_t>(durationMs));
    s = static_cast<int32_t>(std::clamp<int64_t>(s, 0, durationMs));
    e = static_cast<int32_t>(std::clamp<int64_t>(e, 0, durationMs));
    if (e < s) std::swap(s, e);  // typed in the wrong order: exchanged as the buttons do
    const int32_t shown = static_cast<int32_t>(std::clamp<int64_t>(*typed, 0, durationMs));  // the time typed
    const auto position = [&](int32_t ms) {
        return durationMs > 0 ? static_cast<int>(int64_t{ms} * 1000 / durationMs) : 0;
    };
    seekBar_->SetSelectionStart(position(s));
    seekBar_->SetSelectionEnd(position(e));
    seekBar_->SetPosition(position(shown));
    startBox_->setText(TimeText(s));
    endBox_->setText(TimeText(e));
    previewPositionMs_ = shown;
    ShowPositionText();
    ShowPreviewFrame(shown / 1000.0);
    shownPosition_ = seekBar_->GetPosition();
    RequestExactPicture(shown);
}

void CUlvaneAVConverterDlg::StopKeyFrameScan() {
    keyScanStop_.store(true);
    if (keyScan_.joinable()) keyScan_.join();
    keyScanStop_.store(false);
}

void CUlvaneAVConverterDlg::StartKeyFrameScan() {
    StopKeyFrameScan();
    keyFrames_.clear();
    seekBar_->SetTicks({});
    UpdateDirectStartNote();
    if (cutSourcePath_.isEmpty()) return;
    const QString path = cutSourcePath_;
    try {
        // The result comes back as a queued call: the thread shares nothing with the window but
        // the stop flag, and the window joins it before it goes.
        keyScan_ = std::thread([this, path] {
            std::vector<int64_t> keys = KeyFrameTimes(path.toStdString(), keyScanStop_);
            if (keyScanStop_.load()) return;
            QMetaObject::invokeMethod(
                this, [this, path, keys = std::move(keys)]() mutable { OnKeyFrames(path, std::move(keys)); },
                Qt::QueuedConnection);
        });
    } catch (const std::system_error&) {
        // No thread: the seek bar goes without its marks.
    }
}

void CUlvaneAVConverterDlg::OnKeyFrames(const QString& path, std::vector<int64_t> keys) {
    if (path != cutSourcePath_) return;  // another file was loaded meanwhile
    keyFrames_ = std::move(keys);
    const int64_t d = Job().info.durationMicros;
    std::vector<int> ticks;
    if (d > 0)
        for (int64_t k : keyFrames_)
            if (k >= 0 && k <= d) ticks.push_back(static_cast<int>(k * 1000 / d));
    seekBar_->SetTicks(std::move(ticks));
    UpdateDirectStartNote();
}

void CUlvaneAVConverterDlg::UpdateDirectStartNote() {
    auto* note = ItemAs<QLabel>(main_id::kDirectStartNote);
    const std::optional<int32_t> start = TypedTime(startBox_);
    if (keyFrames_.empty() || !start) {
        note->clear();
        return;
    }
    // A direct cut starts at the key frame at or before the marked start.
    const int64_t from = DirectCutStart(keyFrames_, int64_t{*start} * 1000);
    note->setText(from / 1000 == *start ? QString()
                                        : Text("JIEMIAN", "zjqd") + " " + TimeText(static_cast<int32_t>(from / 1000)));
}

void CUlvaneAVConverterDlg::RequestExactPicture(int32_t ms) {
    RequestExactMicros(int64_t{ms} * 1000, false);
}

void CUlvaneAVConverterDlg::RequestExactMicros(int64_t micros, bool step) {
    if (cutSourcePath_.isEmpty()) return;
    stepping_ = step;
    exact_->Request(cutSourcePath_, static_cast<double>(micros) / 1e6, PreviewBox());
}

QSize CUlvaneAVConverterDlg::PreviewBox() const {
    return preview_->contentsRect().size().boundedTo(QSize(8192, 8192));
}

void CUlvaneAVConverterDlg::ShowPositionText() {
    const int64_t durationMs = Job().info.durationMicros / 1000;
    positionText_->setText(TimeText(previewPositionMs_) + " / " +
                           TimeText(static_cast<int32_t>(std::clamp<int64_t>(durationMs, 0, INT32_MAX))));
}

void CUlvaneAVConverterDlg::OnExactPicture(const QString& path, const QImage& picture, qint64 fromMicros,
                                           qint64 forMicros) {
    if (path != cutSourcePath_ || picture.isNull()) return;
    ++exactShown_;
    shownFrom_ = fromMicros;
    shownFor_ = forMicros;
    preview_->ShowPicture(picture);
    if (stepping_) {
        // Stepped to: the position is where that picture starts.
        stepping_ = false;
        previewPositionMs_ = static_cast<int32_t>(std::min<int64_t>(fromMicros / 1000, INT32_MAX));
        ShowPositionText();
    }
}

void CUlvaneAVConverterDlg::StepPicture(int step) {
    if (cutSourcePath_.isEmpty() || shownFrom_ < 0) return;
    const int64_t d = Job().info.durationMicros;
    // Just before the picture shown, or where the next one starts.
    const int64_t at =
        std::clamp<int64_t>(step < 0 ? shownFrom_ - 1 : shownFrom_ + shownFor_, 0, std::max<int64_t>(d - 1, 0));
    previewPositionMs_ = static_cast<int32_t>(std::min<int64_t>(at / 1000, INT32_MAX));
    if (d > 0) seekBar_->SetPosition(static_cast<int>(at * 1000 / d));
    shownPosition_ = seekBar_->GetPosition();
    ShowPositionText();
    RequestExactMicros(at, true);
}

void CUlvaneAVConverterDlg::Play() {
    if (cutSourcePath_.isEmpty()) return;  // nothing loaded: nothing to play
    services_.open(cutSourcePath_);
}

}  // namespace ulvane
