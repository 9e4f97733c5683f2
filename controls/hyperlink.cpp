// The hyperlink.
#include "controls/hyperlink.h"

#include <QKeyEvent>
#include <QPainter>

#include "controls/focus_cue.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMouseEvent>
#include <QProcess>
#include <QUrl>

namespace ulvane {

namespace {

QUrl UrlFor(const QString& target) {
    const QUrl url(target);
    if (url.isValid() && url.scheme().size() > 1) return url;  // "https:", "mailto:", "file:"
    return QUrl::fromLocalFile(target);
}

bool DesktopOpen(const QString& target) {
    return QDesktopServices::openUrl(UrlFor(target));
}

// The desktop's registered web browser, started on its own.
bool BrowserOpen(const QString& target) {
    return QProcess::startDetached("xdg-open", {UrlFor(target).toString()});
}

}  // namespace

CHyperLink::CHyperLink(int controlId, QWidget* parent)
    : QLabel(parent), id_(controlId), primary_(DesktopOpen), fallback_(BrowserOpen), onFailure_([] {
          QApplication::beep();
      }) {
    setCursor(Qt::PointingHandCursor);
    setMouseTracking(true);
    setFocusPolicy(Qt::TabFocus);
    hoverTimer_.setInterval(100);
    connect(&hoverTimer_, &QTimer::timeout, this, &CHyperLink::CheckStillOver);
    Restyle();
}

void CHyperLink::SetTarget(const QString& target) {
    target_ = target;
    if (target_.isEmpty()) target_ = text();
    if (text().isEmpty()) setText(target_);
    setToolTip(target_);
    if (fitToText_) FitToText();
}

void CHyperLink::SetUnderlineMode(int mode) {
    underlineMode_ = mode;
    Restyle();
}

QColor CHyperLink::CurrentColour() const {
    return hovering_ ? kHoverColour : visited_ ? kVisitedColour : kLinkColour;
}

void CHyperLink::Restyle() {
    QFont f = font();
    f.setUnderline(underlineMode_ == UnderlineAlways || (underlineMode_ == UnderlineOnHover && hovering_));
    setFont(f);
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, CurrentColour());
    setPalette(pal);
    update();
}

void CHyperLink::FitToText() {
    // Keeps the left edge (the right edge, or the centre, for right- or centre-aligned text).
    const QSize want = sizeHint();
    QRect r = geometry();
    if (alignment() & Qt::AlignHCenter)
        r.setLeft(r.center().x() - want.width() / 2);
    else if (alignment() & Qt::AlignRight)
        r.setLeft(r.right() - want.width() + 1);
    r.setWidth(want.width());
    r.setHeight(want.height());
    setGeometry(r);
}

void CHyperLink::SetHovering(bool hovering) {
    if (hovering_ == hovering) return;
    hovering_ = hovering;
    if (hovering_)
        hoverTimer_.start();
    else
        hoverTimer_.stop();
    Restyle();
}

void CHyperLink::CheckStillOver() {
    if (!rect().contains(mapFromGlobal(QCursor::pos())) && !underMouse()) SetHovering(false);
}

void CHyperLink::enterEvent(QEnterEvent* e) {
    SetHovering(true);
    QLabel::enterEvent(e);
}

void CHyperLink::leaveEvent(QEvent* e) {
    SetHovering(false);
    QLabel::leaveEvent(e);
}

void CHyperLink::mouseMoveEvent(QMouseEvent* e) {
    SetHovering(true);
    QLabel::mouseMoveEvent(e);
}

void CHyperLink::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint())) {
        SetHovering(false);
        OpenTarget();
    }
    QLabel::mouseReleaseEvent(e);
}

void CHyperLink::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter || e->key() == Qt::Key_Space) {
        OpenTarget();
        return;
    }
    QLabel::keyPressEvent(e);
}

void CHyperLink::paintEvent(QPaintEvent* e) {
    QLabel::paintEvent(e);
    if (!hasFocus()) return;
    QPainter p(this);
    DrawFocusCue(p, *this, rect());
}

QString CHyperLink::ResolvedTarget() const {
    const QString t = target_.isEmpty() ? text() : target_;
    const QUrl url(t);
    if (url.isValid() && url.scheme().size() > 1) return t;
    if (QFileInfo(t).isAbsolute() || baseFolder_.isEmpty()) return t;
    return QDir(baseFolder_).absoluteFilePath(t);
}

bool CHyperLink::OpenTarget() {
    const QString target = ResolvedTarget();
    if (target.isEmpty()) return false;
    const bool ok = (primary_ && primary_(target)) || (fallback_ && fallback_(target));
    if (!ok) {
        if (onFailure_) onFailure_();
        return false;
    }
    visited_ = true;
    Restyle();
    return true;
}

}  // namespace ulvane
