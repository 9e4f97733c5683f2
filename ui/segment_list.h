// SegmentList: the cut tab's list of the segments marked in the loaded source, with its buttons.
// Rows show the number (beside the colour the segment has on the seek bar), start, end and
// length as time text, and a label and the output file (segments of one output name are
// merged into that file) the user may edit in place. The list holds the segments,
// which one is selected and the undo history; the window shows the selected segment's marks
// and asks for changes through Change (a step that can be undone) or Amend (no step).
#pragma once

#include <QColor>
#include <QWidget>
#include <span>
#include <string_view>
#include <vector>

#include "core/segments.h"

class QAbstractButton;
class QAction;
class QGridLayout;
class QLabel;
class QPushButton;
class QTableWidget;
class QToolButton;

namespace ulvane {

class LanguageTable;

class SegmentList : public QWidget {
    Q_OBJECT

public:
    explicit SegmentList(QWidget* parent = nullptr);

    // Every text, in the active language (section SEGMENTS of its file).
    void ApplyTexts(const LanguageTable& table);
    // The keys of section SEGMENTS the list and the window's segment messages read.
    static std::span<const std::string_view> TextKeys();

    const SegmentState& state() const { return state_; }
    const std::vector<Segment>& segments() const { return state_.segments; }
    int selected() const { return state_.selected; }

    // A change: the state before it becomes a step of the undo history. Nothing happens when
    // `next` is the state shown.
    void Change(SegmentState next);
    // The state replaced without a step of its own: a mark refined to the exact picture
    // belongs to the step that set it.
    void Amend(SegmentState next);
    // Another source's segments: the history starts afresh, the first segment selected.
    void Reset(std::vector<Segment> segments);
    // Back or forward one step; false when there is none.
    bool Undo();
    bool Redo();
    // The remove button and Delete; the arrow buttons and Ctrl+Up/Ctrl+Down (-1 up, +1 down).
    void RemoveSelected();
    void MoveSelected(int step);

    // The colour of the segment at `index` on the seek bar and beside its number: a fixed
    // palette by place in the list, brighter for the selected segment.
    static QColor Colour(int index, bool selected);

    // The times two segments or more cover, each once, in time order: drawn over the segments'
    // colours on the seek bar and the timeline strip.
    static std::vector<Segment> SharedSpans(const std::vector<Segment>& segments);
    static QColor SharedColour() { return QColor(220, 40, 30); }
    // The note under the list while segments overlap: which ones, and what an export does
    // with the part they share. Hidden when none overlap.
    QLabel* overlapNote() const { return overlapNote_; }

    // The button that sends segments to the join list shows only once something takes them.
    void ShowSendButton(bool show);
    // Whether a source is loaded: without one there is nothing to add to or load into.
    void SetSourceLoaded(bool loaded);

    // A button of the window's own (the detection menu) under the list's buttons, after them in
    // the tab order.
    void AddButton(QPushButton* button);

    // The height the list takes under the cut controls when it need not share it: four rows.
    // It gives room down to its minimum (two rows, or its buttons) to the track list.
    int RoomHeight() const;

    // The list and its buttons in reading order.
    std::vector<QWidget*> TabOrder() const;

    QTableWidget* table() const { return table_; }
    QPushButton* addButton() const { return add_; }
    QPushButton* removeButton() const { return remove_; }
    QToolButton* upButton() const { return up_; }
    QToolButton* downButton() const { return down_; }
    QPushButton* sendButton() const { return send_; }
    QPushButton* fileButton() const { return file_; }
    QAction* sendSelectedAction() const { return sendSelected_; }
    QAction* sendAllAction() const { return sendAll_; }
    QAction* saveAction() const { return save_; }
    QAction* loadAction() const { return load_; }
    QAction* chaptersAction() const { return chapters_; }

    // The columns.
    enum Column { kNumber, kStart, kEnd, kLength, kLabel, kOutput, kColumns };

signals:
    // The segments or the selection changed through Change, Amend, Reset, Undo or Redo.
    void changed();
    // The user chose another segment in the list.
    void picked(int index);
    // The buttons and menu entries, for the window to act on.
    void addRequested();
    void sendRequested(bool all);
    void saveRequested();
    void loadRequested();
    // "Chapters as segments": the source's own chapters replace the list.
    void chaptersRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Show();  // the rows for state_
    void ShowOverlaps();
    void FitColumns();
    void OnTextEdited(int row, int column);
    void OnRowPicked();

    SegmentState state_;
    SegmentHistory history_{200};
    bool showing_ = false;  // the rows are being written, not edited by the user
    bool sourceLoaded_ = false;
    QTableWidget* table_;
    QLabel* overlapNote_;
    QString overlapsRow_, overlapsNote_, overlapsLine_;  // texts of the overlap marks
    QPushButton *add_, *remove_, *send_, *file_;
    QToolButton *up_, *down_;
    QGridLayout* buttons_;
    std::vector<QWidget*> extra_;  // buttons added by the window
    QAction *sendSelected_, *sendAll_, *save_, *load_, *chapters_;
};

}  // namespace ulvane
