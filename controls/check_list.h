// CCheckListCtrl: a report-style list whose rows carry check boxes, and whose first column
// header (CCheckHeadCtrl) carries a check box that follows them and drives them: it is
// ticked exactly when no row is unticked, and clicking the first header ticks or unticks
// every row at once.
#pragma once

#include <QHeaderView>
#include <QIcon>
#include <QImage>
#include <QTableWidget>

namespace ulvane {

class CCheckHeadCtrl : public QHeaderView {
    Q_OBJECT

public:
    explicit CCheckHeadCtrl(QWidget* parent = nullptr);
    // The three check images: 0 unused, 1 unticked, 2 ticked.
    void SetCheckImages(const QIcon images[3]);
    // The image index of the first column's box: 0 none yet, 1 unticked, 2 ticked.
    int boxImage() const { return boxImage_; }
    void SetBoxImage(int image);

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    QIcon images_[3];
    int boxImage_ = 0;
};

class CCheckListCtrl : public QTableWidget {
    Q_OBJECT

public:
    explicit CCheckListCtrl(int controlId, QWidget* parent = nullptr);
    int controlId() const { return id_; }

    // Gives the first header its check box, unticked, from `checkImages` (48 x 16: three
    // 16 x 16 images on magenta). Runs once; returns true.
    bool InitHeaderCheckBox(const QImage& checkImages);
    bool initialised() const { return initialised_; }
    CCheckHeadCtrl* checkHeader() const { return header_; }
    bool headerChecked() const { return header_->boxImage() == 2; }

    // Appends a ticked row with these texts.
    int AddRow(const QStringList& texts);
    bool IsChecked(int row) const;
    void SetChecked(int row, bool checked);

    // Moves a row, with its tick and everything its items hold, to `to` (the rows between
    // close up); the moved row becomes the selected and current one. False when either
    // row is outside the list.
    bool MoveRow(int from, int to);

    // Rows are dragged within the list to reorder it; what a drag carries is the row's
    // number in this format. Other drops (files from a file manager) go to the parent.
    static constexpr const char* kRowMimeType = "application/x-ulvane-list-row";
    // Where a row dropped at `pos` (viewport coordinates) of a drag from row `from` goes.
    int DropTargetRow(int from, const QPoint& pos) const;

signals:
    void rowMoved(int from, int to);

protected:
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QList<QTableWidgetItem*>& items) const override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    void OnItemStateChanged();
    void OnHeaderClicked(int section);

    const int id_;
    CCheckHeadCtrl* header_;
    bool initialised_ = false;
};

// Splits a strip of 16 x 16 images into icons, magenta (255, 0, 255) transparent.
QList<QIcon> IconsFromStrip(const QImage& strip, int size = 16);

}  // namespace ulvane
