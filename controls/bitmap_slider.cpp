// The bitmap slider.
#include "controls/bitmap_slider.h"

#include "controls/focus_cue.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStylePainter>
#include <cmath>
#include <cstdlib>

namespace ulvane {

QPixmap MaskedByKeyColour(const QImage& image) {
    QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = argb.pixel(0, 0) | 0xFF000000u;
    for (int y = 0; y < argb.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(argb.scanLine(y));
        for (int x = 0; x < argb.width(); ++x)
            if ((line[x] | 0xFF000000u) == key) line[x] = 0;
    }
    return QPixmap::fromImage(argb);
}

CBitmapSlider::CBitmapSlider(int controlId, QWidget* parent) : QWidget(parent), id_(controlId) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);  // the channel covers every pixel
}

bool CBitmapSlider::LoadChannelBitmaps(const QImage& normal, const QImage& active) {
    channel_ = QPixmap();
    activeChannel_ = QPixmap();
    if (normal.isNull()) return false;
    if (active.isNull()) return false;
    channel_ = channelSource_ = QPixmap::fromImage(normal);
    activeChannel_ = activeChannelSource_ = QPixmap::fromImage(active);
    hasActiveChannel_ = true;
    width_ = normal.width();
    height_ = normal.height();
    setFixedSize(width_, height_);
    channelLoaded_ = true;
    update();
    return true;
}

namespace {

// `source` made `length` wide: its two ends as they are, the middle stretched.
QPixmap Stretched(const QPixmap& source, int length) {
    if (length == source.width()) return source;
    const int end = std::min(12, source.width() / 4), h = source.height();
    QPixmap out(length, h);
    QPainter p(&out);
    p.drawPixmap(QRect(0, 0, end, h), source, QRect(0, 0, end, h));
    p.drawPixmap(QRect(end, 0, length - 2 * end, h), source, QRect(end, 0, source.width() - 2 * end, h));
    p.drawPixmap(QRect(length - end, 0, end, h), source, QRect(source.width() - end, 0, end, h));
    return out;
}

}  // namespace

void CBitmapSlider::SetTicks(std::vector<int> positions) {
    ticks_ = std::move(positions);
    update();
}

void CBitmapSlider::SetBands(std::vector<SliderBand> bands) {
    if (bands == bands_) return;
    bands_ = std::move(bands);
    update();
}

QRect CBitmapSlider::BandRect(int from, int to) const {
    // Inside the groove (the middle third of the channel's height), from edge to edge for the
    // range's ends, and at least two pixels wide so a short stretch still shows.
    const int x0 = from <= minimum_ ? 0 : PositionToPixel(from);
    const int x1 = std::max(to >= maximum_ ? width_ : PositionToPixel(to), x0 + 2);
    const int top = height_ * 7 / 20, bottom = height_ * 13 / 20;
    return {x0, top, x1 - x0, std::max(bottom - top, 1)};
}

void CBitmapSlider::StretchTo(int length) {
    if (!channelLoaded_ || vertical_) return;
    length = std::max(length, channelSource_.width());
    channel_ = Stretched(channelSource_, length);
    activeChannel_ = Stretched(activeChannelSource_, length);
    width_ = length;
    setFixedSize(width_, height_);
    update();
}

bool CBitmapSlider::LoadThumbBitmaps(const QImage& normal, const QImage& active) {
    thumb_ = QPixmap();
    activeThumb_ = QPixmap();
    if (normal.isNull()) return false;
    if (active.isNull()) return false;
    thumb_ = MaskedByKeyColour(normal);
    activeThumb_ = MaskedByKeyColour(active);
    hasActiveThumb_ = true;
    thumbWidth_ = normal.width();
    thumbHeight_ = normal.height();
    if (!channelLoaded_) {
        width_ = width();
        height_ = height();
    }
    thumbLoaded_ = true;
    update();
    return true;
}

int CBitmapSlider::Clamp(int v) const {
    if (v > maximum_) v = maximum_;
    if (v < minimum_) v = minimum_;
    return v;
}

