// The preview frame: a black frame that shows the picture grabbed for it, centred and
// keeping its shape.
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
    const QImage& picture() const { return picture_; }
    // Where the picture is drawn now.
    QRect pictureRect() const;

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    QImage picture_;
};

}  // namespace ulvane
