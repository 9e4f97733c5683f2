// The mark a custom-drawn control paints while it has the keyboard focus: a dotted frame in
// the palette's highlight colour just inside its rectangle, seen in every style.
#pragma once

#include <QPainter>
#include <QPen>
#include <QWidget>

namespace ulvane {

inline void DrawFocusCue(QPainter& p, const QWidget& w, const QRect& inside) {
    p.save();
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(w.palette().color(QPalette::Highlight), 1, Qt::DotLine));
    p.drawRect(inside.adjusted(0, 0, -1, -1));
    p.restore();
}

}  // namespace ulvane
