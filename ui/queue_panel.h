// QueuePanel: the window's list of queued jobs, a tool window beside it. A row a job: what it
// is (files, times, method), its state, its progress with the time left, and its output (the
// file made, or why it failed). Buttons stop, remove and move the selected job, and open its
// output or show it in its folder; a box sets how many jobs run at once.
#pragma once

#include <QAbstractTableModel>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <span>
#include <string_view>

class QLabel;
class QPushButton;
class QSpinBox;
class QTableView;

namespace ulvane {

class LanguageTable;
class QueueRunner;
struct QueueEntry;

// Where a panel of `wanted` size (frame included) goes beside a window at `window` on `screen`
// (both frame rectangles), covering nothing of it: below it, else right of it, else left, else
// above, the first side with room for the whole panel, else the first with room for at least
// `smallest`, the panel shrunk to that room. With no such room, at `smallest` in the screen's bottom left
// corner, away from the window's buttons on its right.
QRect PlaceBeside(const QRect& window, const QSize& wanted, const QSize& smallest, const QRect& screen);

// The queue as a table; rows follow the runner's signals.
class QueueModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { kWhat, kState, kProgress, kOutput, kColumns };
    explicit QueueModel(QueueRunner& runner, QObject* parent = nullptr);
    void ApplyTexts(const LanguageTable& table);
    // The running rows again: their time left moves on.
    void Tick();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QString StateText(const QueueEntry& e) const;
    QString ProgressText(const QueueEntry& e) const;

    QueueRunner& runner_;
    QString headers_[kColumns], states_[5], left_;
};

class QueuePanel : public QWidget {
    Q_OBJECT

public:
    // `open` opens a file or folder on the desktop.
    QueuePanel(QueueRunner& runner, std::function<void(const QString&)> open, QWidget* parent = nullptr);

    void ApplyTexts(const LanguageTable& table);
    static std::span<const std::string_view> TextKeys();
    // Shows the panel, beside `window` where it covers nothing of it when it was hidden.
    void ShowBeside(const QWidget* window);

    QTableView* view() const { return view_; }
    QueueModel* model() const { return model_; }
    QPushButton* button(int which) const { return buttons_[which]; }
    QSpinBox* atOnceBox() const { return atOnce_; }
    enum Button { kStop, kRemove, kUp, kDown, kOpen, kShowFolder, kButtons };
    // The id of the selected job, -1 none.
    int SelectedId() const;

signals:
    // The number of jobs at once was changed by the user.
    void atOnceChanged(int n);
    // The panel was shown or hidden.
    void shownChanged(bool shown);

protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;

private:
    void Press(int which);
    void UpdateButtons();
    void Select(int row);

    QueueRunner& runner_;
    std::function<void(const QString&)> open_;
    QueueModel* model_;
    QTableView* view_;
    QPushButton* buttons_[kButtons];
    QLabel* atOnceLabel_;
    QSpinBox* atOnce_;
    QTimer tick_;
};

}  // namespace ulvane
