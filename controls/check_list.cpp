// The check-box list and its header.
#include "controls/check_list.h"

#include <QDropEvent>
#include <QMimeData>
#include <algorithm>
#include <optional>

#include <QPainter>

namespace ulvane {

QList<QIcon> IconsFromStrip(const QImage& strip, int size) {
    QList<QIcon> icons;
    if (strip.isNull()) return icons;
    QImage argb = strip.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(argb.scanLine(y));
        for (int x = 0; x < argb.width(); ++x)
            if ((line[x] & 0xFFFFFF) == 0xFF00FF) line[x] = 0;
    }
    for (int x = 0; x + size <= argb.width(); x += size)
        icons.append(QIcon(QPixmap::fromImage(argb.copy(x, 0, size, size))));
    return icons;
}

CCheckHeadCtrl::CCheckHeadCtrl(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
    setSectionsClickable(true);
    setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

void CCheckHeadCtrl::SetCheckImages(const QIcon images[3]) {
    for (int i = 0; i < 3; ++i) images_[i] = images[i];
}

void CCheckHeadCtrl::SetBoxImage(int image) {
    boxImage_ = image;
    viewport()->update();
}

void CCheckHeadCtrl::paintEvent(QPaintEvent* e) {
    QHeaderView::paintEvent(e);
    if (boxImage_ < 1 || boxImage_ > 2 || count() == 0 || isSectionHidden(0)) return;
    // The box sits at the left of the first heading, over its text's indent.
    QPainter painter(viewport());
    const int x = sectionViewportPosition(0);
    const QRect box(x + 3, (viewport()->height() - 16) / 2, 16, 16);
    images_[boxImage_].paint(&painter, box);
}

CCheckListCtrl::CCheckListCtrl(int controlId, QWidget* parent)
    : QTableWidget(parent), id_(controlId), header_(new CCheckHeadCtrl(this)) {
    setHorizontalHeader(header_);
    verticalHeader()->hide();
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(true);
    setWordWrap(false);
    connect(model(), &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex&, const QModelIndex&, const QList<int>& roles) {
                // No roles named means every role changed (a row set anew).
                if (roles.isEmpty() || roles.contains(Qt::CheckStateRole)) OnItemStateChanged();
            });
    connect(this, &QTableWidget::itemSelectionChanged, this, &CCheckListCtrl::OnItemStateChanged);
    connect(header_, &QHeaderView::sectionClicked, this, &CCheckListCtrl::OnHeaderClicked);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::CopyAction);  // never a move: the view would clear the dragged cells
    setDropIndicatorShown(true);
}

bool CCheckListCtrl::MoveRow(int from, int to) {
    if (from < 0 || to < 0 || from >= rowCount() || to >= rowCount()) return false;
    // Neighbours change places, item by item, until the row is where it should be.
    const int step = to > from ? 1 : -1;
    for (int row = from; row != to; row += step) {
        const int next = row + step;
        const bool checkedRow = IsChecked(row), checkedNext = IsChecked(next);
        for (int c = 0; c < columnCount(); ++c) {
            QTableWidgetItem* a = takeItem(row, c);
            QTableWidgetItem* b = takeItem(next, c);
            setItem(row, c, b);
            setItem(next, c, a);
        }
        SetChecked(next, checkedRow);
        SetChecked(row, checkedNext);
    }
    selectRow(to);
    setCurrentCell(to, 0);
    if (from != to) emit rowMoved(from, to);
    return true;
}

QStringList CCheckListCtrl::mimeTypes() const {
    return {kRowMimeType};
}

QMimeData* CCheckListCtrl::mimeData(const QList<QTableWidgetItem*>& items) const {
    auto* data = new QMimeData;
    if (!items.isEmpty()) data->setData(kRowMimeType, QByteArray::number(items.first()->row()));
    return data;
}

namespace {

std::optional<int> DraggedRow(const QMimeData* data) {
    if (!data || !data->hasFormat(CCheckListCtrl::kRowMimeType)) return std::nullopt;
    bool ok = false;
    const int row = data->data(CCheckListCtrl::kRowMimeType).toInt(&ok);
    return ok ? std::optional<int>(row) : std::nullopt;
}

}  // namespace

