// The preview frame: a black frame that shows the picture grabbed for it, centred and
// keeping its shape, turned as the user turns the output.
#pragma once

#include <QFrame>
#include <QImage>

namespace ulvane {

class PreviewFrame : public QFrame {
    Q_OBJECT

public:
    explicit PreviewFrame(QWidget* parent = nullptr);
    // Shows `picture`, grabbed for a box the size of contentsRect(): drawn as it is, centred
    // on black. A picture of another size (the frame was resized since) is scaled to fit,
    // keeping its shape, until a picture of the new size comes.
    void ShowPicture(QImage picture);
    // Shows the bitmap at `path` (read again now) in the same way; an empty path or a file
    // that cannot be read keeps the frame as it is.
    void ShowFile(const QString& path);
    // Shows the frame alone.
    void Clear();
    // Every picture shown from now on, and the one shown now, is drawn turned this many degrees
    // clockwise (0, 90, 180 or 270).
    void SetTurn(int degrees);
    int turn() const { return turn_; }
    // The box a picture is grabbed for: the frame's, its sides swapped by a quarter turn.
    QSize GrabBox() const;
    // The picture as drawn (turned).
    const QImage& picture() const { return picture_; }
    // Where the picture is drawn now.
    QRect pictureRect() const;

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    QImage shown_;    // as it came
    QImage picture_;  // as it is drawn
    int turn_ = 0;
};

}  // namespace ulvane
