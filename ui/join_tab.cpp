#include "ui/join_tab.h"

#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <algorithm>

#include "controls/check_list.h"
#include "core/output_naming.h"
#include "ui/control_ids.h"
#include "ui/cut_tab.h"
#include "ui/job_launcher.h"
#include "ui/join_clips.h"
#include "ui/main_window_text.h"
#include "ui/window_context.h"

namespace ulvane {

namespace {

const QColor kListColour(241, 250, 233);
// Room for the header's check box before the name column's heading.
const QString kCheckRoom = "     ";
constexpr int kRowStatusRole = Qt::UserRole;  // on the status column's item

// `text` on two lines, broken at the blank that leaves the longer line shortest; as it is
// without a blank.
QString OnTwoLines(const QString& text, const QFontMetrics& m) {
    QString best = text;
    int bestWidth = m.horizontalAdvance(text);
    for (int i = text.indexOf(' '); i > 0; i = text.indexOf(' ', i + 1)) {
        const QString first = text.left(i), second = text.mid(i + 1);
        const int w = std::max(m.horizontalAdvance(first), m.horizontalAdvance(second));
        if (w < bestWidth) best = first + "\n" + second, bestWidth = w;
    }
    return best;
}

}  // namespace

JoinTab::JoinTab(const WindowContext& context, CutTab* cut, JobLauncher* launcher, QObject* parent)
    : QObject(parent),
      context_(context),
      cut_(cut),
      launcher_(launcher),
      list_(context.ItemAs<CCheckListCtrl>(main_id::kSourceList)) {
    list_->setColumnCount(source_column::kCount);
    const int widths[source_column::kCount] = {175, 60, 90, 70, 70, 40};
    for (int c = 0; c < source_column::kCount; ++c) {
        list_->setHorizontalHeaderItem(c, new QTableWidgetItem());
        list_->setColumnWidth(c, widths[c]);
    }
    list_->InitHeaderCheckBox(context_.Image(292));
    list_->setTabKeyNavigation(false);  // Tab leaves the list for the next control
    list_->setTextElideMode(Qt::ElideMiddle);
    QPalette p = list_->palette();
    p.setColor(QPalette::Base, kListColour);
    list_->setPalette(p);
    using namespace main_id;
    connect(context_.ItemAs<QAbstractButton>(kRemoveButton), &QAbstractButton::clicked, this,
            &JoinTab::RemoveSelectedSource);
    connect(context_.ItemAs<QAbstractButton>(kMoveUpButton), &QAbstractButton::clicked, this,
            [this] { MoveSelectedSource(-1); });
    connect(context_.ItemAs<QAbstractButton>(kMoveDownButton), &QAbstractButton::clicked, this,
            [this] { MoveSelectedSource(1); });
    connect(context_.ItemAs<QAbstractButton>(kMergeButton), &QAbstractButton::clicked, this, &JoinTab::LaunchJoin);
    connect(context_.ItemAs<QAbstractButton>(kApplyToAllButton), &QAbstractButton::clicked, this, &JoinTab::ApplyToAll);
    connect(launcher_, &JobLauncher::rowMarked, this, [this](int row, const std::string& rowPath, RowStatus status) {
        // The list may have changed while the job ran: a row is marked only while it still
        // holds the file it held when the job started.
        if (row >= 0 && row < list_->rowCount() && RowPathText(row) == rowPath) ShowRowStatus(row, status);
    });
}

void JoinTab::AddRow(const QString& path, const MediaInfo& info) {
    const double rate = info.frameRateDen != 0 ? static_cast<double>(info.frameRateNum) / info.frameRateDen : 0.0;
    const auto lengthMs = static_cast<int32_t>(std::min<int64_t>(info.durationMicros / 1000, INT32_MAX));
    list_->clearSelection();
    // In source_column order.
    const QFileInfo file(path);
    list_->AddRow({file.fileName(), ToQString(FileExtensionText(path.toStdString())), TimeText(lengthMs),
                   ToQString(ShownSizeText(info.videoWidth, info.videoHeight, info.rotationDegrees)),
                   QString::asprintf("%5.2ffps", rate), QString()});
    SetRowStatusText(list_->rowCount() - 1, RowStatus::kReady);
    // What a direct join needs to know besides the texts shown.
    QTableWidgetItem* item = list_->item(list_->rowCount() - 1, source_column::kPath);
    item->setData(join_role::kFilePath, path);
    item->setData(join_role::kHidesLead, info.hidesLeadingPictures);
    item->setData(join_role::kVideoCodec, QString::fromStdString(info.videoCodec));
    item->setData(join_role::kAudioCodec, QString::fromStdString(info.audioCodec));
    item->setData(join_role::kSampleRate, info.sampleRate);
    item->setData(join_role::kChannels, info.channels);
    item->setData(join_role::kOtherTracks, QString::fromStdString(info.otherTracks));
    item->setData(join_role::kReorderDepth, info.videoReorderDepth);
    item->setData(join_role::kCodedSize, QString::fromStdString(SizeText(info.videoWidth, info.videoHeight)));
    // The file's folder, and the tracks a direct join takes one of.
    item->setToolTip(QDir::toNativeSeparators(file.absolutePath()) + "\n" + context_.TracksText(info));
    FitColumns();
}

void JoinTab::AddJoinClips(const QString& path, const std::vector<Segment>& segments) {
    if (segments.empty()) return;
    MediaInfo info = cut_->info();
    if (path != cut_->cutSourcePath()) {
        if (const int result = ProbeForWindow(path, info); result != kProbeOk) {
            context_.Tell(context_.UnusableText(path, result));
            return;
        }
    }
    // A clip the file cannot give is refused with the others, before any row comes in.
    if (const std::optional<SegmentProblem> problem = CheckSegments(segments, info.durationMicros, false)) {
        context_.Tell(context_.FileText("EXPORT", "dcyc").arg(problem->index + 1).arg(ToQString(problem->why)));
        return;
    }
    for (const Segment& clip : segments) {
        AddRow(path, info);
        const int row = list_->rowCount() - 1;
        const QString line =
            context_.FileText("EXPORT", "pd")
                .arg(MicrosText(clip.startMicros), MicrosText(clip.endMicros), MicrosText(clip.lengthMicros()));
        MakeClipRow(*list_, row, clip, info.durationMicros, line);
    }
    // A clip's length cell holds two times: the window may need to be wider.
    context_.refit();
}

QString JoinTab::RowPath(int row) const {
    const QTableWidgetItem* item = list_->item(row, source_column::kPath);
    return item ? item->data(join_role::kFilePath).toString() : QString();
}

std::string JoinTab::RowPathText(int row) const {
    // A clip row is its file and the clip's times.
    const std::optional<Segment> clip = ClipOfRow(*list_, row);
    return (RowPath(row) + (clip ? " " + ClipRangeText(*clip) : QString())).toStdString();
}

void JoinTab::MoveSelectedSource(int step) {
    const QList<QTableWidgetItem*> selected = list_->selectedItems();
    if (selected.isEmpty()) return;
    const int row = selected.first()->row();
    list_->MoveRow(row, row + step);  // rows keep their tick and what they know of their file
}

void JoinTab::RemoveSelectedSource() {
    const QList<QTableWidgetItem*> selected = list_->selectedItems();
    if (selected.isEmpty()) return;
    const int row = selected.first()->row();
    list_->removeRow(row);
    if (list_->rowCount() > 0) {
        const int next = std::min(row, list_->rowCount() - 1);
        list_->selectRow(next);
        list_->setCurrentCell(next, source_column::kPath);
        list_->setFocus();
    }
}

void JoinTab::SetRowStatusText(int row, RowStatus status) {
    QTableWidgetItem* item = list_->item(row, source_column::kStatus);
    item->setData(kRowStatusRole, static_cast<int>(status));
    item->setText(RowStatusText(status));
}

void JoinTab::ShowRowStatus(int row, RowStatus status) {
    if (row < 0 || row >= list_->rowCount()) return;
    SetRowStatusText(row, status);
    if (status == RowStatus::kDone) list_->SetChecked(row, false);
    if (status == RowStatus::kReady || status == RowStatus::kStopped) list_->SetChecked(row, true);
}

QString JoinTab::RowStatusText(RowStatus status) const {
    switch (status) {
        case RowStatus::kDone:
            return context_.Text("TISHI", "wc");
        case RowStatus::kFailed:
            return context_.Text("TISHI", "sb");
        case RowStatus::kStopped:
            return context_.Text("TISHI", "ytz");
        case RowStatus::kReady:
            break;
    }
    return context_.Text("JIEMIAN", "zb");
}

void JoinTab::ApplyTexts() {
    for (int r = 0; r < list_->rowCount(); ++r)
        SetRowStatusText(r,
                         static_cast<RowStatus>(list_->item(r, source_column::kStatus)->data(kRowStatusRole).toInt()));
    auto* apply = context_.ItemAs<QPushButton>(main_id::kApplyToAllButton);
    apply->setText(context_.FileText("QUEUE", "yy"));
    apply->setToolTip(context_.FileText("QUEUE", "yyts"));
    FitColumns();
}

JoinTab::Columns JoinTab::NarrowestColumns(int room) const {
    // Each column as wide as the longest of its heading and texts (the rows', and the longest
    // each can get), the name column wide enough for its heading and a short name. Headings of
    // several words go on two lines when one line would not fit in `room`.
    using namespace source_column;
    const char* keys[kCount] = {"ywj", "spgs", "spcd", "spdx", "zl", "zt"};
    const QFontMetrics cell(list_->font());
    const QFontMetrics heading(list_->horizontalHeader()->font());
    const auto widest = [](const QFontMetrics& m, const QString& text) {
        int w = 0;
        for (const QString& line : text.split('\n')) w = std::max(w, m.horizontalAdvance(line));
        return w;
    };
    int content[kCount] = {0,
                           0,
                           cell.horizontalAdvance("00:00:00.000"),
                           cell.horizontalAdvance("1920*1080"),
                           cell.horizontalAdvance("29.97fps"),
                           0};
    for (RowStatus s : {RowStatus::kReady, RowStatus::kDone, RowStatus::kFailed, RowStatus::kStopped})
        content[kStatus] = std::max(content[kStatus], cell.horizontalAdvance(RowStatusText(s)));
    for (int r = 0; r < list_->rowCount(); ++r)
        for (int c = 1; c < kCount; ++c)
            if (const QTableWidgetItem* item = list_->item(r, c))
                content[c] = std::max(content[c], cell.horizontalAdvance(item->text()));
    const int margin = 12;  // the cell's or section's padding and the grid line
    const int checkBox = list_->style()->pixelMetric(QStyle::PM_IndicatorWidth) + 8;
    Columns cols;
    for (const bool twoLines : {false, true}) {
        cols.total = 0;
        for (int c = 0; c < kCount; ++c) {
            cols.titles[c] = context_.Text("JIEMIAN", keys[c]);
            if (twoLines) cols.titles[c] = OnTwoLines(cols.titles[c], heading);
            cols.widths[c] = std::max(content[c], widest(heading, cols.titles[c])) + margin;
            cols.total += cols.widths[c];
        }
        cols.titles[kPath] = kCheckRoom + QString(cols.titles[kPath]).replace("\n", "\n" + kCheckRoom);
        const int path =
            std::max(widest(heading, cols.titles[kPath]), cell.horizontalAdvance("holiday_01.mp4") + checkBox);
        cols.total += path + margin - cols.widths[kPath];
        cols.widths[kPath] = path + margin;
        if (cols.total <= room) break;
    }
    return cols;
}

int JoinTab::ListRoom() const {
    return list_->contentsRect().width() -
           (list_->verticalScrollBar()->isVisible() ? list_->verticalScrollBar()->width() : 0);
}

int JoinTab::ExtraWidth(int listWidth) const {
    const int room = listWidth - (list_->width() - ListRoom());
    return std::max(0, NarrowestColumns(room).total - room);
}

void JoinTab::FitColumns() {
    // Every heading and text shows whole, without scrolling sideways (the window is at least as
    // wide as that needs); the name column takes the rest, and elides a long name in the middle.
    const int room = ListRoom();
    const Columns cols = NarrowestColumns(room);
    int others = 0;
    for (int c = 0; c < source_column::kCount; ++c) {
        list_->horizontalHeaderItem(c)->setText(cols.titles[c]);
        if (c == source_column::kPath) continue;
        list_->setColumnWidth(c, cols.widths[c]);
        others += cols.widths[c];
    }
    list_->setColumnWidth(source_column::kPath, std::max(cols.widths[source_column::kPath], room - others));
}

}  // namespace ulvane
