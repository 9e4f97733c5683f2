// The queue panel and its table.
#include "ui/queue_panel.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>

#include "core/language_table.h"
#include "ui/main_window_text.h"
#include "ui/queue_runner.h"

namespace ulvane {

namespace {

constexpr std::string_view kKeys[] = {"bt",  "rw",  "zt",  "jd",  "sc",  "dd",   "yx",   "wc",   "sb", "tz",  "sy",
                                      "btz", "bsc", "bsy", "bxy", "bdk", "bwjj", "ts",   "hf",   "gb", "qj",  "dc",
                                      "hb",  "zj",  "cb",  "dl",  "yy",  "yyts", "yygx", "yybf", "jq", "gbrw"};

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

QString Clock(int64_t seconds) {
    seconds = std::max<int64_t>(seconds, 0);
    if (seconds >= 3600)
        return QString("%1:%2:%3")
            .arg(seconds / 3600)
            .arg(seconds / 60 % 60, 2, 10, QChar('0'))
            .arg(seconds % 60, 2, 10, QChar('0'));
    return QString("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QChar('0'));
}

}  // namespace

QRect PlaceBeside(const QRect& window, const QSize& wanted, const QSize& smallest, const QRect& screen) {
    constexpr int kGap = 8;
    // The room on each side, in the order tried; the panel starts at the window's left or top.
    struct Side {
        QRect room;
        bool across;  // below or above: the panel lines up with the window's left edge
        bool before;  // left or above: the panel lies against the room's far end, by the window
    };
    const Side sides[] = {
        {QRect(QPoint(screen.left(), window.bottom() + 1 + kGap), screen.bottomRight()), true, false},
        {QRect(QPoint(window.right() + 1 + kGap, screen.top()), screen.bottomRight()), false, false},
        {QRect(screen.topLeft(), QPoint(window.left() - 1 - kGap, screen.bottom())), false, true},
        {QRect(screen.topLeft(), QPoint(screen.right(), window.top() - 1 - kGap)), true, true},
    };
    const auto placeIn = [&](const Side& side) {
        const QRect& room = side.room;
        QRect place(QPoint(side.across ? window.left() : room.left(), side.across ? room.top() : window.top()),
                    wanted.boundedTo(room.size()));
        if (side.before && side.across) place.moveBottom(room.bottom());
        if (side.before && !side.across) place.moveRight(room.right());
        // Inside the room.
        place.moveLeft(std::clamp(place.left(), room.left(), room.right() + 1 - place.width()));
        place.moveTop(std::clamp(place.top(), room.top(), room.bottom() + 1 - place.height()));
        return place;
    };
    // A side with room for the whole panel first, else one where it fits shrunk.
    for (const QSize& least : {wanted, smallest})
        for (const Side& side : sides)
            if (side.room.width() >= least.width() && side.room.height() >= least.height()) return placeIn(side);
    // No side has room: as small as it goes, in the screen's bottom left corner. The window's
    // buttons (convert, join, the list's) are on its right, and stay uncovered.
    QRect place(QPoint(), smallest.boundedTo(screen.size()));
    place.moveBottomLeft(screen.bottomLeft());
    return place;
}

QueueModel::QueueModel(QueueRunner& runner, QObject* parent) : QAbstractTableModel(parent), runner_(runner) {
    // The runner changes one row at a time; the table follows row by row, never all at once.
    connect(&runner, &QueueRunner::added, this, [this](int row) {
        beginInsertRows({}, row, row);
        endInsertRows();
    });
    connect(&runner, &QueueRunner::removed, this, [this](int row) {
        beginRemoveRows({}, row, row);
        endRemoveRows();
    });
    connect(&runner, &QueueRunner::moved, this, [this](int from, int to) {
        const int first = std::min(from, to), last = std::max(from, to);
        emit dataChanged(index(first, 0), index(last, kColumns - 1));
    });
    connect(&runner, &QueueRunner::changed, this,
            [this](int row) { emit dataChanged(index(row, 0), index(row, kColumns - 1)); });
}

void QueueModel::ApplyTexts(const LanguageTable& table) {
    const auto text = [&](const char* key) { return ToQString(table.ReadFromFile("QUEUE", key)); };
    const char* headers[] = {"rw", "zt", "jd", "sc"};
    for (int c = 0; c < kColumns; ++c) headers_[c] = text(headers[c]);
    const char* states[] = {"dd", "yx", "wc", "sb", "tz"};
    for (int s = 0; s < 5; ++s) states_[s] = text(states[s]);
    left_ = text("sy");
    emit headerDataChanged(Qt::Horizontal, 0, kColumns - 1);
    if (rowCount() > 0) emit dataChanged(index(0, 0), index(rowCount() - 1, kColumns - 1));
}

void QueueModel::Tick() {
    const auto& entries = runner_.queue().entries();
    for (size_t r = 0; r < entries.size(); ++r)
        if (entries[r].state == QueueState::kRunning) {
            const int row = static_cast<int>(r);
            emit dataChanged(index(row, kProgress), index(row, kProgress));
        }
}

int QueueModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(runner_.queue().entries().size());
}

int QueueModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QString QueueModel::StateText(const QueueEntry& e) const {
    return states_[static_cast<int>(e.state)];
}

QString QueueModel::ProgressText(const QueueEntry& e) const {
    if (e.state != QueueState::kRunning) return e.state == QueueState::kDone ? "100%" : QString();
    const int64_t spent = NowMs() - e.startedMs;
    if (e.percent <= 0 || e.percent >= 100) return QString("%1%").arg(e.percent);
    const int64_t left = spent * (100 - e.percent) / e.percent / 1000;
    return left_.arg(e.percent).arg(Clock(left));
}

QVariant QueueModel::data(const QModelIndex& index, int role) const {
    const auto& entries = runner_.queue().entries();
    if (!index.isValid() || index.row() >= static_cast<int>(entries.size())) return {};
    const QueueEntry& e = entries[static_cast<size_t>(index.row())];
    if (role == Qt::UserRole) return e.id;
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
    switch (index.column()) {
        case kWhat:
            return ToQString(e.what);
        case kState:
            return StateText(e);
        case kProgress:
            return ProgressText(e);
        case kOutput:
            if (e.state == QueueState::kFailed) return ToQString(e.reason);
            if (role == Qt::ToolTipRole) {
                QString all = ToQString(e.output);
                for (const std::string& other : e.alsoMade) all += '\n' + ToQString(other);
                return all;
            }
            // Separate segments: the first file, and how many more.
            return QFileInfo(ToQString(e.output)).fileName() +
                   (e.alsoMade.empty() ? QString() : QString(" (+%1)").arg(e.alsoMade.size()));
        default:
            return {};
    }
}

QVariant QueueModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= kColumns) return {};
    return headers_[section];
}

