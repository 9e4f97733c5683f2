// The segment list: its rows, buttons, texts and undo history.
#include "ui/segment_list.h"

#include <QAction>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QToolButton>
#include <algorithm>
#include <array>
#include <utility>

#include "controls/focus_cue.h"
#include "core/detect_segments.h"
#include "core/language_table.h"
#include "core/segment_edits.h"
#include "ui/main_window_text.h"

namespace ulvane {

namespace {

constexpr std::array<std::string_view, 36> kKeys = {
    "xh",   "ks",   "js",   "cd",   "bq",   "tj",   "sc",   "fs",  "fsxz", "fsqb", "wj",   "bc",
    "dr",   "tjts", "scts", "syts", "xyts", "fsts", "wjts", "lb",  "dqsb", "xrsb", "bfh",  "bcsb",
    "scwj", "edl",  "zjwb", "cue",  "ffm",  "qbgs", "zjdx", "wzj", "cdhh", "cdsm", "lbmc", "cdjd"};

// A row that overlaps another: its times on this colour.
const QColor kOverlapColour(255, 205, 150);

bool Overlap(const Segment& a, const Segment& b) {
    return a.startMicros < b.endMicros && b.startMicros < a.endMicros;
}

// Hues far apart, so neighbours in the list differ at a glance.
constexpr int kHues[] = {28, 130, 212, 300, 52, 178, 0, 262};

QString MicrosText(int64_t micros) {
    return TimeText(static_cast<int32_t>(std::clamp<int64_t>(micros / 1000, 0, INT32_MAX)));
}

}  // namespace

std::span<const std::string_view> SegmentList::TextKeys() {
    return kKeys;
}

QColor SegmentList::Colour(int index, bool selected) {
    const int hue = kHues[size_t(std::max(index, 0)) % std::size(kHues)];
    // In whole 8-bit steps, as the screen shows it.
    return QColor((selected ? QColor::fromHsv(hue, 150, 255) : QColor::fromHsv(hue, 235, 165)).rgb());
}

SegmentList::SegmentList(QWidget* parent) : QWidget(parent) {
    table_ = new FocusCueTable(0, kColumns, this);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                            QAbstractItemView::SelectedClicked);
    table_->setTabKeyNavigation(false);  // Tab leaves the list for the next control
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->horizontalHeader()->setSectionsClickable(false);
    table_->horizontalHeader()->setHighlightSections(false);
    QPalette p = table_->palette();
    p.setColor(QPalette::Base, QColor(241, 250, 233));  // as the join list
    table_->setPalette(p);
    for (int c = 0; c < kColumns; ++c) table_->setHorizontalHeaderItem(c, new QTableWidgetItem());
    table_->installEventFilter(this);
    connect(table_, &QTableWidget::cellChanged, this, &SegmentList::OnTextEdited);
    connect(table_, &QTableWidget::itemSelectionChanged, this, &SegmentList::OnRowPicked);

    add_ = new QPushButton(this);
    remove_ = new QPushButton(this);
    up_ = new QToolButton(this);
    down_ = new QToolButton(this);
    send_ = new QPushButton(this);
    file_ = new QPushButton(this);
    for (QPushButton* b : {add_, remove_, send_, file_}) b->setAutoDefault(false);  // Enter never presses one
    const std::pair<QWidget*, const char*> names[] = {
        {table_, "segmentTable"}, {add_, "segmentAdd"},   {remove_, "segmentRemove"}, {up_, "segmentUp"},
        {down_, "segmentDown"},   {send_, "segmentSend"}, {file_, "segmentFile"}};
    for (const auto& [w, name] : names) w->setObjectName(name);
    up_->setArrowType(Qt::UpArrow);
    down_->setArrowType(Qt::DownArrow);
    for (QToolButton* b : {up_, down_}) b->setFocusPolicy(Qt::StrongFocus);
    auto* sendMenu = new QMenu(send_);
    sendSelected_ = sendMenu->addAction(QString());
    sendAll_ = sendMenu->addAction(QString());
    send_->setMenu(sendMenu);
    send_->hide();
    auto* fileMenu = new QMenu(file_);
    save_ = fileMenu->addAction(QString());
    load_ = fileMenu->addAction(QString());
    chapters_ = fileMenu->addAction(QString());
    file_->setMenu(fileMenu);

