#include "ui/cut_tab.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QSaveFile>
#include <QToolButton>
#include <algorithm>

#include "controls/bitmap_slider.h"
#include "controls/control_button.h"
#include "controls/timeline_strip.h"
#include "core/segment_formats.h"
#include "core/time_text.h"
#include "engine/cut_start.h"
#include "engine/key_frames.h"
#include "ui/control_ids.h"
#include "ui/cut_preview.h"
#include "ui/find_button.h"
#include "ui/main_window_text.h"
#include "ui/segment_list.h"
#include "ui/track_choices.h"
#include "ui/track_list.h"
#include "ui/window_context.h"

namespace ulvane {

namespace {

using namespace main_id;

int32_t Millis(int64_t micros) {
    return static_cast<int32_t>(std::clamp<int64_t>(micros / 1000, 0, INT32_MAX));
}

// A time box shows a time the window accepted, kept with it, or a text being typed.
constexpr const char* kAcceptedTime = "acceptedTime";

void SetBoxTime(QLineEdit* box, int32_t ms) {
    box->setText(TimeText(ms));
    box->setProperty(kAcceptedTime, ms);  // what a refused text goes back to
}

int32_t AcceptedTime(const QLineEdit* box) {
    return box->property(kAcceptedTime).toInt();
}

// A list file bigger than this is no segment list (the readers refuse it anyway).
constexpr qint64 kMostListBytes = qint64{16} << 20;

// The file dialog's filters of the segment list formats ("Segment lists (*.csv);;..."), with
// one of them all first when `anyList` (to load), and every file last.
QString ListFilters(const WindowContext& context, bool anyList) {
    constexpr std::pair<SegmentFormat, const char*> kFormats[] = {{SegmentFormat::Csv, "lb"},
                                                                  {SegmentFormat::Edl, "edl"},
                                                                  {SegmentFormat::ChapterText, "zjwb"},
                                                                  {SegmentFormat::Cue, "cue"},
                                                                  {SegmentFormat::FfMetadata, "ffm"}};
    QStringList filters, everyPattern;
    for (const auto& [format, key] : kFormats) {
        QStringList patterns;
        for (const std::string& extension : SegmentFormatExtensions(format))
            patterns << "*" + QString::fromStdString(extension);
        filters << context.FileText("SEGMENTS", key) + " (" + patterns.join(' ') + ")";
        everyPattern << patterns;
    }
    if (anyList) filters.prepend(context.FileText("SEGMENTS", "qbgs") + " (" + everyPattern.join(' ') + ")");
    filters << context.Text("JIEMIAN", "sywj") + " (*)";
    return filters.join(";;");
}

// An arrow going round clockwise, three quarters of a circle, in the button's text colour.
QIcon TurnIcon(const QColor& colour) {
    QPixmap face(32, 32);
    face.fill(Qt::transparent);
    QPainter p(&face);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(colour, 3.2, Qt::SolidLine, Qt::RoundCap));
    const QRectF ring(6, 6, 20, 20);
    p.drawArc(ring, 180 * 16, -270 * 16);  // from the left, over the top, round to the bottom
    // The head at the arc's end (the bottom of the ring), pointing left: the way it turns.
    QPainterPath head;
    head.moveTo(16 - 6.5, 26);
    head.lineTo(16 + 1.5, 26 - 5.5);
    head.lineTo(16 + 1.5, 26 + 5.5);
    head.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPath(head);
    return QIcon(face);
}

}  // namespace

std::optional<int32_t> TypedTime(const QLineEdit* box) {
    const std::optional<int64_t> us = ParseTypedTime(box->text().toStdString());
    if (!us || *us / 1000 > INT32_MAX) return std::nullopt;
    return static_cast<int32_t>(*us / 1000);
}

QString CutShortNote(const WindowContext& context, const QString& path, const MediaInfo& info) {
    if (info.statedDurationMicros <= info.durationMicros) return {};
    return context.FileText("TISHI", "jdwj")
        .arg(QDir::toNativeSeparators(path), TimeText(Millis(info.statedDurationMicros)),
             TimeText(Millis(info.durationMicros)));
}

