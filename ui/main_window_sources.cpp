// The main window's sources: adding and removing files, the preview and its seek bar, and
// the cut points with their time boxes.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QTabBar>
#include <QUrl>
#include <atomic>
#include <memory>
#include <optional>
#include <system_error>

#include "controls/bitmap_slider.h"
#include "controls/check_list.h"
#include "controls/timeline_strip.h"
#include "core/output_naming.h"
#include "core/time_text.h"
#include "engine/key_frames.h"
#include "engine/media_probe.h"
#include "ui/control_ids.h"
#include "ui/exact_pictures.h"
#include "ui/join_clips.h"
#include "ui/main_window.h"
#include "ui/main_window_text.h"
#include "ui/preview_frame.h"
#include "ui/preview_player.h"

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
    if (files.isEmpty()) return;
    // A cut source is replaced only by a file that opens; the one loaded stays otherwise.
    QString cutPath;
    MediaInfo cutInfo;
    QStringList refused;  // one paragraph per file that cannot be used
    for (const QString& path : files) {
        // Keep painting while many files are probed.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        ConversionJob& job = probe_;
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
            cutPath = path;
            cutInfo = job.info;
        } else {
            AddJoinRow(path, job.info);
        }
    }
    if (!refused.isEmpty()) services_.messages->Show(this, windowTitle(), refused.join("\n\n"), true);
    if (tab == 0 && !cutPath.isEmpty()) {
        cutSourcePath_ = cutPath;
        cutInfo_ = cutInfo;
        LoadCutSource();
        UpdateTitle();
    }
}

void CUlvaneAVConverterDlg::AddJoinRow(const QString& path, const MediaInfo& info) {
    const double rate = info.frameRateDen != 0 ? static_cast<double>(info.frameRateNum) / info.frameRateDen : 0.0;
    const auto lengthMs = static_cast<int32_t>(std::min<int64_t>(info.durationMicros / 1000, INT32_MAX));
    sourceList_->clearSelection();
    // In source_column order.
    const QFileInfo file(path);
    sourceList_->AddRow({file.fileName(), ToQString(FileExtensionText(path.toStdString())), TimeText(lengthMs),
                         ToQString(SizeText(info.videoWidth, info.videoHeight)), QString::asprintf("%5.2ffps", rate),
                         QString()});
    SetRowStatusText(sourceList_->rowCount() - 1, RowStatus::kReady);
    // What a direct join needs to know besides the texts shown.
    QTableWidgetItem* item = sourceList_->item(sourceList_->rowCount() - 1, source_column::kPath);
    item->setData(join_role::kFilePath, path);
    item->setData(join_role::kHidesLead, info.hidesLeadingPictures);
    item->setData(join_role::kVideoCodec, QString::fromStdString(info.videoCodec));
    item->setData(join_role::kAudioCodec, QString::fromStdString(info.audioCodec));
    item->setData(join_role::kSampleRate, info.sampleRate);
    item->setData(join_role::kChannels, info.channels);
    item->setData(join_role::kOtherTracks, QString::fromStdString(info.otherTracks));
    item->setData(join_role::kReorderDepth, info.videoReorderDepth);
    // The file's folder, and the tracks a direct join takes one of.
    item->setToolTip(QDir::toNativeSeparators(file.absolutePath()) + "\n" + TracksText(info));
    FitSourceColumns();
}

void CUlvaneAVConverterDlg::AddJoinClips(const QString& path, const std::vector<Segment>& segments) {
    if (segments.empty()) return;
    const auto text = [&](const char* key) { return ToQString(table_.ReadFromFile("EXPORT", key)); };
    MediaInfo info = cutInfo_;
    if (path != cutSourcePath_) {
        ConversionJob& job = probe_;
        job.probePath = path.toStdString();
        job.info = {};
        if (const int result = ProbeMediaFile(job); result != kProbeOk) {
            services_.messages->Show(this, windowTitle(),
                                     Text("TISHI", "wj") + QFileInfo(path).fileName() + " " + Text("TISHI", "wx") +
                                         "\n(" + QString::fromUtf8(ProbeResultText(result)) + ")",
                                     true);
            return;
        }
        info = job.info;
    }
    // A clip the file cannot give is refused with the others, before any row comes in.
    if (const std::optional<SegmentProblem> problem = CheckSegments(segments, info.durationMicros, false)) {
        services_.messages->Show(this, windowTitle(), text("dcyc").arg(problem->index + 1).arg(ToQString(problem->why)),
                                 true);
        return;
    }
    for (const Segment& clip : segments) {
        AddJoinRow(path, info);
        const int row = sourceList_->rowCount() - 1;
        const QString line =
            text("pd").arg(MicrosText(clip.startMicros), MicrosText(clip.endMicros), MicrosText(clip.lengthMicros()));
        MakeClipRow(*sourceList_, row, clip, info.durationMicros, line);
    }
    // A clip's length cell holds two times: the window may need to be wider.
    FitToTexts();
}

