// The main window's segments: the list beside the marks, the seek bar's bands, the store that
// keeps each source's segments, the CSV files, the moves by key and the join list's hook.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSaveFile>
#include <algorithm>

#include "controls/bitmap_slider.h"
#include "controls/timeline_strip.h"
#include "core/segments.h"
#include "ui/main_window.h"
#include "ui/main_window_text.h"
#include "ui/preview_player.h"
#include "ui/segment_edits.h"
#include "ui/segment_list.h"

namespace ulvane {

namespace {

int32_t Millis(int64_t micros) {
    return static_cast<int32_t>(std::clamp<int64_t>(micros / 1000, 0, INT32_MAX));
}

// The texts of section SEGMENTS, which the table reads from the active file when asked.
QString SegmentsText(const LanguageTable& table, const char* key) {
    return ToQString(table.ReadFromFile("SEGMENTS", key));
}

// A CSV file bigger than this is no segment list (the reader refuses it anyway).
constexpr qint64 kMostCsvBytes = qint64{16} << 20;

}  // namespace

void CUlvaneAVConverterDlg::SetUpSegments() {
    segmentList_ = new SegmentList(this);
    segmentList_->setObjectName("segmentList");
    connect(segmentList_, &SegmentList::changed, this, &CUlvaneAVConverterDlg::OnSegmentsChanged);
    connect(segmentList_, &SegmentList::picked, this, [this](int index) {
        // A segment chosen in the list: its marks in the boxes, its first picture in the preview.
        ShowSelectedSegment();
        if (!cutSourcePath_.isEmpty()) ShowPictureAt(Millis(segmentList_->segments()[size_t(index)].startMicros));
    });
    connect(segmentList_, &SegmentList::addRequested, this, &CUlvaneAVConverterDlg::AddSegment);
    connect(segmentList_, &SegmentList::sendRequested, this, &CUlvaneAVConverterDlg::SendSegments);
    connect(segmentList_, &SegmentList::saveRequested, this, &CUlvaneAVConverterDlg::SaveSegmentsFile);
    connect(segmentList_, &SegmentList::loadRequested, this, &CUlvaneAVConverterDlg::LoadSegmentsFile);
}

std::vector<Segment> CUlvaneAVConverterDlg::Segments() const {
    return segmentList_->segments();
}

int CUlvaneAVConverterDlg::SelectedSegment() const {
    return segmentList_->selected();
}

void CUlvaneAVConverterDlg::SetSendToJoinList(SegmentsSender send) {
    sendToJoinList_ = std::move(send);
    segmentList_->ShowSendButton(static_cast<bool>(sendToJoinList_));
    FitToTexts();
}

void CUlvaneAVConverterDlg::SendSegments(bool all) {
    const std::vector<Segment>& list = segmentList_->segments();
    const int selected = segmentList_->selected();
    if (!sendToJoinList_ || list.empty() || cutSourcePath_.isEmpty()) return;
    sendToJoinList_(cutSourcePath_, all ? list : std::vector<Segment>{list[size_t(std::max(selected, 0))]});
}

int CUlvaneAVConverterDlg::SeekPosition(int64_t micros) const {
    // A source shorter than a millisecond is all one position: its start is 0, its end 1000.
    const int64_t d = cutInfo_.durationMicros / 1000;
    if (d <= 0) return micros > 0 ? 1000 : 0;
    return static_cast<int>(std::clamp<int64_t>(micros / 1000 * 1000 / d, 0, 1000));
}

int64_t CUlvaneAVConverterDlg::ShownMillisecond() const {
    return ShowsExactPictureAtPosition() ? shownFrom_ / 1000 : previewPositionMs_;
}

void CUlvaneAVConverterDlg::OnSegmentsChanged() {
    ShowSelectedSegment();
    // Every change is kept at once, so the segments come back with the file even after a crash.
    if (restoringSegments_ || cutSourcePath_.isEmpty() || services_.segmentsDir.isEmpty()) return;
    if (SegmentStore(services_.segmentsDir.toStdString()).Save(cutSourcePath_.toStdString(), Segments())) return;
    if (toldSegmentsProblem_) return;
    toldSegmentsProblem_ = true;
    services_.messages->Show(this, windowTitle(),
                             SegmentsText(table_, "bcsb").arg(QDir::toNativeSeparators(services_.segmentsDir)), true);
}

void CUlvaneAVConverterDlg::ShowSelectedSegment() {
    const std::vector<Segment>& list = segmentList_->segments();
    const int selected = segmentList_->selected();
    // Each segment in its colour; the selected one, brighter, over the others.
    std::vector<SliderBand> bands;
    for (size_t i = 0; i < list.size(); ++i)
        if (static_cast<int>(i) != selected)
            bands.push_back({SeekPosition(list[i].startMicros), SeekPosition(list[i].endMicros),
                             SegmentList::Colour(static_cast<int>(i), false)});
    ShowTimelineSegments();
    if (cutSourcePath_.isEmpty()) return seekBar_->SetBands(std::move(bands));
    // With no segment yet the marks are the whole file's, as when it was loaded.
    int64_t s = cutInfo_.rangeStartMicros, e = cutInfo_.rangeEndMicros;
    if (selected >= 0 && selected < static_cast<int>(list.size())) {
        s = list[size_t(selected)].startMicros;
        e = list[size_t(selected)].endMicros;
        bands.push_back({SeekPosition(s), SeekPosition(e), SegmentList::Colour(selected, true)});
    }
    seekBar_->SetBands(std::move(bands));
    SetBoxTime(startBox_, Millis(s));
    SetBoxTime(endBox_, Millis(e));
    lengthText_->setText(TimeText(Millis(e - s)));
    seekBar_->SetSelectionStart(SeekPosition(s));
    seekBar_->SetSelectionEnd(SeekPosition(e));
}

void CUlvaneAVConverterDlg::MarksPlaced() {
    const SegmentState next = WithMarks(segmentList_->state(), int64_t{AcceptedTime(startBox_)} * 1000,
                                        int64_t{AcceptedTime(endBox_)} * 1000);
    if (next == segmentList_->state()) return;
    // A mark placed at the position while its exact picture was on its way is refined by the
    // same step that set it: the picture's answer amends it.
    if (pendingMark_ != Mark::kNone)
        segmentList_->Amend(next);
    else
        segmentList_->Change(next);
}

void CUlvaneAVConverterDlg::ShowSegmentsOfSource() {
    std::vector<Segment> kept;
    if (!services_.segmentsDir.isEmpty())
        kept = SegmentStore(services_.segmentsDir.toStdString()).Load(cutSourcePath_.toStdString());
    segmentList_->SetSourceLoaded(true);
    detectButton_->setEnabled(true);  // there is a file to search now
    restoringSegments_ = true;
    segmentList_->Reset(std::move(kept));
    restoringSegments_ = false;
}

void CUlvaneAVConverterDlg::AddSegment() {
    if (cutSourcePath_.isEmpty()) return;
    const bool exact = ShowsExactPictureAtPosition();
    const SegmentState next = WithNewSegment(segmentList_->state(), ShownMillisecond() * 1000, cutInfo_.durationMicros);
    if (next == segmentList_->state()) return;
    segmentList_->Change(next);
    if (exact || player_->playing()) return;  // playing, the picture on screen is exact
    // The start takes the exact picture's time when it comes, as a start mark does.
    RequestExactPicture(previewPositionMs_);
    pendingMark_ = Mark::kStart;
}

void CUlvaneAVConverterDlg::ShowPictureAt(int32_t ms) {
    const auto durationMs = static_cast<int32_t>(std::clamp<int64_t>(cutInfo_.durationMicros / 1000, 0, INT32_MAX));
    ms = std::clamp(ms, 0, durationMs);
    if (SeekWhilePlaying(int64_t{ms} * 1000)) return;
    seekBar_->SetPosition(durationMs > 0 ? static_cast<int>(int64_t{ms} * 1000 / durationMs) : 0);
    previewPositionMs_ = ms;
    ShowPositionText();
    ShowPreviewFrame(ms / 1000.0);
    RequestExactPicture(ms);
    shownPosition_ = seekBar_->GetPosition();
}

void CUlvaneAVConverterDlg::GoToMark(bool end) {
    ShowPictureAt(AcceptedTime(end ? endBox_ : startBox_));
}

void CUlvaneAVConverterDlg::GoToKeyFrame(int step) {
    // Key frames are compared by the millisecond they are shown at, as the marks are.
    const int64_t at = ShownMillisecond();
    std::optional<int64_t> to;
    for (int64_t k : keyFrames_) {
        if (step < 0 && k / 1000 < at) to = k / 1000;  // the last before
        if (step > 0 && k / 1000 > at) {
            to = k / 1000;  // the first after
            break;
        }
    }
    if (to) ShowPictureAt(static_cast<int32_t>(std::min<int64_t>(*to, INT32_MAX)));
}

void CUlvaneAVConverterDlg::StepOnePicture(int step) {
    PauseForStep();
    if (shownFrom_ >= 0) return StepPicture(step);
    // No exact picture yet (a key frame's is shown): a picture's time from the position.
    const MediaInfo& i = cutInfo_;
    const int64_t frame =
        i.frameRateNum > 0 && i.frameRateDen > 0 ? int64_t{1'000'000} * i.frameRateDen / i.frameRateNum : 40'000;
    const int64_t d = i.durationMicros;
    const int64_t at = std::clamp<int64_t>(
        MillisecondMicros(previewPositionMs_) + step * std::max<int64_t>(frame, 1000), 0, std::max<int64_t>(d - 1, 0));
    previewPositionMs_ = Millis(at);
    seekBar_->SetPosition(SeekPosition(at));
    shownPosition_ = seekBar_->GetPosition();
    ShowPositionText();
    RequestExactMicros(at, true);
}

void CUlvaneAVConverterDlg::SaveSegmentsFile() {
    if (Segments().empty() || !services_.chooseSaveFile) return;
    const QFileInfo source(cutSourcePath_);
    const QString suggested = source.absolutePath() + "/" + source.completeBaseName() + ".csv";
    const QString filter = SegmentsText(table_, "lb") + " (*.csv);;" + Text("JIEMIAN", "sywj") + " (*)";
    const QString path = services_.chooseSaveFile(this, SegmentsText(table_, "bc").remove(QChar(0x2026)).remove("..."),
                                                  suggested, filter);
    if (path.isEmpty()) return;
    QSaveFile file(path);
    const std::string csv = SegmentsToCsv(Segments());
    if (file.open(QIODevice::WriteOnly) &&
        file.write(csv.data(), static_cast<qint64>(csv.size())) == qint64(csv.size()) && file.commit())
        return;
    services_.messages->Show(
        this, windowTitle(),
        SegmentsText(table_, "xrsb").arg(QDir::toNativeSeparators(path)) + "\n\n" + file.errorString(), true);
}

void CUlvaneAVConverterDlg::LoadSegmentsFile() {
    if (cutSourcePath_.isEmpty() || !services_.chooseOpenFile) return;
    const QString filter = SegmentsText(table_, "lb") + " (*.csv);;" + Text("JIEMIAN", "sywj") + " (*)";
    const QString path = services_.chooseOpenFile(this, SegmentsText(table_, "dr").remove(QChar(0x2026)).remove("..."),
                                                  QFileInfo(cutSourcePath_).absolutePath(), filter);
    if (path.isEmpty()) return;
    const QString name = QDir::toNativeSeparators(path);
    const auto refuse = [&](const char* key, const QString& why) {
        services_.messages->Show(this, windowTitle(), SegmentsText(table_, key).arg(name) + "\n\n" + why, true);
    };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return refuse("dqsb", file.errorString());
    const QByteArray bytes = file.read(kMostCsvBytes + 1);
    const CsvResult read =
        SegmentsFromCsv(std::string_view(bytes.constData(), size_t(bytes.size())), cutInfo_.durationMicros);
    if (!read.error.empty()) return refuse("dqsb", ToQString(read.error));
    segmentList_->Change({read.segments, read.segments.empty() ? -1 : 0});
    QStringList notes;
    for (const std::string& note : read.notes) notes << ToQString(note);
    if (!notes.isEmpty()) services_.messages->Show(this, windowTitle(), name + "\n\n" + notes.join('\n'), false);
}

}  // namespace ulvane