CutTab::CutTab(const WindowContext& context, CutPreview* preview, JobLauncher* launcher, QObject* parent)
    : QObject(parent),
      context_(context),
      preview_(preview),
      launcher_(launcher),
      startBox_(context.ItemAs<QLineEdit>(kStartBox)),
      endBox_(context.ItemAs<QLineEdit>(kEndBox)),
      lengthText_(context.ItemAs<QLabel>(kLengthText)),
      seekBar_(context.ItemAs<CBitmapSlider>(kSeekBar)) {
    segmentList_ = new SegmentList(context_.window);
    segmentList_->setObjectName("segmentList");
    connect(segmentList_, &SegmentList::changed, this, &CutTab::OnSegmentsChanged);
    connect(segmentList_, &SegmentList::picked, this, [this](int index) {
        // A segment chosen in the list: its marks in the boxes, its first picture in the preview.
        ShowSelectedSegment();
        if (!path_.isEmpty())
            preview_->Seek(segmentList_->segments()[size_t(index)].startMicros / 1000 * 1000,
                           CutPreview::Precision::kExact);
    });
    connect(segmentList_, &SegmentList::addRequested, this, &CutTab::AddSegment);
    connect(segmentList_, &SegmentList::sendRequested, this, &CutTab::SendSegments);
    connect(segmentList_, &SegmentList::saveRequested, this, &CutTab::SaveSegmentsFile);
    connect(segmentList_, &SegmentList::loadRequested, this, &CutTab::LoadSegmentsFile);
    connect(segmentList_, &SegmentList::chaptersRequested, this, &CutTab::LoadChapters);
    find_ = new FindButton(context_, segmentList_, this);
    connect(find_, &FindButton::found, this, [this](const QString& path, const std::vector<Segment>& found) {
        // Segments found in a file that is no longer loaded belong to no list.
        if (found.empty() || path != path_) return;
        SegmentState next = segmentList_->state();
        next.selected = static_cast<int>(next.segments.size());
        next.segments.insert(next.segments.end(), found.begin(), found.end());
        segmentList_->Change(std::move(next));
    });
    tracks_ = new TrackChoices(context_, context_.window);

    SetBoxTime(startBox_, 0);
    SetBoxTime(endBox_, 0);
    connect(startBox_, &QLineEdit::textChanged, this, &CutTab::OnTimeEdited);
    connect(endBox_, &QLineEdit::textChanged, this, &CutTab::OnTimeEdited);
    startBox_->installEventFilter(this);
    endBox_->installEventFilter(this);
    connect(startBox_, &QLineEdit::editingFinished, this, [this] { OnTimeTyped(startBox_); });
    connect(endBox_, &QLineEdit::editingFinished, this, [this] { OnTimeTyped(endBox_); });
    connect(context_.ItemAs<CControlButton>(kStartPointButton), &QAbstractButton::clicked, this,
            &CutTab::SetStartPoint);
    connect(context_.ItemAs<CControlButton>(kEndPointButton), &QAbstractButton::clicked, this, &CutTab::SetEndPoint);
    connect(context_.ItemAs<CControlButton>(kConvertButton), &QAbstractButton::clicked, this, &CutTab::LaunchCut);
    auto* turn = context_.ItemAs<QToolButton>(kTurnButton);
    turn->setIcon(TurnIcon(turn->palette().color(QPalette::ButtonText)));
    connect(turn, &QToolButton::clicked, this, [this] { TurnOutput(1); });
    connect(preview_, &CutPreview::pictureShown, this, &CutTab::OnPictureShown);
    connect(preview_, &CutPreview::keyFramesFound, this, &CutTab::ShowDirectStartNote);
    connect(preview_, &CutPreview::playSegmentAsked, this, &CutTab::PlaySegment);
    connect(preview_, &CutPreview::playResultAsked, this, &CutTab::PlayResult);
    connect(preview_, &CutPreview::resultClipShown, this, &CutTab::FollowResultClip);
}

CutTab::~CutTab() {
    // A time box losing its focus while the window goes must not reach this tab as it goes,
    // nor a label being typed into the segment list.
    startBox_->disconnect(this);
    endBox_->disconnect(this);
    segmentList_->disconnect(this);
}

TrackList* CutTab::trackList() const {
    return tracks_->list();
}

void CutTab::ApplyTexts() {
    segmentList_->ApplyTexts(context_.table);
    find_->ApplyTexts();
    tracks_->list()->ApplyTexts(context_.table);
    ApplyTurnTexts();
    context_.ItemAs<QLabel>(kDirectStartNote)->setText(context_.Text("JIEMIAN", "zjqd") + " 00:00:00.000");
}

