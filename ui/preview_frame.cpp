// The preview frame.
#include "ui/preview_frame.h"

#include <QPainter>

namespace ulvane {

PreviewFrame::PreviewFrame(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::Box | QFrame::Plain);
    QPalette p = palette();
    p.setColor(QPalette::WindowText, Qt::black);
    setPalette(p);
}

void PreviewFrame::ShowPicture(QImage picture) {
    if (picture.isNull()) return;
    picture_ = std::move(picture);
    repaint();  // at once: the window shows each grabbed picture while the user drags
}

void PreviewFrame::ShowFile(const QString& path) {
    if (path.isEmpty()) return;
    ShowPicture(QImage(path));
}

void PreviewFrame::Clear() {
    picture_ = QImage();
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