QString CUlvaneAVConverterDlg::RowPath(int row) const {
    const QTableWidgetItem* item = sourceList_->item(row, source_column::kPath);
    return item ? item->data(join_role::kFilePath).toString() : QString();
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
    shownFrom_ = -1;  // a key frame's picture: not one to step from
    const QImage view(shown.rgb.data(), shown.width, shown.height, shown.width * 3, QImage::Format_RGB888);
    preview_->ShowPicture(view.copy());
}

void CUlvaneAVConverterDlg::LoadCutSource() {
    Item(main_id::kAddButton)->hide();
    ForgetPlayer();
    exact_->Forget();
    shownFrom_ = -1;
    pendingMark_ = Mark::kNone;
    RestoreTurn();
    StartKeyFrameScan();
    ShowPreviewFrame(0);
    shownPosition_ = 0;
    previewPositionMs_ = 0;
    seekBar_->SetPosition(0);
    const MediaInfo& i = cutInfo_;
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
    SetBoxTime(startBox_, ms(s));
    SetBoxTime(endBox_, ms(e));
    lengthText_->setText(TimeText(ms(e - s)));
    positionText_->setText(TimeText(ms(s)) + " / " + TimeText(ms(e)));
    seekBar_->setEnabled(d > 0);
    ShowTimelineOfSource();
    ShowSegmentsOfSource();
    ShowTracksOfSource();
}

void CUlvaneAVConverterDlg::OnSliderMoving(int, int) {
    // Grabs take a few milliseconds; moves that arrive meanwhile are folded into one grab
    // of the newest position, so the preview never lags behind a fast drag.
    HoldPlaybackForDrag();
    if (grabScheduled_) return;
    grabScheduled_ = true;
    QMetaObject::invokeMethod(this, &CUlvaneAVConverterDlg::GrabNewestPosition, Qt::QueuedConnection);
}

