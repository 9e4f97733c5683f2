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

void PreviewFrame::ShowFile(const QString& path) {
    if (path.isEmpty()) return;
    QImage fresh(path);
    if (fresh.isNull()) return;
    picture_ = std::move(fresh);
    repaint();  // at once: the window shows each grabbed frame while the user drags
}

void PreviewFrame::Clear() {
    picture_ = QImage();
    repaint();
}

void PreviewFrame::paintEvent(QPaintEvent* e) {
    QFrame::paintEvent(e);
    if (picture_.isNull()) return;
    QPainter p(this);
    // Stretched over the whole frame, without keeping the aspect ratio.
    p.drawImage(contentsRect(), picture_);
}

}  // namespace ulvane