    connect(add_, &QAbstractButton::clicked, this, &SegmentList::addRequested);
    connect(remove_, &QAbstractButton::clicked, this, &SegmentList::RemoveSelected);
    connect(up_, &QAbstractButton::clicked, this, [this] { MoveSelected(-1); });
    connect(down_, &QAbstractButton::clicked, this, [this] { MoveSelected(1); });
    connect(sendSelected_, &QAction::triggered, this, [this] { emit sendRequested(false); });
    connect(sendAll_, &QAction::triggered, this, [this] { emit sendRequested(true); });
    connect(save_, &QAction::triggered, this, &SegmentList::saveRequested);
    connect(load_, &QAction::triggered, this, &SegmentList::loadRequested);
    connect(chapters_, &QAction::triggered, this, &SegmentList::chaptersRequested);

    // The list on the left, its buttons in a column on the right.
    auto* buttons = buttons_ = new QGridLayout;
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->addWidget(add_, 0, 0, 1, 3);
    buttons->addWidget(remove_, 1, 0);
    buttons->addWidget(up_, 1, 1);
    buttons->addWidget(down_, 1, 2);
    buttons->addWidget(send_, 2, 0, 1, 3);
    buttons->addWidget(file_, 3, 0, 1, 3);
    buttons->setRowStretch(8, 1);
    overlapNote_ = new QLabel(this);
    overlapNote_->setObjectName("segmentOverlapNote");
    overlapNote_->setWordWrap(true);
    overlapNote_->hide();
    auto* listColumn = new QVBoxLayout;
    listColumn->setContentsMargins(0, 0, 0, 0);
    listColumn->setSpacing(2);
    listColumn->addWidget(table_, 1);
    listColumn->addWidget(overlapNote_);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addLayout(listColumn, 1);
    row->addLayout(buttons);
    Show();
}

std::vector<Segment> SegmentList::SharedSpans(const std::vector<Segment>& segments) {
    std::vector<Segment> shared;
    for (size_t i = 0; i < segments.size(); ++i)
        for (size_t j = i + 1; j < segments.size(); ++j)
            if (Overlap(segments[i], segments[j]))
                shared.push_back({std::max(segments[i].startMicros, segments[j].startMicros),
                                  std::min(segments[i].endMicros, segments[j].endMicros), ""});
    return CoveredSpans(std::move(shared));
}

std::vector<QWidget*> SegmentList::TabOrder() const {
    std::vector<QWidget*> order{table_, add_, remove_, up_, down_, send_, file_};
    order.insert(order.end(), extra_.begin(), extra_.end());
    return order;
}

void SegmentList::AddButton(QPushButton* button) {
    button->setParent(this);
    button->setAutoDefault(false);
    buttons_->addWidget(button, 4 + static_cast<int>(extra_.size()), 0, 1, 3);
    extra_.push_back(button);
}

void SegmentList::ApplyTexts(const LanguageTable& table) {
    const auto text = [&](const char* key) { return ToQString(table.ReadFromFile("SEGMENTS", key)); };
    const char* headings[kColumns] = {"xh", "ks", "js", "cd", "bq", "scwj"};
    for (int c = 0; c < kColumns; ++c) table_->horizontalHeaderItem(c)->setText(text(headings[c]));
    add_->setText(text("tj"));
    remove_->setText(text("sc"));
    send_->setText(text("fs"));
    file_->setText(text("wj"));
    sendSelected_->setText(text("fsxz"));
    sendAll_->setText(text("fsqb"));
    save_->setText(text("bc"));
    load_->setText(text("dr"));
    chapters_->setText(text("zjdx"));
    add_->setToolTip(text("tjts"));
    remove_->setToolTip(text("scts"));
    up_->setToolTip(text("syts"));
    down_->setToolTip(text("xyts"));
    send_->setToolTip(text("fsts"));
    file_->setToolTip(text("wjts"));
    table_->setAccessibleName(text("lbmc"));
    // The buttons' column is as wide as the send button needs even while it is hidden, so that
    // showing it never widens the list (nor the window).
    add_->setMinimumWidth(send_->sizeHint().width());
    overlapsRow_ = text("cdhh");
    overlapsNote_ = text("cdsm");
    overlapsLine_ = text("cdjd");
    FitColumns();
    ShowOverlaps();
}

