// The main window's turn of the output: a button (and R, Shift+R) turns the loaded file's
// output a quarter turn at a time. The preview shows the pictures turned; a direct job writes
// the turn as the output's display rotation, a re-encoding turns the pictures.
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>

#include "engine/container_fit.h"
#include "ui/control_ids.h"
#include "ui/main_window.h"
#include "ui/main_window_text.h"
#include "ui/preview_frame.h"
#include "ui/preview_player.h"

namespace ulvane {

namespace {

using namespace main_id;

// An arrow going round clockwise, three quarters of a circle, in the button's text colour.
QIcon TurnIcon(const QColor& colour) {
    QPixmap face(32, 32);
    face.fill(Qt::transparent);
    QPainter p(&face);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(colour, 3.2, Qt::SolidLine, Qt::RoundCap));
    const QRectF ring(6, 6, 20, 20);
    p.drawArc(ring, 180 * 16, -270 * 16);  // from the left, over the top, round to the bottom
    // The head at the arc's end (the bottom of the ring), pointing left: the way it turns.
    QPainterPath head;
    head.moveTo(16 - 6.5, 26);
    head.lineTo(16 + 1.5, 26 - 5.5);
    head.lineTo(16 + 1.5, 26 + 5.5);
    head.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPath(head);
    return QIcon(face);
}

}  // namespace

void CUlvaneAVConverterDlg::SetUpTurn() {
    auto* button = ItemAs<QToolButton>(kTurnButton);
    button->setIcon(TurnIcon(palette().color(QPalette::ButtonText)));
    // Checked while a turn is set, so the button shows there is one.
    connect(button, &QToolButton::clicked, this, [this] { TurnOutput(1); });
    ApplyTurnTexts();
}

void CUlvaneAVConverterDlg::ApplyTurnTexts() {
    auto* button = ItemAs<QToolButton>(kTurnButton);
    if (!button || !preview_) return;
    button->setToolTip(ToQString(table_.ReadFromFile("PLAYER", "xz")).arg(preview_->turn()));
}

void CUlvaneAVConverterDlg::TurnOutput(int quarters) {
    if (cutSourcePath_.isEmpty()) {
        RestoreTurn();  // nothing loaded: nothing to turn
        return;
    }
    const int turn = ((preview_->turn() + 90 * quarters) % 360 + 360) % 360;
    turns_[cutSourcePath_] = turn;
    RestoreTurn();
    // The picture shown at once, turned; then grabbed again for the turned box.
    if (player_->playing()) {
        player_->SetBox(PreviewBox());
    } else if (shownFrom_ >= 0) {
        RequestExactMicros(shownFrom_, false);
    } else {
        RequestExactPicture(previewPositionMs_);
    }
}

void CUlvaneAVConverterDlg::RestoreTurn() {
    const int turn = cutSourcePath_.isEmpty() ? 0 : turns_.value(cutSourcePath_, 0);
    preview_->SetTurn(turn);
    ItemAs<QToolButton>(kTurnButton)->setChecked(turn != 0);
    ApplyTurnTexts();
}

bool CUlvaneAVConverterDlg::ApplyTurn(ConversionJob& job, const OutputChoice& choice) {
    const int turn = preview_->turn();
    job.rotateDegrees = turn;
    if (turn == 0 || !choice.direct) return true;
    // A copy keeps the pictures as they are: only a container with a display rotation turns them.
    std::string extension = DirectExtension(choice, cutSourcePath_.toStdString());
    if (!extension.empty() && extension.front() == '.') extension.erase(0, 1);
    if (StoresRotation(extension)) return true;
    services_.messages->Show(this, windowTitle(),
                             ToQString(table_.ReadFromFile("PLAYER", "xzbc")).arg(ToQString(extension)), true);
    return false;
}

}  // namespace ulvane