QueuePanel::QueuePanel(QueueRunner& runner, std::function<void(const QString&)> open, QWidget* parent)
    : QWidget(parent, Qt::Tool), runner_(runner), open_(std::move(open)) {
    setObjectName("queuePanel");
    model_ = new QueueModel(runner, this);
    view_ = new QTableView(this);
    view_->setModel(model_);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setSelectionMode(QAbstractItemView::SingleSelection);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->setWordWrap(false);
    view_->verticalHeader()->hide();
    // Fixed rows and columns: a thousand rows are never measured.
    view_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    view_->horizontalHeader()->setStretchLastSection(true);
    view_->setColumnWidth(QueueModel::kWhat, 320);
    view_->setColumnWidth(QueueModel::kState, 90);
    view_->setColumnWidth(QueueModel::kProgress, 200);  // "99 % (quedan unos 0:01)" whole
    auto* buttons = new QHBoxLayout;
    for (int b = 0; b < kButtons; ++b) {
        buttons_[b] = new QPushButton(this);
        buttons->addWidget(buttons_[b]);
        connect(buttons_[b], &QPushButton::clicked, this, [this, b] { Press(b); });
    }
    buttons->addStretch(1);
    atOnceLabel_ = new QLabel(this);
    atOnce_ = new QSpinBox(this);
    atOnce_->setRange(1, QueueRunner::MostAtOnce());
    atOnce_->setValue(runner.atOnce());
    atOnceLabel_->setBuddy(atOnce_);
    buttons->addWidget(atOnceLabel_);
    buttons->addWidget(atOnce_);
    connect(atOnce_, &QSpinBox::valueChanged, this, [this](int n) {
        runner_.SetAtOnce(n);
        emit atOnceChanged(runner_.atOnce());
    });
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(view_, 1);
    layout->addLayout(buttons);
    connect(view_->selectionModel(), &QItemSelectionModel::selectionChanged, this, &QueuePanel::UpdateButtons);
    connect(model_, &QAbstractItemModel::dataChanged, this, &QueuePanel::UpdateButtons);
    connect(model_, &QAbstractItemModel::rowsRemoved, this, &QueuePanel::UpdateButtons);
    connect(view_, &QTableView::doubleClicked, this, [this] { Press(kOpen); });
    tick_.setInterval(1000);
    connect(&tick_, &QTimer::timeout, model_, &QueueModel::Tick);
    tick_.start();
    resize(860, 320);
    UpdateButtons();
}