void SegmentList::FitColumns() {
    // The number, the times and their headings whole; the label as wide as a usual one, the
    // output the rest.
    const QFontMetrics cell(table_->font()), heading(table_->horizontalHeader()->font());
    const int margin = 14;
    const auto width = [&](int column, const QString& longest) {
        return std::max(cell.horizontalAdvance(longest),
                        heading.horizontalAdvance(table_->horizontalHeaderItem(column)->text())) +
               margin;
    };
    int total = 0;
    for (int c = kNumber; c < kLabel; ++c) {
        const int w = c == kNumber ? width(c, "999") + table_->iconSize().width() + 6 : width(c, "00:00:00.000");
        table_->setColumnWidth(c, w);
        total += w;
    }
    // The list asks for no more room than before the output column came: at its narrowest
    // the output column is scrolled to.
    const int label = width(kLabel, "Opening title");
    table_->setColumnWidth(kLabel, label);
    table_->setMinimumWidth(total + label + 2 * table_->frameWidth() + table_->verticalScrollBar()->sizeHint().width());
    table_->setMinimumHeight(table_->horizontalHeader()->sizeHint().height() +
                             2 * table_->verticalHeader()->defaultSectionSize() + 2 * table_->frameWidth());
}

int SegmentList::RoomHeight() const {
    return std::max(minimumSizeHint().height(),
                    table_->minimumHeight() + 2 * table_->verticalHeader()->defaultSectionSize());
}

void SegmentList::ShowSendButton(bool show) {
    send_->setVisible(show);
}

void SegmentList::SetSourceLoaded(bool loaded) {
    sourceLoaded_ = loaded;
    Show();
}

void SegmentList::Change(SegmentState next) {
    if (next == state_) return;
    history_.Record(state_);
    Amend(std::move(next));
}

void SegmentList::Amend(SegmentState next) {
    state_ = std::move(next);
    Show();
    emit changed();
}

void SegmentList::Reset(std::vector<Segment> segments) {
    history_.Clear();
    const int selected = segments.empty() ? -1 : 0;
    Amend({std::move(segments), selected});
}

bool SegmentList::Undo() {
    std::optional<SegmentState> back = history_.Undo(state_);
    if (!back) return false;
    Amend(std::move(*back));
    return true;
}

bool SegmentList::Redo() {
    std::optional<SegmentState> forward = history_.Redo(state_);
    if (!forward) return false;
    Amend(std::move(*forward));
    return true;
}

void SegmentList::RemoveSelected() {
    Change(WithoutSelected(state_));
}

void SegmentList::MoveSelected(int step) {
    Change(WithSelectedMoved(state_, step));
}

