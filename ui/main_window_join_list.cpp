// The main window's join list: its set-up, column headings and widths in the active language.
#include <QHeaderView>
#include <QScrollBar>
#include <QStyle>
#include <algorithm>

#include "controls/check_list.h"
#include "ui/control_ids.h"
#include "ui/main_window.h"

namespace ulvane {

namespace {

const QColor kListColour(241, 250, 233);
// Room for the header's check box before the name column's heading.
const QString kCheckRoom = "     ";

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

void CUlvaneAVConverterDlg::SetUpSourceList() {
    sourceList_->setColumnCount(source_column::kCount);
    const int widths[source_column::kCount] = {175, 60, 90, 70, 70, 40};
    for (int c = 0; c < source_column::kCount; ++c) {
        sourceList_->setHorizontalHeaderItem(c, new QTableWidgetItem());
        sourceList_->setColumnWidth(c, widths[c]);
    }
    sourceList_->InitHeaderCheckBox(Image(292));
    sourceList_->setTabKeyNavigation(false);  // Tab leaves the list for the next control
    sourceList_->setTextElideMode(Qt::ElideMiddle);
    QPalette p = sourceList_->palette();
    p.setColor(QPalette::Base, kListColour);
    sourceList_->setPalette(p);
}

void CUlvaneAVConverterDlg::ApplyLanguageToSourceList() {
    for (int r = 0; r < sourceList_->rowCount(); ++r)
        SetRowStatusText(
            r, static_cast<RowStatus>(sourceList_->item(r, source_column::kStatus)->data(kRowStatusRole).toInt()));
    FitSourceColumns();
}

CUlvaneAVConverterDlg::SourceColumns CUlvaneAVConverterDlg::NarrowestSourceColumns(int room) const {
    // Each column as wide as the longest of its heading and texts (the rows', and the longest
    // each can get), the name column wide enough for its heading and a short name. Headings of
    // several words go on two lines when one line would not fit in `room`.
    using namespace source_column;
    const char* keys[kCount] = {"ywj", "spgs", "spcd", "spdx", "zl", "zt"};
    const QFontMetrics cell(sourceList_->font());
    const QFontMetrics heading(sourceList_->horizontalHeader()->font());
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
    for (int r = 0; r < sourceList_->rowCount(); ++r)
        for (int c = 1; c < kCount; ++c)
            if (const QTableWidgetItem* item = sourceList_->item(r, c))
                content[c] = std::max(content[c], cell.horizontalAdvance(item->text()));
    const int margin = 12;  // the cell's or section's padding and the grid line
    const int checkBox = sourceList_->style()->pixelMetric(QStyle::PM_IndicatorWidth) + 8;
    SourceColumns cols;
    for (const bool twoLines : {false, true}) {
        cols.total = 0;
        for (int c = 0; c < kCount; ++c) {
            cols.titles[c] = Text("JIEMIAN", keys[c]);
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

int CUlvaneAVConverterDlg::SourceListRoom() const {
    return sourceList_->contentsRect().width() -
           (sourceList_->verticalScrollBar()->isVisible() ? sourceList_->verticalScrollBar()->width() : 0);
}

void CUlvaneAVConverterDlg::FitSourceColumns() {
    // Every heading and text shows whole, without scrolling sideways (the window is at least as
    // wide as that needs, see FitToTexts); the name column takes the rest, and elides a long
    // name in the middle.
    const int room = SourceListRoom();
    const SourceColumns cols = NarrowestSourceColumns(room);
    int others = 0;
    for (int c = 0; c < source_column::kCount; ++c) {
        sourceList_->horizontalHeaderItem(c)->setText(cols.titles[c]);
        if (c == source_column::kPath) continue;
        sourceList_->setColumnWidth(c, cols.widths[c]);
        others += cols.widths[c];
    }
    sourceList_->setColumnWidth(source_column::kPath, std::max(cols.widths[source_column::kPath], room - others));
}

}  // namespace ulvane