void CBitmapSlider::SetRange(int minimum, int maximum) {
    minimum_ = minimum;
    maximum_ = maximum;
    position_ = Clamp(position_);
    update();
}

void CBitmapSlider::SetPosition(int value) {
    value = Clamp(value);
    if (value == position_) return;
    position_ = value;
    update();
    if (QAccessible::isActive()) {
        QAccessibleValueChangeEvent event(this, position_);
        QAccessible::updateAccessibility(&event);
    }
}

void CBitmapSlider::SetSelectionStart(int value) {
    selStart_ = Clamp(value);
    update();
}

void CBitmapSlider::SetSelectionEnd(int value) {
    selEnd_ = Clamp(value);
    update();
}

void CBitmapSlider::SetSelectionMode(int mode) {
    selMode_ = mode;
    update();
}

void CBitmapSlider::SetMargins(int left, int top, int right, int bottom) {
    marginLeft_ = left;
    marginTop_ = top;
    marginRight_ = right;
    marginBottom_ = bottom;
    update();
}

void CBitmapSlider::SetVertical(bool vertical) {
    vertical_ = vertical;
    update();
}

int CBitmapSlider::PositionToPixel(int p) const {
    // A range that is empty or a travel that is not positive keeps the thumb at its start.
    const int range = maximum_ - minimum_;
    const int travel = Length() - MarginHigh() - ThumbLength() - MarginLow();
    const double share = range > 0 ? static_cast<double>(p - minimum_) / range : 0.0;
    return MarginLow() + static_cast<int>(share * std::max(travel, 0)) + ThumbLength() / 2;
}

int CBitmapSlider::PixelToPosition(int x) const {
    const int travel = Length() - MarginHigh() - MarginLow() - ThumbLength();
    if (travel <= 0) return minimum_;
    const double share = static_cast<double>(x - ThumbLength() / 2 - MarginLow()) / travel;
    return static_cast<int>(share * (maximum_ - minimum_) + minimum_);
}

QPoint CBitmapSlider::ThumbCorner() const {
    const int px = PositionToPixel(position_);
    return vertical_ ? QPoint(marginLeft_, px - thumbHeight_ / 2) : QPoint(px - thumbWidth_ / 2, marginTop_);
}

void CBitmapSlider::PostMoving() {
    const int pos = position_;
    QMetaObject::invokeMethod(
        this, [this, pos] { emit sliderMoving(id_, pos); }, Qt::QueuedConnection);
}

void CBitmapSlider::PostMoved() {
    const int pos = position_;
    QMetaObject::invokeMethod(
        this, [this, pos] { emit sliderMoved(id_, pos); }, Qt::QueuedConnection);
}

void CBitmapSlider::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return QWidget::mousePressEvent(e);
    setFocus(Qt::MouseFocusReason);
    dragging_ = true;
    const int c = vertical_ ? e->position().toPoint().y() : e->position().toPoint().x();
    const int d = c - PositionToPixel(position_);
    // A press on the thumb keeps the grab point; elsewhere the thumb centre jumps there.
    dragOffset_ = std::abs(d) <= ThumbLength() / 2 ? d : 0;
    DragTo(c);
    update();
}

void CBitmapSlider::DragTo(int c) {
    int t = c - dragOffset_;
    if (vertical_) {
        t = std::min(t, height_ - thumbHeight_ / 2 - marginBottom_);
        t = std::max(t, marginTop_ + thumbHeight_ / 2);
    } else {
        t = std::max(t, marginLeft_ + thumbWidth_ / 2);
        t = std::min(t, width_ - marginRight_ - thumbWidth_ / 2);
    }
    if (t == PositionToPixel(position_)) return;
    // With an odd thumb width the end stop lies a pixel beyond the pixel of the maximum;
    // a move that leaves the position where it is is no move.
    const int moved = Clamp(PixelToPosition(t));
    if (moved == position_) return;
    position_ = moved;
    update();
    PostMoving();
}