void SegmentList::Show() {
    showing_ = true;
    const QSignalBlocker quiet(table_->selectionModel());
    const int n = static_cast<int>(state_.segments.size());
    table_->setRowCount(n);
    for (int r = 0; r < n; ++r) {
        const Segment& s = state_.segments[size_t(r)];
        const QString texts[kColumns] = {QString::number(r + 1),          MicrosText(s.startMicros),
                                         MicrosText(s.endMicros),         MicrosText(s.lengthMicros()),
                                         QString::fromStdString(s.label), QString::fromStdString(s.output)};
        for (int c = 0; c < kColumns; ++c) {
            QTableWidgetItem* item = table_->item(r, c);
            if (!item) {
                item = new QTableWidgetItem;
                const bool text = c == kLabel || c == kOutput;
                if (!text) item->setFlags(item->flags() & ~Qt::ItemIsEditable);
                if (!text) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
                table_->setItem(r, c, item);
            }
            item->setText(texts[c]);
        }
        table_->item(r, kNumber)->setData(Qt::DecorationRole, Colour(r, r == state_.selected));
    }
    ShowOverlaps();
    table_->clearSelection();
    if (state_.selected >= 0 && state_.selected < n) {
        table_->setCurrentCell(state_.selected, kNumber);
        table_->selectRow(state_.selected);
    }
    remove_->setEnabled(n > 0);
    up_->setEnabled(state_.selected > 0);
    down_->setEnabled(state_.selected >= 0 && state_.selected < n - 1);
    send_->setEnabled(n > 0);
    save_->setEnabled(n > 0);
    add_->setEnabled(sourceLoaded_);
    load_->setEnabled(sourceLoaded_);
    chapters_->setEnabled(sourceLoaded_);
    file_->setEnabled(sourceLoaded_ || n > 0);
    showing_ = false;
}

void SegmentList::ShowOverlaps() {
    const std::vector<Segment>& list = state_.segments;
    QStringList overlapping;  // the numbers of the segments that overlap another
    for (size_t r = 0; r < list.size() && r < size_t(table_->rowCount()); ++r) {
        QStringList others;
        for (size_t o = 0; o < list.size(); ++o)
            if (o != r && Overlap(list[r], list[o])) others << QString::number(o + 1);
        if (!others.isEmpty()) overlapping << QString::number(r + 1);
        const QString tip = others.isEmpty() ? QString() : overlapsRow_.arg(others.join(", "));
        for (int c = 0; c < kColumns; ++c) {
            QTableWidgetItem* item = table_->item(int(r), c);
            item->setToolTip(tip);
            if (c == kStart || c == kEnd || c == kLength)
                item->setBackground(others.isEmpty() ? QBrush() : QBrush(kOverlapColour));
        }
    }
    overlapNote_->setVisible(!overlapping.isEmpty());
    if (overlapping.isEmpty()) return;
    // A line the list can spare; the whole of what an export does in its tooltip.
    overlapNote_->setText(overlapsLine_.arg(overlapping.join(", ")));
    overlapNote_->setToolTip(overlapsNote_.arg(overlapping.join(", ")));
}

void SegmentList::OnTextEdited(int row, int column) {
    if (showing_ || (column != kLabel && column != kOutput)) return;
    const std::string text = table_->item(row, column)->text().toStdString();
    if (row >= static_cast<int>(state_.segments.size())) return;
    const Segment& s = state_.segments[size_t(row)];
    if ((column == kLabel ? s.label : s.output) == text) return;
    // Written into the row by its editor already: only the state and the history follow, so
    // the editor's own item stays while it closes.
    history_.Record(state_);
    state_ = column == kLabel ? WithLabel(state_, row, text) : WithOutput(state_, row, text);
    emit changed();
}

void SegmentList::OnRowPicked() {
    if (showing_) return;
    const QList<QTableWidgetItem*> items = table_->selectedItems();
    if (items.isEmpty() || items.first()->row() == state_.selected) return;
    state_.selected = items.first()->row();
    showing_ = true;
    for (int r = 0; r < table_->rowCount(); ++r)
        table_->item(r, kNumber)->setData(Qt::DecorationRole, Colour(r, r == state_.selected));
    up_->setEnabled(state_.selected > 0);
    down_->setEnabled(state_.selected < table_->rowCount() - 1);
    showing_ = false;
    emit picked(state_.selected);
}

bool SegmentList::eventFilter(QObject* watched, QEvent* event) {
    // Delete and Ctrl+Up/Ctrl+Down act on the selected segment, as in the join list.
    if (watched == table_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
        if (key->key() == Qt::Key_Delete && mods == Qt::NoModifier) {
            RemoveSelected();
            return true;
        }
        if (mods == Qt::ControlModifier && (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down)) {
            MoveSelected(key->key() == Qt::Key_Up ? -1 : 1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace ulvane
