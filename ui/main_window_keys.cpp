// The main window's keys. On the cut tab the marks, the segments and the preview follow keys
// wherever the focus is, except in a text box or a drop-down list (which keep every key), in
// the segment list (which keeps its own keys: arrows, Delete, Ctrl+Up/Ctrl+Down, Space) and on
// the volume slider (which keeps its arrows). Playback: Space plays and pauses, Shift+Space
// plays the selected segment, J, K and L shuttle backwards, pause and forwards.
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QTableWidget>
#include <QTextEdit>

#include "controls/check_list.h"
#include "controls/timeline_strip.h"
#include "ui/main_window.h"
#include "ui/segment_list.h"

namespace ulvane {

namespace {

enum class CutKey {
    kNone,
    kNewSegment,     // N
    kMarkStart,      // I
    kMarkEnd,        // O
    kGoToStart,      // Shift+I
    kGoToEnd,        // Shift+O
    kKeyFrameBack,   // Up
    kKeyFrameOn,     // Down
    kPictureBack,    // Left
    kPictureOn,      // Right
    kRemoveSegment,  // Delete
    kSegmentUp,      // Ctrl+Up
    kSegmentDown,    // Ctrl+Down
    kUndo,           // Ctrl+Z
    kRedo,           // Ctrl+Shift+Z, Ctrl+Y
    kPlayPause,      // Space
    kPlaySegment,    // Shift+Space
    kShuttleBack,    // J
    kShuttleStop,    // K
    kShuttleOn,      // L
    kTurnOn,         // R: the output a quarter turn clockwise
    kTurnBack,       // Shift+R: a quarter turn back
};

CutKey CutKeyOf(const QKeyEvent* e) {
    const Qt::KeyboardModifiers mods = e->modifiers() & ~Qt::KeypadModifier;
    const bool plain = mods == Qt::NoModifier, shift = mods == Qt::ShiftModifier, ctrl = mods == Qt::ControlModifier;
    switch (e->key()) {
        case Qt::Key_N:
            return plain ? CutKey::kNewSegment : CutKey::kNone;
        case Qt::Key_I:
            return plain ? CutKey::kMarkStart : shift ? CutKey::kGoToStart : CutKey::kNone;
        case Qt::Key_O:
            return plain ? CutKey::kMarkEnd : shift ? CutKey::kGoToEnd : CutKey::kNone;
        case Qt::Key_Up:
            return plain ? CutKey::kKeyFrameBack : ctrl ? CutKey::kSegmentUp : CutKey::kNone;
        case Qt::Key_Down:
            return plain ? CutKey::kKeyFrameOn : ctrl ? CutKey::kSegmentDown : CutKey::kNone;
        case Qt::Key_Left:
            return plain ? CutKey::kPictureBack : CutKey::kNone;
        case Qt::Key_Right:
            return plain ? CutKey::kPictureOn : CutKey::kNone;
        case Qt::Key_Delete:
            return plain ? CutKey::kRemoveSegment : CutKey::kNone;
        case Qt::Key_Z:
            return ctrl                                                ? CutKey::kUndo
                   : mods == (Qt::ControlModifier | Qt::ShiftModifier) ? CutKey::kRedo
                                                                       : CutKey::kNone;
        case Qt::Key_Y:
            return ctrl ? CutKey::kRedo : CutKey::kNone;
        case Qt::Key_Space:
            return plain ? CutKey::kPlayPause : shift ? CutKey::kPlaySegment : CutKey::kNone;
        case Qt::Key_J:
            return plain ? CutKey::kShuttleBack : CutKey::kNone;
        case Qt::Key_K:
            return plain ? CutKey::kShuttleStop : CutKey::kNone;
        case Qt::Key_L:
            return plain ? CutKey::kShuttleOn : CutKey::kNone;
        case Qt::Key_R:
            return plain ? CutKey::kTurnOn : shift ? CutKey::kTurnBack : CutKey::kNone;
        default:
            return CutKey::kNone;
    }
}

// A control that takes typed text or chooses with the arrow keys: it keeps every key.
bool KeepsItsKeys(const QWidget* w) {
    return qobject_cast<const QLineEdit*>(w) || qobject_cast<const QAbstractSpinBox*>(w) ||
           qobject_cast<const QComboBox*>(w) || qobject_cast<const QTextEdit*>(w) ||
           qobject_cast<const QPlainTextEdit*>(w);
}

}  // namespace

bool CUlvaneAVConverterDlg::FilterKey(QObject* watched, QKeyEvent* key) {
    auto* w = qobject_cast<QWidget*>(watched);
    if (!w || (w != this && !isAncestorOf(w))) return false;
    if (tabs_->currentIndex() == 0) return CutTabKey(w, key);
    if (key->key() == Qt::Key_Delete && isActiveWindow()) {
        RemoveSelectedSource();
        return true;
    }
    if (w == sourceList_ && key->modifiers() == Qt::ControlModifier &&
        (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down)) {
        // Ctrl+Up and Ctrl+Down move the selected row: the order shown is the order joined.
        MoveSelectedSource(key->key() == Qt::Key_Up ? -1 : 1);
        return true;
    }
    return false;
}

bool CUlvaneAVConverterDlg::CutTabKey(QWidget* focus, QKeyEvent* key) {
    // + and - zoom the timeline strip around the position, wherever the focus is but in a text.
    const bool zoomKey = key->key() == Qt::Key_Plus || key->key() == Qt::Key_Equal || key->key() == Qt::Key_Minus;
    if (zoomKey && !(key->modifiers() & Qt::ControlModifier) && focus != strip_ && !KeepsItsKeys(focus) &&
        !cutSourcePath_.isEmpty()) {
        QCoreApplication::sendEvent(strip_, key);
        return true;
    }
    const CutKey action = CutKeyOf(key);
    if (action == CutKey::kNone || KeepsItsKeys(focus)) return false;
    if (focus == segmentList_->table() && action != CutKey::kUndo && action != CutKey::kRedo) return false;
    // The volume slider keeps its arrows.
    const bool arrow = action == CutKey::kKeyFrameBack || action == CutKey::kKeyFrameOn ||
                       action == CutKey::kPictureBack || action == CutKey::kPictureOn;
    if (arrow && qobject_cast<const QAbstractSlider*>(focus)) return false;
    // Without a source only the list's keys mean something; the rest go where they went.
    const bool listKey = action == CutKey::kRemoveSegment || action == CutKey::kSegmentUp ||
                         action == CutKey::kSegmentDown || action == CutKey::kUndo || action == CutKey::kRedo;
    if (cutSourcePath_.isEmpty() && !listKey) return false;
    switch (action) {
        case CutKey::kNewSegment:
            AddSegment();
            break;
        case CutKey::kMarkStart:
            SetStartPoint();
            break;
        case CutKey::kMarkEnd:
            SetEndPoint();
            break;
        case CutKey::kGoToStart:
        case CutKey::kGoToEnd:
            GoToMark(action == CutKey::kGoToEnd);
            break;
        case CutKey::kKeyFrameBack:
        case CutKey::kKeyFrameOn:
            GoToKeyFrame(action == CutKey::kKeyFrameBack ? -1 : 1);
            break;
        case CutKey::kPictureBack:
        case CutKey::kPictureOn:
            StepOnePicture(action == CutKey::kPictureBack ? -1 : 1);
            break;
        case CutKey::kRemoveSegment:
            segmentList_->RemoveSelected();
            break;
        case CutKey::kSegmentUp:
        case CutKey::kSegmentDown:
            segmentList_->MoveSelected(action == CutKey::kSegmentUp ? -1 : 1);
            break;
        case CutKey::kUndo:
            segmentList_->Undo();
            break;
        case CutKey::kRedo:
            segmentList_->Redo();
            break;
        case CutKey::kPlayPause:
            TogglePlayback();
            break;
        case CutKey::kPlaySegment:
            PlaySegment();
            break;
        case CutKey::kShuttleBack:
        case CutKey::kShuttleStop:
        case CutKey::kShuttleOn:
            Shuttle(action == CutKey::kShuttleBack ? -1 : action == CutKey::kShuttleOn ? 1 : 0);
            break;
        case CutKey::kTurnOn:
        case CutKey::kTurnBack:
            TurnOutput(action == CutKey::kTurnOn ? 1 : -1);
            break;
        case CutKey::kNone:
            return false;
    }
    return true;
}

void CUlvaneAVConverterDlg::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter || e->key() == Qt::Key_Escape) return;
    // Comma and period step one picture back and forward (outside the text boxes).
    if ((e->key() == Qt::Key_Comma || e->key() == Qt::Key_Period) && tabs_->currentIndex() == 0) {
        StepPicture(e->key() == Qt::Key_Comma ? -1 : 1);
        return;
    }
    QDialog::keyPressEvent(e);
}

}  // namespace ulvane