void CutTab::Load(const QString& path, const MediaInfo& info) {
    path_ = path;
    info_ = info;
    waitingMark_.reset();
    context_.Item(kAddButton)->hide();
    preview_->Load(path, info, turns_.value(path, 0));
    ApplyTurnTexts();
    const int64_t d = info.durationMicros / 1000, s = info.rangeStartMicros / 1000, e = info.rangeEndMicros / 1000;
    if (d <= 0) {
        // Under a millisecond: a source of length zero, nothing to seek in.
        seekBar_->SetSelectionStart(0);
        seekBar_->SetSelectionEnd(1000);
    } else {
        seekBar_->SetSelectionStart(static_cast<int>(s * 1000 / d));
        seekBar_->SetSelectionEnd(static_cast<int>(e * 1000 / d));
    }
    SetBoxTime(startBox_, Millis(s * 1000));
    SetBoxTime(endBox_, Millis(e * 1000));
    lengthText_->setText(TimeText(Millis((e - s) * 1000)));
    ShowDirectStartNote();
    find_->SetSource(path, info.durationMicros);
    // The file's kept segments come back.
    std::vector<Segment> kept;
    if (!context_.services.segmentsDir.isEmpty())
        kept = SegmentStore(context_.services.segmentsDir.toStdString()).Load(path.toStdString());
    segmentList_->SetSourceLoaded(true);
    restoring_ = true;
    segmentList_->Reset(kept);
    restoring_ = false;
    ShowSegmentBands();
    tracks_->Show(path);
    context_.refit();  // the track list's share of the room follows its rows
    // Segment 1 is selected: the preview shows the picture it starts on, as picking it does.
    if (!kept.empty()) preview_->Seek(kept.front().startMicros / 1000 * 1000, CutPreview::Precision::kExact);
    if (const QString note = CutShortNote(context_, path, info); !note.isEmpty()) context_.Tell(note, false);
}

void CutTab::SetStartPoint() {
    if (path_.isEmpty()) return;
    seekBar_->SetSelectionMode(1);
    if (Segments().empty()) SetBoxTime(endBox_, Millis(info_.durationMicros));  // a selected segment keeps its end
    MarkShownPicture(Mark::kStart);
}

void CutTab::SetEndPoint() {
    if (path_.isEmpty()) return;
    seekBar_->SetSelectionMode(2);
    MarkShownPicture(Mark::kEnd);
}

void CutTab::MarkShownPicture(Mark mark) {
    // A mark takes the time of the picture shown, which starts within the millisecond it is
    // stored at; until the exact picture is in, the position stands in for it.
    waitingMark_.reset();
    const CutPreview::Shown shown = preview_->OnScreen();
    PlaceMark(mark, Millis(shown.micros));
    if (!shown.exact) waitingMark_ = WaitingMark{mark, preview_->Seek(shown.micros, CutPreview::Precision::kExact)};
}

void CutTab::OnPictureShown(qint64 fromMicros, qint64 forMicros, bool exact, int request) {
    if (!exact || !waitingMark_ || waitingMark_->request != request) return;
    // The mark set meanwhile takes the time of the picture now shown.
    const WaitingMark waiting = *waitingMark_;
    waitingMark_.reset();
    if (!waiting.typedStart) return PlaceMark(waiting.mark, Millis(fromMicros), true);
    // A typed start takes the picture a cut from it starts on, which shows next when the start
    // lies less than half a picture before it.
    const int64_t at = CutStartPicture(*waiting.typedStart, fromMicros, forMicros);
    PlaceMark(Mark::kStart, Millis(at), true);
    if (at > fromMicros) preview_->Seek(at, CutPreview::Precision::kExact);
}

void CutTab::PlaceMark(Mark mark, int32_t ms, bool refine) {
    const int64_t d = info_.durationMicros;
    int32_t s = mark == Mark::kStart ? ms : AcceptedTime(startBox_);
    int32_t e = mark == Mark::kEnd ? ms : AcceptedTime(endBox_);
    if (e < s) std::swap(s, e);  // an end before the start: the two times change places
    SetBoxTime(startBox_, s);
    SetBoxTime(endBox_, e);
    lengthText_->setText(TimeText(e - s));
    seekBar_->SetSelectionStart(SeekBarPlace(int64_t{s} * 1000, d));
    seekBar_->SetSelectionEnd(SeekBarPlace(int64_t{e} * 1000, d));
    const SegmentState next = WithMarks(segmentList_->state(), int64_t{s} * 1000, int64_t{e} * 1000);
    if (next == segmentList_->state()) return;
    // A mark refined to its exact picture belongs to the step that set it.
    if (refine)
        segmentList_->Amend(next);
    else
        segmentList_->Change(next);
}