void CBitmapSlider::mouseMoveEvent(QMouseEvent* e) {
    if (!dragging_) return;
    DragTo(vertical_ ? e->position().toPoint().y() : e->position().toPoint().x());
}

void CBitmapSlider::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return QWidget::mouseReleaseEvent(e);
    dragging_ = false;
    update();
    PostMoved();
}

void CBitmapSlider::keyPressEvent(QKeyEvent* e) {
    int value;
    switch (e->key()) {
        case Qt::Key_PageUp:
            value = position_ - pageSize_;
            break;
        case Qt::Key_PageDown:
            value = position_ + pageSize_;
            break;
        case Qt::Key_End:
            value = maximum_;
            break;
        case Qt::Key_Home:
            value = minimum_;
            break;
        case Qt::Key_Left:
        case Qt::Key_Up:
            value = position_ - 1;
            break;
        case Qt::Key_Right:
        case Qt::Key_Down:
            value = position_ + 1;
            break;
        default:
            return QWidget::keyPressEvent(e);
    }
    MoveTo(value);
}

void CBitmapSlider::MoveTo(int value) {
    SetPosition(value);
    PostMoved();
}

void CBitmapSlider::focusInEvent(QFocusEvent* e) {
    hasFocus_ = true;
    update();
    QWidget::focusInEvent(e);
}

void CBitmapSlider::focusOutEvent(QFocusEvent* e) {
    hasFocus_ = false;
    update();
    QWidget::focusOutEvent(e);
}

void CBitmapSlider::paintEvent(QPaintEvent*) {
    // Qt draws widgets through a back buffer already, so no extra buffer is needed for a
    // flicker-free drag.
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    const bool enabled = isEnabled();
    if (channelLoaded_) {
        auto piece = [&](const QPixmap& from, int x0, int x1) {
            if (x1 > x0) p.drawPixmap(QRect(x0, 0, x1 - x0, height_), from, QRect(x0, 0, x1 - x0, height_));
        };
        if (!bands_.empty() && enabled && !vertical_) {
            p.drawPixmap(0, 0, channel_);
            for (const SliderBand& b : bands_) p.fillRect(BandRect(b.from, b.to), b.colour);
        } else if (hasActiveChannel_ && enabled && !vertical_) {
            // A start mark of 0 begins at the control's edge, an end mark at the maximum
            // ends at its other edge.
            const int start = selStart_ == 0 ? 0 : PositionToPixel(selStart_);
            if (selMode_ == 1) {
                piece(channel_, 0, start);
                piece(activeChannel_, start, width_);
            } else if (selMode_ == 2) {
                piece(channel_, 0, start);
                if (selEnd_ == maximum_) {
                    piece(activeChannel_, start, width_);
                } else {
                    // An end before the start shows no active stretch.
                    const int end = std::max(PositionToPixel(selEnd_), start);
                    piece(channel_, end, width_);
                    piece(activeChannel_, start, end);
                }
            } else {
                piece(activeChannel_, 0, width_);
            }
        } else if (hasActiveChannel_ && enabled && vertical_) {
            const int split = PositionToPixel(position_);
            p.drawPixmap(QRect(0, 0, width_, split), activeChannel_, QRect(0, 0, width_, split));
            p.drawPixmap(QRect(0, split, width_, height_ - split), channel_, QRect(0, split, width_, height_ - split));
        } else {
            p.drawPixmap(0, 0, channel_);
        }
    }
    if (!ticks_.empty() && enabled && !vertical_) {
        p.setPen(QColor(40, 60, 90));
        for (int t : ticks_) {
            const int x = PositionToPixel(t);
            p.drawLine(x, height_ - 4, x, height_ - 1);
        }
    }
    if (thumbLoaded_ && enabled) p.drawPixmap(ThumbCorner(), hasActiveThumb_ && dragging_ ? activeThumb_ : thumb_);
    if (drawFocusRect_ && hasFocus_ && enabled) DrawFocusCue(p, *this, rect());
}

}  // namespace ulvane
