// The shaped bitmap button.
#include "controls/control_button.h"

#include "controls/focus_cue.h"

#include <QPainter>
#include <vector>

namespace ulvane {

QRegion RegionFromBitmap(const QImage& image) {
    if (image.isNull()) return {};
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    constexpr int kBatch = 2000;  // keeps each step of the union small
    QRegion result;
    std::vector<QRect> runs;
    runs.reserve(kBatch);
    auto flush = [&] {
        if (runs.empty()) return;
        QRegion part;
        part.setRects(runs.data(), static_cast<int>(runs.size()));
        result = result.united(part);
        runs.clear();
    };
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width();) {
            while (x < rgb.width() && (line[x] & 0xFFFFFF) == 0xFFFFFF) ++x;
            if (x >= rgb.width()) break;
            const int start = x;
            while (x < rgb.width() && (line[x] & 0xFFFFFF) != 0xFFFFFF) ++x;
            runs.emplace_back(start, y, x - start, 1);
            if (static_cast<int>(runs.size()) == kBatch) flush();
        }
    }
    flush();
    return result;
}

CControlButton::CControlButton(int controlId, QWidget* parent) : QAbstractButton(parent), id_(controlId) {
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(Qt::TabFocus);
}

void CControlButton::SetFaceBitmaps(const QImage& hover, const QImage& normal, const QImage& pressed,
                                    const QImage& spare) {
    auto take = [](const QImage& i) { return i.isNull() ? QPixmap() : QPixmap::fromImage(i); };
    hover_ = take(hover);
    normal_ = take(normal);
    pressed_ = take(pressed);
    spare_ = take(spare);
    if (!normal.isNull()) resize(normal.size());
    update();
}

void CControlButton::SetRegionFromBitmap(const QImage& image) {
    const QRegion region = RegionFromBitmap(image);
    // An empty mask would mean no mask at all to Qt; a button with no shape left takes
    // no clicks and shows nothing instead.
    shapeEmpty_ = !image.isNull() && region.isEmpty();
    setAttribute(Qt::WA_TransparentForMouseEvents, shapeEmpty_);
    if (image.isNull() || shapeEmpty_)
        clearMask();
    else
        setMask(region);
    update();
}

QSize CControlButton::sizeHint() const {
    return normal_.isNull() ? QSize(16, 16) : normal_.size();
}

void CControlButton::enterEvent(QEnterEvent* e) {
    hovering_ = true;
    update();
    QAbstractButton::enterEvent(e);
}

void CControlButton::leaveEvent(QEvent* e) {
    hovering_ = false;
    update();
    QAbstractButton::leaveEvent(e);
}

void CControlButton::DrawFace(QPainter& p, const QPixmap& face) {
    if (face.isNull()) return;
    if (!composite_) {
        p.drawPixmap(0, 0, face);
        return;
    }
    if (backgroundMode_ && !background_.isNull())
        p.drawImage(QPoint(0, 0), background_, QRect(rectInParent_.topLeft(), size()));
    // Through the mask: the face shows where the mask is not white.
    QImage through = face.toImage().convertToFormat(QImage::Format_ARGB32);
    if (!maskImage_.isNull()) {
        const QImage m = maskImage_.convertToFormat(QImage::Format_RGB32);
        for (int y = 0; y < through.height() && y < m.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(through.scanLine(y));
            const auto* mask = reinterpret_cast<const QRgb*>(m.constScanLine(y));
            for (int x = 0; x < through.width() && x < m.width(); ++x)
                if ((mask[x] & 0xFFFFFF) == 0xFFFFFF) line[x] = 0;
        }
    }
    p.drawImage(0, 0, through);
}

void CControlButton::paintEvent(QPaintEvent*) {
    if (shapeEmpty_) return;
    QPainter p(this);
    DrawFace(p, hovering_ ? hover_ : normal_);
    if (isDown()) DrawFace(p, pressed_);
    if (hasFocus()) {
        // Shaped buttons show only their shape: the focus is a tint over it as well as a frame.
        QColor tint = palette().color(QPalette::Highlight);
        tint.setAlpha(70);
        p.fillRect(rect(), tint);
        DrawFocusCue(p, *this, rect().adjusted(1, 1, -1, -1));
    }
}

}  // namespace ulvane