void CUlvaneAVConverterDlg::GrabNewestPosition() {
    grabScheduled_ = false;
    if (cutSourcePath_.isEmpty() || player_->playing()) return;  // playing on from the thumb's rest
    const float f = static_cast<float>(seekBar_->GetPosition()) / 1000.0f;
    const double total = static_cast<double>(cutInfo_.durationMicros) / 1e6;
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

void CUlvaneAVConverterDlg::SetBoxTime(QLineEdit* box, int32_t ms) {
    box->setText(TimeText(ms));
    box->setProperty(kAcceptedTime, ms);  // what a refused text goes back to
}

int32_t CUlvaneAVConverterDlg::AcceptedTime(const QLineEdit* box) {
    return box->property(kAcceptedTime).toInt();
}

bool CUlvaneAVConverterDlg::ShowsExactPictureAtPosition() const {
    const int64_t at = MillisecondMicros(previewPositionMs_);
    return shownFrom_ >= 0 && shownFrom_ <= at && at < shownFrom_ + std::max<int64_t>(shownFor_, 1);
}

void CUlvaneAVConverterDlg::SetStartPoint() {
    if (cutSourcePath_.isEmpty()) return;
    seekBar_->SetSelectionMode(1);
    const int32_t d = static_cast<int32_t>(std::min<int64_t>(cutInfo_.durationMicros / 1000, INT32_MAX));
    if (Segments().empty()) SetBoxTime(endBox_, d);  // a selected segment keeps its end
    MarkShownPicture(Mark::kStart);
}

void CUlvaneAVConverterDlg::SetEndPoint() {
    if (cutSourcePath_.isEmpty()) return;
    seekBar_->SetSelectionMode(2);
    MarkShownPicture(Mark::kEnd);
}

void CUlvaneAVConverterDlg::MarkShownPicture(Mark mark) {
    // A mark takes the time of the picture shown, which starts within the millisecond it is
    // stored at; until the exact picture is in, the position stands in for it.
    pendingMark_ = Mark::kNone;
    if (player_->playing()) {
        // Playing: the picture on screen now (each is exact), or the clock without pictures.
        PlaceMark(mark, static_cast<int32_t>(std::min<int64_t>(player_->PositionMicros() / 1000, INT32_MAX)));
        return;
    }
    if (ShowsExactPictureAtPosition()) {
        PlaceMark(mark, static_cast<int32_t>(std::min<int64_t>(shownFrom_ / 1000, INT32_MAX)));
        return;
    }
    PlaceMark(mark, previewPositionMs_);
    RequestExactPicture(previewPositionMs_);
    pendingMark_ = mark;
}

void CUlvaneAVConverterDlg::PlaceMark(Mark mark, int32_t ms) {
    const int64_t d = cutInfo_.durationMicros / 1000;
    const auto position = [&](int32_t t) { return d > 0 ? static_cast<int>(int64_t{t} * 1000 / d) : 0; };
    int32_t s = mark == Mark::kStart ? ms : AcceptedTime(startBox_);
    int32_t e = mark == Mark::kEnd ? ms : AcceptedTime(endBox_);
    if (e < s) std::swap(s, e);  // an end before the start: the two times change places
    SetBoxTime(startBox_, s);
    SetBoxTime(endBox_, e);
    lengthText_->setText(TimeText(e - s));
    seekBar_->SetSelectionStart(position(s));
    seekBar_->SetSelectionEnd(position(e));
    MarksPlaced();
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
    // Only a text the user changed moves a mark: tabbing through a box changes nothing.
    if (!box->isModified()) return;
    box->setModified(false);
    const std::optional<int32_t> typed = TypedTime(box);
    if (cutSourcePath_.isEmpty() || !typed) return;  // a text that is no time stays marked; a cut names it
    const bool start = box == startBox_;
    const auto durationMs = static_cast<int32_t>(std::clamp<int64_t>(cutInfo_.durationMicros / 1000, 0, INT32_MAX));
    const int32_t s = AcceptedTime(startBox_), e = AcceptedTime(endBox_);
    const auto refuse = [&](const char* key, int32_t other) {
        // The time before stays, and the message says why.
        SetBoxTime(box, AcceptedTime(box));
        services_.messages->Show(this, windowTitle(), Text("TISHI", key).arg(TimeText(*typed), TimeText(other)), true);
    };
    if (start && *typed > durationMs) return refuse("ksjw", durationMs);
    if (start && *typed > e) return refuse("ksdj", e);
    // An end past the file's end means the file's end.
    const int32_t t = start ? *typed : std::min(*typed, durationMs);
    if (!start && t < s) return refuse("jsdk", s);
    pendingMark_ = Mark::kNone;
    PlaceMark(start ? Mark::kStart : Mark::kEnd, t);
    ShowPictureAt(t);  // the picture at the time typed, as the mark buttons show it
    if (t != *typed)
        services_.messages->Show(this, windowTitle(), Text("TISHI", "jswj").arg(TimeText(*typed), TimeText(t)), false);
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
    // The times are handed over through an atomic pointer: Qt's event queue orders the queued
    // call after the scan, but through locks of its own that a thread checker cannot see.
    struct Handoff {
        std::atomic<std::vector<int64_t>*> keys{nullptr};
        ~Handoff() { delete keys.load(); }
    };
    auto handoff = std::make_shared<Handoff>();
    try {
        // The result comes back as a queued call: the thread shares nothing with the window but
        // the stop flag and the handoff, and the window joins it before it goes.
        keyScan_ = std::thread([this, path, handoff] {
            auto keys = std::make_unique<std::vector<int64_t>>(KeyFrameTimes(path.toStdString(), keyScanStop_));
            if (keyScanStop_.load()) return;
            handoff->keys.store(keys.release(), std::memory_order_release);
            QMetaObject::invokeMethod(
                this,
                [this, path, handoff] {
                    const std::unique_ptr<std::vector<int64_t>> keys(
                        handoff->keys.exchange(nullptr, std::memory_order_acquire));
                    if (keys) OnKeyFrames(path, std::move(*keys));
                },
                Qt::QueuedConnection);
        });
    } catch (const std::system_error&) {
        // No thread: the seek bar goes without its marks.
    }
}

void CUlvaneAVConverterDlg::OnKeyFrames(const QString& path, std::vector<int64_t> keys) {
    if (path != cutSourcePath_) return;  // another file was loaded meanwhile
    keyFrames_ = std::move(keys);
    const int64_t d = cutInfo_.durationMicros;
    std::vector<int> ticks;
    if (d > 0)
        for (int64_t k : keyFrames_)
            if (k >= 0 && k <= d) ticks.push_back(static_cast<int>(k * 1000 / d));
    seekBar_->SetTicks(std::move(ticks));
    strip_->SetKeyFrames({keyFrames_.begin(), keyFrames_.end()});
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
    RequestExactMicros(MillisecondMicros(ms), false);
}

void CUlvaneAVConverterDlg::RequestExactMicros(int64_t micros, bool step) {
    if (cutSourcePath_.isEmpty()) return;
    stepping_ = step;
    pendingMark_ = Mark::kNone;  // the answer is for another time than a mark's
    exact_->Request(cutSourcePath_, static_cast<double>(micros) / 1e6, PreviewBox());
}

QSize CUlvaneAVConverterDlg::PreviewBox() const {
    return preview_->GrabBox().boundedTo(QSize(8192, 8192));
}

void CUlvaneAVConverterDlg::ShowPositionText() {
    const int64_t durationMs = cutInfo_.durationMicros / 1000;
    positionText_->setText(TimeText(previewPositionMs_) + " / " +
                           TimeText(static_cast<int32_t>(std::clamp<int64_t>(durationMs, 0, INT32_MAX))));
    // The strip's line too; while playing, its view follows.
    strip_->SetPosition(int64_t{previewPositionMs_} * 1000, player_ && player_->playing());
}

void CUlvaneAVConverterDlg::OnExactPicture(const QString& path, const QImage& picture, qint64 fromMicros,
                                           qint64 forMicros) {
    // Playing, the player's pictures are on screen: an answer asked before is too old.
    if (path != cutSourcePath_ || picture.isNull() || player_->playing()) return;
    ++exactShown_;
    shownFrom_ = fromMicros;
    shownFor_ = forMicros;
    preview_->ShowPicture(picture);
    if (pendingMark_ != Mark::kNone) {
        // The mark set meanwhile takes the time of the picture now shown.
        PlaceMark(pendingMark_, static_cast<int32_t>(std::min<int64_t>(fromMicros / 1000, INT32_MAX)));
        pendingMark_ = Mark::kNone;
    }
    if (stepping_) {
        // Stepped to: the position is where that picture starts.
        stepping_ = false;
        previewPositionMs_ = static_cast<int32_t>(std::min<int64_t>(fromMicros / 1000, INT32_MAX));
        ShowPositionText();
    }
}

void CUlvaneAVConverterDlg::StepPicture(int step) {
    PauseForStep();
    if (cutSourcePath_.isEmpty() || shownFrom_ < 0) return;
    const int64_t d = cutInfo_.durationMicros;
    // Just before the picture shown, or where the next one starts.
    const int64_t at =
        std::clamp<int64_t>(step < 0 ? shownFrom_ - 1 : shownFrom_ + shownFor_, 0, std::max<int64_t>(d - 1, 0));
    previewPositionMs_ = static_cast<int32_t>(std::min<int64_t>(at / 1000, INT32_MAX));
    if (d > 0) seekBar_->SetPosition(static_cast<int>(at * 1000 / d));
    shownPosition_ = seekBar_->GetPosition();
    ShowPositionText();
    RequestExactMicros(at, true);
}

}  // namespace ulvane
