// The main window's key table. Everywhere in the window Ctrl+O opens a file, Ctrl+E the cut
// settings, Ctrl+J the join settings, Ctrl+Q quits, and Enter presses the focused button or
// ticks the focused box (as Space does, by the control's own keys). On the cut tab the marks,
// the segments and the preview follow keys wherever the focus is, except in a text box or a
// drop-down list (which keep every key), in the segment list (which keeps its own keys:
// arrows, Delete, Ctrl+Up/Ctrl+Down) and on the volume slider (which keeps its arrows).
// Playback: Space plays and pauses with the focus on the preview, the seek bar, the strip or
// the segment list; Shift+Space plays the selected segment, J, K and L shuttle backwards,
// pause and forwards.
#include <QAbstractButton>
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
#include "ui/control_ids.h"
#include "ui/cut_preview.h"
#include "ui/cut_tab.h"
#include "ui/join_tab.h"
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
    kPlayResult,     // P: the export as it will be made
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
        case Qt::Key_P:
            return plain ? CutKey::kPlayResult : CutKey::kNone;
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

// The cut tab's keys: the units' actions, each where the focus lets it be the window's.
bool CutTabKey(CUlvaneAVConverterDlg& window, QWidget* focus, QKeyEvent* key) {
    CutTab& cut = *window.cutTab();
    CutPreview& preview = *window.cutPreview();
    // + and - zoom the timeline strip around the position, wherever the focus is but in a text.
    TimelineStrip* strip = preview.timelineStrip();
    const bool loaded = !cut.cutSourcePath().isEmpty();
    const bool zoomKey = key->key() == Qt::Key_Plus || key->key() == Qt::Key_Equal || key->key() == Qt::Key_Minus;
    if (zoomKey && !(key->modifiers() & Qt::ControlModifier) && focus != strip && !KeepsItsKeys(focus) && loaded) {
        QCoreApplication::sendEvent(strip, key);
        return true;
    }
    const CutKey action = CutKeyOf(key);
    if (action == CutKey::kNone || KeepsItsKeys(focus)) return false;
    SegmentList& list = *cut.segmentList();
    if (action == CutKey::kPlayPause) {
        // Space plays from the picture's own controls; on a button or a box it is the control's.
        const bool picture = focus == &window || focus == window.Item(main_id::kPreview) ||
                             focus == window.Item(main_id::kSeekBar) || focus == strip || focus == list.table();
        if (!picture || !loaded) return false;
        preview.TogglePlayback();
        return true;
    }
    if (focus == list.table() && action != CutKey::kUndo && action != CutKey::kRedo) return false;
    // The volume slider keeps its arrows.
    const bool arrow = action == CutKey::kKeyFrameBack || action == CutKey::kKeyFrameOn ||
                       action == CutKey::kPictureBack || action == CutKey::kPictureOn;
    if (arrow && qobject_cast<const QAbstractSlider*>(focus)) return false;
    // Without a source only the list's keys mean something; the rest go where they went.
    const bool listKey = action == CutKey::kRemoveSegment || action == CutKey::kSegmentUp ||
                         action == CutKey::kSegmentDown || action == CutKey::kUndo || action == CutKey::kRedo;
    if (!loaded && !listKey) return false;
    switch (action) {
        case CutKey::kNewSegment:
            cut.AddSegment();
            break;
        case CutKey::kMarkStart:
            cut.SetStartPoint();
            break;
        case CutKey::kMarkEnd:
            cut.SetEndPoint();
            break;
        case CutKey::kGoToStart:
        case CutKey::kGoToEnd:
            cut.GoToMark(action == CutKey::kGoToEnd);
            break;
        case CutKey::kKeyFrameBack:
        case CutKey::kKeyFrameOn:
            preview.StepKeyFrame(action == CutKey::kKeyFrameBack ? -1 : 1);
            break;
        case CutKey::kPictureBack:
        case CutKey::kPictureOn:
            preview.Step(action == CutKey::kPictureBack ? -1 : 1);
            break;
        case CutKey::kRemoveSegment:
            list.RemoveSelected();
            break;
        case CutKey::kSegmentUp:
        case CutKey::kSegmentDown:
            list.MoveSelected(action == CutKey::kSegmentUp ? -1 : 1);
            break;
        case CutKey::kUndo:
            list.Undo();
            break;
        case CutKey::kRedo:
            list.Redo();
            break;
        case CutKey::kPlaySegment:
            cut.PlaySegment();
            break;
        case CutKey::kPlayResult:
            cut.PlayResult();
            break;
        case CutKey::kShuttleBack:
        case CutKey::kShuttleStop:
        case CutKey::kShuttleOn:
            preview.Shuttle(action == CutKey::kShuttleBack ? -1 : action == CutKey::kShuttleOn ? 1 : 0);
            break;
        case CutKey::kTurnOn:
        case CutKey::kTurnBack:
            cut.TurnOutput(action == CutKey::kTurnOn ? 1 : -1);
            break;
        case CutKey::kPlayPause:
        case CutKey::kNone:
            return false;
    }
    return true;
}

}  // namespace

bool CUlvaneAVConverterDlg::FilterKey(QObject* watched, QKeyEvent* key) {
    auto* w = qobject_cast<QWidget*>(watched);
    if (!w || (w != this && !isAncestorOf(w))) return false;
    if (key->modifiers() == Qt::ControlModifier) {
        switch (key->key()) {
            case Qt::Key_O:
                AddSourceFiles();
                return true;
            case Qt::Key_E:
                SelectTab(0);
                cut_->LaunchCut();
                return true;
            case Qt::Key_J:
                SelectTab(1);
                join_->LaunchJoin();
                return true;
            case Qt::Key_Q:
                close();
                return true;
            default:
                break;
        }
    }
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    if (auto* button = qobject_cast<QAbstractButton*>(w);
        button && enter && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        if (button->isEnabled()) button->click();
        return true;
    }
    if (ItemAs<QTabBar>(main_id::kTabs)->currentIndex() == 0) return CutTabKey(*this, w, key);
    if (key->key() == Qt::Key_Delete && isActiveWindow()) {
        join_->RemoveSelectedSource();
        return true;
    }
    if (w == Item(main_id::kSourceList) && key->modifiers() == Qt::ControlModifier &&
        (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down)) {
        // Ctrl+Up and Ctrl+Down move the selected row: the order shown is the order joined.
        join_->MoveSelectedSource(key->key() == Qt::Key_Up ? -1 : 1);
        return true;
    }
    return false;
}

void CUlvaneAVConverterDlg::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter || e->key() == Qt::Key_Escape) return;
    // Comma and period step one picture back and forward (outside the text boxes).
    if ((e->key() == Qt::Key_Comma || e->key() == Qt::Key_Period) &&
        ItemAs<QTabBar>(main_id::kTabs)->currentIndex() == 0) {
        preview_->Step(e->key() == Qt::Key_Comma ? -1 : 1);
        return;
    }
    QDialog::keyPressEvent(e);
}

}  // namespace ulvane
