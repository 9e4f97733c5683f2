// The mark a custom-drawn control paints while it has the keyboard focus: a dotted frame in
// the palette's highlight colour just inside its rectangle, seen in every style.
#pragma once

#include <QFocusEvent>
#include <QPainter>
#include <QPen>
#include <QTableWidget>
#include <QWidget>

namespace ulvane {

inline void DrawFocusCue(QPainter& p, const QWidget& w, const QRect& inside) {
    p.save();
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(w.palette().color(QPalette::Highlight), 1, Qt::DotLine));
    p.drawRect(inside.adjusted(0, 0, -1, -1));
    p.restore();
}

// A table that shows the keyboard focus even while it has no rows (a list still empty).
class FocusCueTable : public QTableWidget {
public:
    using QTableWidget::QTableWidget;

protected:
    void paintEvent(QPaintEvent* e) override {
        QTableWidget::paintEvent(e);
        if (!hasFocus()) return;
        QPainter p(viewport());
        DrawFocusCue(p, *this, viewport()->rect());
    }
    void focusInEvent(QFocusEvent* e) override {
        QTableWidget::focusInEvent(e);
        viewport()->update();
    }
    void focusOutEvent(QFocusEvent* e) override {
        QTableWidget::focusOutEvent(e);
        viewport()->update();
    }
};

}  // namespace ulvane