void CutTab::OnTimeEdited() {
    const std::optional<int32_t> s = TypedTime(startBox_), e = TypedTime(endBox_);
    // A text that is no time shows plainly while it is typed.
    for (auto [box, valid] : {std::pair{startBox_, s.has_value()}, std::pair{endBox_, e.has_value()}})
        box->setStyleSheet(valid ? QString() : QString("QLineEdit { color: #b00000; background: #ffe0e0; }"));
    lengthText_->setText(TimeText(s && e && *e > *s ? *e - *s : 0));
    ShowDirectStartNote();
}

void CutTab::OnTimeTyped(QLineEdit* box) {
    // Only a text the user changed moves a mark: tabbing through a box changes nothing.
    if (!box->isModified()) return;
    box->setModified(false);
    const std::optional<int32_t> typed = TypedTime(box);
    if (path_.isEmpty() || !typed) return;  // a text that is no time stays marked; a cut names it
    const bool start = box == startBox_;
    const int32_t durationMs = Millis(info_.durationMicros);
    const int32_t s = AcceptedTime(startBox_), e = AcceptedTime(endBox_);
    const auto refuse = [&](const char* key, int32_t other) {
        // The time before stays, and the message says why.
        SetBoxTime(box, AcceptedTime(box));
        context_.Tell(context_.Text("TISHI", key).arg(TimeText(*typed), TimeText(other)));
    };
    if (start && *typed > durationMs) return refuse("ksjw", durationMs);
    if (start && *typed > e) return refuse("ksdj", e);
    // An end past the file's end means the file's end.
    const int32_t t = start ? *typed : std::min(*typed, durationMs);
    if (!start && t < s) return refuse("jsdk", s);
    waitingMark_.reset();
    PlaceMark(start ? Mark::kStart : Mark::kEnd, t);
    const int request = preview_->Seek(int64_t{t} * 1000, CutPreview::Precision::kExact);  // as a mark shows it
    if (start) waitingMark_ = WaitingMark{Mark::kStart, request, int64_t{t} * 1000};
    if (t != *typed) context_.Tell(context_.Text("TISHI", "jswj").arg(TimeText(*typed), TimeText(t)), false);
}

bool CutTab::eventFilter(QObject* watched, QEvent* event) {
    auto* box = qobject_cast<QLineEdit*>(watched);
    if (event->type() != QEvent::KeyPress || (box != startBox_ && box != endBox_)) return false;
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Escape) {
        SetBoxTime(box, AcceptedTime(box));
        box->setModified(false);
        return true;
    }
    if (key != Qt::Key_Return && key != Qt::Key_Enter) return false;
    OnTimeTyped(box);
    // A time taken (or refused, the one before back): Space and the letters play and mark again.
    // A text that is no time keeps the focus, to be mended.
    if (TypedTime(box)) seekBar_->setFocus(Qt::OtherFocusReason);
    return true;
}

void CutTab::ShowDirectStartNote() {
    auto* note = context_.ItemAs<QLabel>(kDirectStartNote);
    const std::vector<int64_t>& keys = preview_->keyFrames();
    const std::optional<int32_t> start = TypedTime(startBox_);
    if (keys.empty() || !start || path_.isEmpty()) {
        note->clear();
        return;
    }
    // A direct cut starts at the key frame at or before the marked start.
    const int64_t from = DirectCutStart(keys, int64_t{*start} * 1000);
    note->setText(from / 1000 == *start ? QString() : context_.Text("JIEMIAN", "zjqd") + " " + TimeText(Millis(from)));
}

std::vector<Segment> CutTab::Segments() const {
    return segmentList_->segments();
}

int CutTab::SelectedSegment() const {
    return segmentList_->selected();
}

std::optional<Segment> CutTab::TypedMarks() const {
    const std::optional<int32_t> s = TypedTime(startBox_), e = TypedTime(endBox_);
    if (!s || !e) return std::nullopt;
    return Segment{int64_t{*s} * 1000, int64_t{*e} * 1000, {}};
}

void CutTab::SetSendToJoinList(SegmentsSender send) {
    sendToJoinList_ = std::move(send);
    segmentList_->ShowSendButton(static_cast<bool>(sendToJoinList_));
    context_.refit();
}

void CutTab::SendSegments(bool all) {
    const std::vector<Segment>& list = segmentList_->segments();
    const int selected = segmentList_->selected();
    if (!sendToJoinList_ || list.empty() || path_.isEmpty()) return;
    sendToJoinList_(path_, all ? list : std::vector<Segment>{list[size_t(std::max(selected, 0))]});
}

