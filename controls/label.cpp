// The self-painting label.
#include "controls/label.h"

#include <QAccessible>
#include <QPainter>

namespace ulvane {

CLabel::CLabel(int controlId, QWidget* parent) : QWidget(parent), id_(controlId) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    blinkTimer_.setInterval(500);
    connect(&blinkTimer_, &QTimer::timeout, this, [this] {
        blinkState_ = !blinkState_;
        update();
    });
}

CLabel& CLabel::Changed() {
    update();
    return *this;
}

CLabel& CLabel::SetText(const QString& text) {
    if (text == text_) return *this;  // the progress dialog sets the same text many times
    text_ = text;
    if (QAccessible::isActive()) {  // a screen reader reads the new text (the progress lines)
        QAccessibleEvent event(this, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&event);
    }
    return Changed();
}

CLabel& CLabel::SetTextColor(const QColor& colour) {
    textColour_ = colour;
    return Changed();
}

CLabel& CLabel::SetBkColor(const QColor& colour, const QColor& gradientEnd) {
    background_ = colour;
    gradientEnd_ = gradientEnd;
    return Changed();
}

CLabel& CLabel::SetFontBold(bool bold) {
    QFont f = font();
    f.setBold(bold);
    setFont(f);
    return Changed();
}

CLabel& CLabel::SetFontSize(int points) {
    QFont f = font();
    f.setPointSize(points);
    setFont(f);
    return Changed();
}

CLabel& CLabel::SetAlignment(Qt::Alignment alignment) {
    alignment_ = alignment;
    return Changed();
}

CLabel& CLabel::FlashText(bool on) {
    blinkTimer_.stop();
    blinkState_ = false;
    blink_ = on ? Blink::Text : Blink::None;
    if (on) blinkTimer_.start();
    return *this;
}

CLabel& CLabel::FlashBackground(bool on) {
    blinkTimer_.stop();
    blinkState_ = false;
    blink_ = on ? Blink::Background : Blink::None;
    if (on) blinkTimer_.start();
    return *this;
}

QColor CLabel::textColor() const {
    return textColour_.isValid() ? textColour_ : palette().color(QPalette::WindowText);
}

QColor CLabel::backgroundColor() const {
    return background_.isValid() ? background_ : palette().color(QPalette::Button);
}

void CLabel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (background_.isValid() && gradientEnd_.isValid()) {
        QLinearGradient g(rect().topLeft(), rect().topRight());
        g.setColorAt(0, background_);
        g.setColorAt(1, gradientEnd_);
        p.fillRect(rect(), g);
    } else {
        p.fillRect(rect(), backgroundColor());
    }
    // Blinking text vanishes into the background every other half second.
    QColor colour = textColor();
    if (blink_ == Blink::Text && !blinkState_) colour = backgroundColor();
    p.setPen(colour);
    p.setFont(font());
    int flags = static_cast<int>(alignment_) | Qt::TextWordWrap;
    if (text_.contains('\t')) flags |= Qt::TextExpandTabs;
    p.drawText(rect(), flags, text_);
}

}  // namespace ulvane