int CCheckListCtrl::DropTargetRow(int from, const QPoint& pos) const {
    const int over = rowAt(pos.y());
    if (over < 0) return pos.y() < 0 ? 0 : rowCount() - 1;  // above the first row or below the last
    // On the lower half of a row: after it; on the upper half: before it.
    const QRect r = visualRect(model()->index(over, 0));
    int to = pos.y() >= r.center().y() ? over + 1 : over;
    if (to > from) --to;  // the rows below the dragged one move up by one
    return std::clamp(to, 0, rowCount() - 1);
}

void CCheckListCtrl::dragEnterEvent(QDragEnterEvent* e) {
    if (DraggedRow(e->mimeData())) {
        QTableWidget::dragEnterEvent(e);
        e->acceptProposedAction();
    } else {
        e->ignore();
    }
}

void CCheckListCtrl::dragMoveEvent(QDragMoveEvent* e) {
    if (DraggedRow(e->mimeData())) {
        QTableWidget::dragMoveEvent(e);  // scrolls near the edges and draws the drop line
        e->setDropAction(Qt::CopyAction);
        e->accept();
    } else {
        e->ignore();
    }
}

void CCheckListCtrl::dropEvent(QDropEvent* e) {
    const std::optional<int> from = DraggedRow(e->mimeData());
    if (!from) {
        e->ignore();
        return;
    }
    e->setDropAction(Qt::CopyAction);
    e->accept();
    MoveRow(*from, DropTargetRow(*from, e->position().toPoint()));
    setState(QAbstractItemView::NoState);
    viewport()->update();
}

bool CCheckListCtrl::InitHeaderCheckBox(const QImage& checkImages) {
    if (initialised_) return true;
    const QList<QIcon> icons = IconsFromStrip(checkImages);
    QIcon three[3];
    for (int i = 0; i < 3 && i < icons.size(); ++i) three[i] = icons[i];
    header_->SetCheckImages(three);
    // Make room for the box before the first heading.
    if (QTableWidgetItem* h = horizontalHeaderItem(0)) h->setText("     " + h->text().trimmed());
    header_->SetBoxImage(1);
    initialised_ = true;
    return true;
}

int CCheckListCtrl::AddRow(const QStringList& texts) {
    const int row = rowCount();
    insertRow(row);
    for (int c = 0; c < columnCount(); ++c) {
        auto* item = new QTableWidgetItem(c < texts.size() ? texts[c] : QString());
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | (c == 0 ? Qt::ItemIsUserCheckable : Qt::NoItemFlags));
        if (c == 0) item->setCheckState(Qt::Checked);
        setItem(row, c, item);
    }
    return row;
}

bool CCheckListCtrl::IsChecked(int row) const {
    const QTableWidgetItem* i = item(row, 0);
    return i && i->checkState() == Qt::Checked;
}

void CCheckListCtrl::SetChecked(int row, bool checked) {
    if (QTableWidgetItem* i = item(row, 0)) i->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

void CCheckListCtrl::OnItemStateChanged() {
    if (!initialised_) return;
    // Ticked exactly when no row is unticked (an empty list counts as all ticked).
    bool anyUnticked = false;
    for (int r = 0; r < rowCount() && !anyUnticked; ++r) {
        const QTableWidgetItem* i = item(r, 0);
        anyUnticked = i && (i->flags() & Qt::ItemIsUserCheckable) && i->checkState() != Qt::Checked;
    }
    header_->SetBoxImage(anyUnticked ? 1 : 2);
}

void CCheckListCtrl::OnHeaderClicked(int section) {
    if (section != 0 || !initialised_) return;
    const int image = header_->boxImage() == 1 ? 2 : 1;
    header_->SetBoxImage(image);
    for (int r = 0; r < rowCount(); ++r) SetChecked(r, image == 2);
}

}  // namespace ulvane