void CutTab::OnSegmentsChanged() {
    ShowSelectedSegment();
    // Every change is kept at once, so the segments come back with the file even after a crash.
    const QString& folder = context_.services.segmentsDir;
    if (restoring_ || path_.isEmpty() || folder.isEmpty()) return;
    if (SegmentStore(folder.toStdString()).Save(path_.toStdString(), Segments())) return;
    if (toldSegmentsProblem_) return;
    toldSegmentsProblem_ = true;
    context_.Tell(context_.FileText("SEGMENTS", "bcsb").arg(QDir::toNativeSeparators(folder)));
}

void CutTab::ShowSegmentBands() {
    const std::vector<Segment>& list = segmentList_->segments();
    const int selected = segmentList_->selected();
    const int64_t d = info_.durationMicros;
    // Each segment in its colour; the selected one last, brighter, over the others.
    std::vector<SliderBand> bands;
    std::vector<TimelineStrip::Band> strip;
    for (size_t i = 0; i < list.size(); ++i)
        if (static_cast<int>(i) != selected) {
            const QColor colour = SegmentList::Colour(static_cast<int>(i), false);
            bands.push_back({SeekBarPlace(list[i].startMicros, d), SeekBarPlace(list[i].endMicros, d), colour});
            strip.push_back({list[i].startMicros, list[i].endMicros, colour});
        }
    if (selected >= 0 && selected < static_cast<int>(list.size())) {
        const Segment& s = list[size_t(selected)];
        if (!path_.isEmpty())
            bands.push_back(
                {SeekBarPlace(s.startMicros, d), SeekBarPlace(s.endMicros, d), SegmentList::Colour(selected, true)});
        strip.push_back({s.startMicros, s.endMicros, SegmentList::Colour(selected, true)});
    }
    // What two segments share, over them all: an export has it twice.
    for (const Segment& shared : SegmentList::SharedSpans(list)) {
        const QColor colour = SegmentList::SharedColour();
        bands.push_back({SeekBarPlace(shared.startMicros, d), SeekBarPlace(shared.endMicros, d), colour});
        strip.push_back({shared.startMicros, shared.endMicros, colour});
    }
    seekBar_->SetBands(std::move(bands));
    preview_->timelineStrip()->SetSegments(std::move(strip));
}

void CutTab::ShowSelectedSegment() {
    ShowSegmentBands();
    if (path_.isEmpty()) return;
    const std::vector<Segment>& list = segmentList_->segments();
    const int selected = segmentList_->selected();
    // With no segment yet the marks are the whole file's, as when it was loaded.
    int64_t s = info_.rangeStartMicros, e = info_.rangeEndMicros;
    if (selected >= 0 && selected < static_cast<int>(list.size())) {
        s = list[size_t(selected)].startMicros;
        e = list[size_t(selected)].endMicros;
    }
    SetBoxTime(startBox_, Millis(s));
    SetBoxTime(endBox_, Millis(e));
    lengthText_->setText(TimeText(Millis(e - s)));
    seekBar_->SetSelectionStart(SeekBarPlace(s, info_.durationMicros));
    seekBar_->SetSelectionEnd(SeekBarPlace(e, info_.durationMicros));
}

void CutTab::AddSegment() {
    if (path_.isEmpty()) return;
    const CutPreview::Shown shown = preview_->OnScreen();
    const SegmentState next = WithNewSegment(segmentList_->state(), shown.micros / 1000 * 1000, info_.durationMicros);
    if (next == segmentList_->state()) return;
    segmentList_->Change(next);
    if (shown.exact) return;
    // The start takes the exact picture's time when it comes, as a start mark does.
    waitingMark_ = WaitingMark{Mark::kStart, preview_->Seek(shown.micros, CutPreview::Precision::kExact)};
}

void CutTab::GoToMark(bool end) {
    preview_->Seek(int64_t{AcceptedTime(end ? endBox_ : startBox_)} * 1000, CutPreview::Precision::kExact);
}

void CutTab::PlaySegment() {
    const std::vector<Segment> list = Segments();
    const int selected = SelectedSegment();
    int64_t from = info_.rangeStartMicros, to = info_.rangeEndMicros;
    if (selected >= 0 && selected < static_cast<int>(list.size())) {
        from = list[size_t(selected)].startMicros;
        to = list[size_t(selected)].endMicros;
    }
    preview_->PlayRange(from, to);
}