std::span<const std::string_view> QueuePanel::TextKeys() {
    return kKeys;
}

void QueuePanel::ApplyTexts(const LanguageTable& table) {
    const auto text = [&](const char* key) { return ToQString(table.ReadFromFile("QUEUE", key)); };
    setWindowTitle(text("bt"));
    const char* keys[kButtons] = {"btz", "bsc", "bsy", "bxy", "bdk", "bwjj"};
    for (int b = 0; b < kButtons; ++b) buttons_[b]->setText(text(keys[b]));
    atOnceLabel_->setText(text("ts"));
    model_->ApplyTexts(table);
}

void QueuePanel::ShowBeside(const QWidget* window) {
    if (!isVisible() && window->screen()) {
        // The window manager's frame, once known; a title bar's worth before the first show.
        const QSize frame = testAttribute(Qt::WA_WState_Created) && frameGeometry().size() != size()
                                ? frameGeometry().size() - size()
                                : QSize(8, 32);
        const QSize smallest = minimumSizeHint().expandedTo(QSize(360, 160)).boundedTo(size());
        const QRect place = PlaceBeside(window->frameGeometry(), size() + frame, smallest + frame,
                                        window->screen()->availableGeometry());
        resize(place.size() - frame);
        move(place.topLeft());
    }
    show();
    raise();
}

void QueuePanel::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    emit shownChanged(true);
}

void QueuePanel::hideEvent(QHideEvent* e) {
    QWidget::hideEvent(e);
    emit shownChanged(false);
}

int QueuePanel::SelectedId() const {
    const QModelIndexList rows = view_->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.front().data(Qt::UserRole).toInt();
}

void QueuePanel::Select(int row) {
    if (row < 0 || row >= model_->rowCount()) return;
    view_->selectRow(row);
}

void QueuePanel::UpdateButtons() {
    const int id = SelectedId();
    const auto& entries = runner_.queue().entries();
    const int row = runner_.queue().RowOf(id);
    const QueueEntry* e = row >= 0 ? &entries[static_cast<size_t>(row)] : nullptr;
    const bool live = e && (e->state == QueueState::kWaiting || e->state == QueueState::kRunning);
    buttons_[kStop]->setEnabled(live);
    buttons_[kRemove]->setEnabled(e != nullptr);  // a running job is stopped first
    buttons_[kUp]->setEnabled(e && row > 0);
    buttons_[kDown]->setEnabled(e && row + 1 < static_cast<int>(entries.size()));
    const bool made = e && e->state == QueueState::kDone && !e->output.empty();
    buttons_[kOpen]->setEnabled(made);
    buttons_[kShowFolder]->setEnabled(made);
}

void QueuePanel::Press(int which) {
    const int id = SelectedId();
    const int row = runner_.queue().RowOf(id);
    if (row < 0) return;
    const std::string output = runner_.queue().entries()[static_cast<size_t>(row)].output;
    switch (which) {
        case kStop:
            runner_.Stop(id);
            break;
        case kRemove:
            if (runner_.Remove(id)) Select(std::min(row, model_->rowCount() - 1));
            break;
        case kUp:
        case kDown:
            if (runner_.Move(id, which == kUp ? -1 : 1)) Select(runner_.queue().RowOf(id));
            break;
        case kOpen:
        case kShowFolder:
            if (!output.empty())
                open_(which == kOpen ? ToQString(output) : QFileInfo(ToQString(output)).absolutePath());
            break;
        default:
            break;
    }
    UpdateButtons();
}

}  // namespace ulvane
