// The preview frame.
#include "ui/preview_frame.h"

#include <QPainter>
#include <QTransform>

namespace ulvane {

PreviewFrame::PreviewFrame(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::Box | QFrame::Plain);
    QPalette p = palette();
    p.setColor(QPalette::WindowText, Qt::black);
    setPalette(p);
}

namespace {

QImage Turned(const QImage& picture, int degrees) {
    if (degrees == 0 || picture.isNull()) return picture;
    return picture.transformed(QTransform().rotate(degrees));
}

}  // namespace

void PreviewFrame::ShowPicture(QImage picture) {
    if (picture.isNull()) return;
    shown_ = std::move(picture);
    picture_ = Turned(shown_, turn_);
    repaint();  // at once: the window shows each grabbed picture while the user drags
}

void PreviewFrame::SetTurn(int degrees) {
    degrees = ((degrees % 360) + 360) % 360 / 90 * 90;
    if (degrees == turn_) return;
    turn_ = degrees;
    picture_ = Turned(shown_, turn_);
    repaint();
}

QSize PreviewFrame::GrabBox() const {
    const QSize box = contentsRect().size();
    return turn_ % 180 ? box.transposed() : box;
}

void PreviewFrame::ShowFile(const QString& path) {
    if (path.isEmpty()) return;
    ShowPicture(QImage(path));
}

void PreviewFrame::Clear() {
    shown_ = picture_ = QImage();
    repaint();
}

QRect PreviewFrame::pictureRect() const {
    if (picture_.isNull()) return {};
    const QRect box = contentsRect();
    const QSize size = picture_.width() <= box.width() && picture_.height() <= box.height() &&
                               (picture_.width() == box.width() || picture_.height() == box.height())
                           ? picture_.size()
                           : picture_.size().scaled(box.size(), Qt::KeepAspectRatio);
    return QRect(box.x() + (box.width() - size.width()) / 2, box.y() + (box.height() - size.height()) / 2, size.width(),
                 size.height());
}

void PreviewFrame::paintEvent(QPaintEvent* e) {
    QFrame::paintEvent(e);
    if (picture_.isNull()) return;
    QPainter p(this);
    p.fillRect(contentsRect(), Qt::black);
    const QRect at = pictureRect();
    if (at.size() == picture_.size())
        p.drawImage(at.topLeft(), picture_);
    else
        p.drawImage(at, picture_);
}

}  // namespace ulvane