void CutTab::TurnOutput(int quarters) {
    auto* button = context_.ItemAs<QToolButton>(kTurnButton);
    if (path_.isEmpty()) {
        button->setChecked(false);  // nothing loaded: nothing to turn
        return;
    }
    const int turn = ((turns_.value(path_, 0) + 90 * quarters) % 360 + 360) % 360;
    turns_[path_] = turn;
    preview_->SetTurn(turn);
    ApplyTurnTexts();
}

void CutTab::ApplyTurnTexts() {
    // Checked while a turn is set, so the button shows there is one.
    const int turn = path_.isEmpty() ? 0 : turns_.value(path_, 0);
    auto* button = context_.ItemAs<QToolButton>(kTurnButton);
    button->setChecked(turn != 0);
    button->setToolTip(context_.FileText("PLAYER", "xz").arg(turn));
}

void CutTab::SaveSegmentsFile() {
    if (Segments().empty() || !context_.services.chooseSaveFile) return;
    const QFileInfo source(path_);
    const QString suggested = source.absolutePath() + "/" + source.completeBaseName() + ".csv";
    const QString title = context_.FileText("SEGMENTS", "bc").remove(QChar(0x2026)).remove("...");
    const QString path =
        context_.services.chooseSaveFile(context_.window, title, suggested, ListFilters(context_, false));
    if (path.isEmpty()) return;
    // The format the name's extension asks for; a name of no list format is written as CSV.
    const SegmentFormat format = SegmentFormatOf(path.toStdString()).value_or(SegmentFormat::Csv);
    const SegmentSource facts = ListSource();
    const QString refused = context_.FileText("SEGMENTS", "xrsb").arg(QDir::toNativeSeparators(path)) + "\n\n";
    if (const std::string missing = MissingToWrite(format, facts); !missing.empty())
        return context_.Tell(refused + ToQString(missing + " of the source is needed, and it has none"));
    QSaveFile file(path);
    const std::string text = WriteSegments(format, Segments(), facts);
    if (file.open(QIODevice::WriteOnly) &&
        file.write(text.data(), static_cast<qint64>(text.size())) == qint64(text.size()) && file.commit())
        return;
    context_.Tell(refused + file.errorString());
}

void CutTab::LoadSegmentsFile() {
    if (path_.isEmpty() || !context_.services.chooseOpenFile) return;
    const QString title = context_.FileText("SEGMENTS", "dr").remove(QChar(0x2026)).remove("...");
    const QString path = context_.services.chooseOpenFile(context_.window, title, QFileInfo(path_).absolutePath(),
                                                          ListFilters(context_, true));
    if (path.isEmpty()) return;
    const QString name = QDir::toNativeSeparators(path);
    const auto refuse = [&](const char* key, const QString& why) {
        context_.Tell(context_.FileText("SEGMENTS", key).arg(name) + "\n\n" + why);
    };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return refuse("dqsb", file.errorString());
    const QByteArray bytes = file.read(kMostListBytes + 1);
    // The format the name's extension asks for; a name of no list format is read as CSV.
    const SegmentFormat format = SegmentFormatOf(path.toStdString()).value_or(SegmentFormat::Csv);
    const CsvResult read =
        ReadSegments(format, std::string_view(bytes.constData(), size_t(bytes.size())), ListSource());
    if (!read.error.empty()) return refuse("dqsb", ToQString(read.error));
    segmentList_->Change({read.segments, read.segments.empty() ? -1 : 0});
    QStringList notes;
    for (const std::string& note : read.notes) notes << ToQString(note);
    if (!notes.isEmpty()) context_.Tell(name + "\n\n" + notes.join('\n'), false);
}

SegmentSource CutTab::ListSource() const {
    SegmentSource source;
    source.lengthMicros = info_.durationMicros;
    if (info_.videoWidth > 0) {
        source.frameRateNum = info_.frameRateNum;
        source.frameRateDen = info_.frameRateDen;
    }
    source.name = QFileInfo(path_).fileName().toStdString();
    return source;
}

void CutTab::LoadChapters() {
    if (path_.isEmpty()) return;
    std::vector<Segment> chapters = ChapterSegments(info_.chapters);
    if (chapters.empty())
        return context_.Tell(context_.FileText("SEGMENTS", "wzj").arg(QDir::toNativeSeparators(path_)), false);
    segmentList_->Change({std::move(chapters), 0});
}

}  // namespace ulvane
