// The timeline strip: the rows, the still parts cached per range in view, zoom and scroll,
// presses and drags as seeks.
//
// Times and pixels: a strip 800 px wide showing 0..40 s puts 50 ms in a pixel column, so
// column 400 is 20 s; zoomed in 8 times around column 400 it shows 17.5..22.5 s and column
// 400 is still 20 s.
#include "controls/timeline_strip.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace ulvane {

namespace {

const QColor kBackground(30, 34, 40);
const QColor kPeak(150, 200, 240);  // the light band: the largest sample of each column
const QColor kRms(50, 110, 180);    // darker inside it: the loudness
const QColor kTick(210, 210, 210);  // key frames
const QColor kLine(255, 70, 50);    // the position
const QColor kProgress(250, 200, 60);
constexpr int kTickHeight = 6;
constexpr int kBandHeight = 6;
constexpr double kMostWaveGain = 16;  // 24 dB: a file quieter than -24 dB stays small

}  // namespace

TimelineStrip::TimelineStrip(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QSize TimelineStrip::sizeHint() const {
    return {480, 96};
}

QSize TimelineStrip::minimumSizeHint() const {
    return {120, 96};
}

void TimelineStrip::SetLength(qint64 micros) {
    length_ = std::max<qint64>(micros, 0);
    thumbs_.clear();
    overview_ = {};
    detail_ = {};
    gain_ = 1;
    keys_.clear();
    bands_.clear();
    position_ = 0;
    progress_ = -1;
    viewStart_ = 0;
    viewEnd_ = length_;
    ViewChanged();
}

void TimelineStrip::SetFrameRate(double picturesPerSecond) {
    rate_ = picturesPerSecond > 0 ? picturesPerSecond : 25.0;
}

void TimelineStrip::AddThumbnail(const QImage& image, qint64 micros) {
    if (image.isNull()) return;
    thumbs_[micros] = Thumb{image, {}};
    Invalidate();
}

void TimelineStrip::SetOverviewLevels(Levels levels) {
    overview_ = std::move(levels);
    const float loudest =
        overview_.peak.empty() ? 0.f : *std::max_element(overview_.peak.begin(), overview_.peak.end());
    gain_ = loudest > 0 ? std::clamp(0.9 / loudest, 1.0, kMostWaveGain) : 1.0;
    Invalidate();
}

void TimelineStrip::SetDetailLevels(Levels levels) {
    detail_ = std::move(levels);
    Invalidate();
}

void TimelineStrip::SetKeyFrames(std::vector<qint64> micros) {
    keys_ = std::move(micros);
    std::sort(keys_.begin(), keys_.end());
    Invalidate();
}

void TimelineStrip::SetSegments(std::vector<Band> bands) {
    bands_ = std::move(bands);
    Invalidate();
}

void TimelineStrip::SetPosition(qint64 micros, bool follow) {
    micros = std::clamp<qint64>(micros, 0, length_);
    if (micros == position_) return;
    const double oldX = XOf(position_);
    position_ = micros;
    if (QAccessible::isActive()) {
        QAccessibleValueChangeEvent event(this, position_ / 1e6);
        QAccessible::updateAccessibility(&event);
    }
    const qint64 span = viewEnd_ - viewStart_;
    if (follow && span > 0 && span < length_ && (micros < viewStart_ || micros >= viewEnd_)) {
        // A page on (or back): the position near the left edge, where it has the page to run through.
        SetView(micros - span / 20, micros - span / 20 + span);
        return;
    }
    // Only the two columns of the line change.
    const double x = XOf(position_);
    update(QRect(static_cast<int>(oldX) - 2, 0, 5, height()));
    update(QRect(static_cast<int>(x) - 2, 0, 5, height()));
}

void TimelineStrip::SeekTo(qint64 micros) {
    SetPosition(micros);
    emit seekReleased(position_);
}

void TimelineStrip::SetProgress(double done) {
    const double p = done < 0 ? -1 : std::min(done, 1.0);
    if (p == progress_) return;
    progress_ = p;
    update();  // drawn over the still parts, which stay
}

qint64 TimelineStrip::SmallestSpan() const {
    const double perPicture = 1e6 / rate_;
    const auto span = static_cast<qint64>(perPicture * std::max(width(), 1) / kMostPixelsPerPicture);
    return std::clamp<qint64>(span, 1, std::max<qint64>(length_, 1));
}

void TimelineStrip::SetView(qint64 startMicros, qint64 endMicros) {
    qint64 span = std::clamp<qint64>(endMicros - startMicros, SmallestSpan(), std::max<qint64>(length_, 1));
    const qint64 start = std::clamp<qint64>(startMicros, 0, std::max<qint64>(length_ - span, 0));
    if (start == viewStart_ && start + span == viewEnd_) return;
    viewStart_ = start;
    viewEnd_ = start + span;
    ViewChanged();
}

void TimelineStrip::ZoomAround(double factor, int x) {
    if (length_ <= 0 || width() <= 0) return;
    const qint64 at = TimeAt(x);
    const double span = std::clamp(static_cast<double>(viewEnd_ - viewStart_) * factor,
                                   static_cast<double>(SmallestSpan()), static_cast<double>(length_));
    const auto start = static_cast<qint64>(std::llround(static_cast<double>(at) - span * x / width()));
    SetView(start, start + static_cast<qint64>(std::llround(span)));
}

qint64 TimelineStrip::TimeAt(double x) const {
    if (width() <= 0) return viewStart_;
    const double t = static_cast<double>(viewStart_) + x * static_cast<double>(viewEnd_ - viewStart_) / width();
    return std::clamp<qint64>(static_cast<qint64>(std::llround(t)), 0, length_);
}

double TimelineStrip::XOf(qint64 micros) const {
    const qint64 span = viewEnd_ - viewStart_;
    if (span <= 0) return 0;
    return static_cast<double>(micros - viewStart_) * width() / static_cast<double>(span);
}

QRect TimelineStrip::ThumbnailRow() const {
    return {0, 0, width(), (height() - kTickHeight - kBandHeight) / 2};
}

QRect TimelineStrip::TickRow() const {
    return {0, ThumbnailRow().bottom() + 1, width(), kTickHeight};
}

QRect TimelineStrip::WaveRow() const {
    const int top = TickRow().bottom() + 1;
    return {0, top, width(), height() - kBandHeight - top};
}

QRect TimelineStrip::BandRow() const {
    return {0, height() - kBandHeight, width(), kBandHeight};
}

void TimelineStrip::ViewChanged() {
    Invalidate();
    emit viewChanged(viewStart_, viewEnd_, width());
}

void TimelineStrip::Invalidate() {
    stillValid_ = false;
    update();
}

void TimelineStrip::resizeEvent(QResizeEvent*) {
    // Thumbnails are scaled again for the row's new height.
    for (auto& t : thumbs_) t.second.scaled = QPixmap();
    if (length_ > 0) SetView(viewStart_, viewEnd_);  // the smallest span depends on the width
    ViewChanged();
}

const QPixmap& TimelineStrip::Scaled(qint64 key) {
    Thumb& t = thumbs_.at(key);
    const int h = ThumbnailRow().height();
    if (t.scaled.isNull() || t.scaled.height() != h)
        t.scaled = QPixmap::fromImage(t.image.scaledToHeight(std::max(h, 1), Qt::SmoothTransformation));
    return t.scaled;
}

void TimelineStrip::DrawThumbnails(QPainter& p) {
    if (thumbs_.empty()) return;
    const QRect row = ThumbnailRow();
    const QImage& first = thumbs_.begin()->second.image;
    const int slot = std::max(8, row.height() * first.width() / std::max(first.height(), 1));
    for (int x = 0; x < width(); x += slot) {
        // The picture shown in the middle of the slot: the last thumbnail from before it.
        const qint64 t = TimeAt(x + slot / 2.0);
        auto it = thumbs_.upper_bound(t);
        if (it != thumbs_.begin()) --it;
        p.drawPixmap(QRect(x, row.top(), slot, row.height()), Scaled(it->first), QRect(0, 0, slot, row.height()));
    }
}

void TimelineStrip::DrawWaveform(QPainter& p) {
    const QRect row = WaveRow();
    const double half = (row.height() - 2) / 2.0;
    const int centre = row.top() + row.height() / 2;
    for (int x = 0; x < width(); ++x) {
        const qint64 t0 = TimeAt(x), t1 = std::max(TimeAt(x + 1), t0 + 1);
        // The finer levels where they cover the column, else the whole file's.
        const bool fine = detail_.binMicros > 0 && !detail_.peak.empty() && t0 >= detail_.fromMicros &&
                          t1 <= detail_.endMicros() &&
                          (overview_.binMicros <= 0 || detail_.binMicros < overview_.binMicros);
        const Levels& l = fine ? detail_ : overview_;
        if (l.binMicros <= 0 || l.peak.empty()) continue;
        const qint64 n = static_cast<qint64>(std::min(l.peak.size(), l.rms.size()));
        const qint64 b0 = (t0 - l.fromMicros) / l.binMicros;
        const qint64 b1 = std::max(b0 + 1, (t1 - l.fromMicros + l.binMicros - 1) / l.binMicros);
        if (b0 < 0 || b0 >= n) continue;
        float peak = 0;
        double squares = 0;
        for (qint64 b = b0; b < std::min(b1, n); ++b) {
            peak = std::max(peak, l.peak[size_t(b)]);
            squares += double(l.rms[size_t(b)]) * l.rms[size_t(b)];
        }
        const double rms = std::sqrt(squares / double(std::min(b1, n) - b0));
        const int hp = static_cast<int>(std::lround(std::min(1.0, peak * gain_) * half));
        const int hr = static_cast<int>(std::lround(std::min(1.0, rms * gain_) * half));
        p.fillRect(x, centre - hp, 1, 2 * hp + 1, kPeak);
        if (hr > 0) p.fillRect(x, centre - hr, 1, 2 * hr + 1, kRms);
    }
}

void TimelineStrip::DrawStill() {
    const qreal ratio = devicePixelRatioF();
    still_ = QPixmap(size() * ratio);
    still_.setDevicePixelRatio(ratio);
    still_.fill(kBackground);
    if (length_ <= 0) return;
    QPainter p(&still_);
    DrawThumbnails(p);
    DrawWaveform(p);
    const QRect ticks = TickRow();
    for (auto it = std::lower_bound(keys_.begin(), keys_.end(), viewStart_); it != keys_.end() && *it <= viewEnd_;
         ++it) {
        const int x = static_cast<int>(XOf(*it));
        p.fillRect(x, ticks.top() + 1, 1, ticks.height() - 1, kTick);
    }
    const QRect band = BandRow();
    for (const Band& b : bands_) {
        if (b.endMicros < viewStart_ || b.startMicros > viewEnd_) continue;
        const int l = static_cast<int>(std::floor(XOf(b.startMicros)));
        const int r = static_cast<int>(std::ceil(XOf(b.endMicros)));
        p.fillRect(QRect(QPoint(std::max(l, 0), band.top()), QPoint(std::min(r, width()) - 1, band.bottom())),
                   b.colour);
    }
}

void TimelineStrip::paintEvent(QPaintEvent* e) {
    if (!stillValid_ || still_.size() != size() * devicePixelRatioF()) {
        DrawStill();
        stillValid_ = true;
    }
    QPainter p(this);
    p.drawPixmap(
        e->rect(), still_,
        QRectF(QPointF(e->rect().topLeft()) * devicePixelRatioF(), QSizeF(e->rect().size()) * devicePixelRatioF()));
    if (length_ <= 0) return;
    const int x = static_cast<int>(XOf(position_));
    if (x >= -1 && x <= width()) p.fillRect(x - 1, 0, 2, height(), kLine);
    if (progress_ >= 0) {
        const QRect bar(width() - 64, 3, 60, 5);
        p.fillRect(bar, kBackground);
        p.fillRect(QRect(bar.left(), bar.top(), static_cast<int>(bar.width() * progress_), bar.height()), kProgress);
        p.setPen(kProgress);
        p.drawRect(bar.adjusted(0, 0, -1, -1));
    }
    if (hasFocus()) {
        p.setPen(QPen(palette().highlight().color(), 1, Qt::DotLine));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

void TimelineStrip::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || length_ <= 0) return QWidget::mousePressEvent(e);
    dragging_ = true;
    SetPosition(TimeAt(e->position().x()));
    emit seekRequested(position_);
}

void TimelineStrip::mouseMoveEvent(QMouseEvent* e) {
    if (!dragging_) return QWidget::mouseMoveEvent(e);
    const qint64 t = TimeAt(std::clamp<double>(e->position().x(), 0, width()));
    if (t == position_) return;
    SetPosition(t);
    emit seekRequested(t);
}

void TimelineStrip::mouseReleaseEvent(QMouseEvent* e) {
    if (!dragging_ || e->button() != Qt::LeftButton) return QWidget::mouseReleaseEvent(e);
    dragging_ = false;
    SetPosition(TimeAt(std::clamp<double>(e->position().x(), 0, width())));
    emit seekReleased(position_);
}

void TimelineStrip::wheelEvent(QWheelEvent* e) {
    const double steps = e->angleDelta().y() / 120.0;
    if (steps == 0 || length_ <= 0) return QWidget::wheelEvent(e);
    if (e->modifiers() & Qt::ControlModifier)
        ZoomAround(std::pow(0.8, steps), static_cast<int>(e->position().x()));  // away from the user: narrower
    else
        SetView(viewStart_ - static_cast<qint64>(steps * (viewEnd_ - viewStart_) / 8),
                viewEnd_ - static_cast<qint64>(steps * (viewEnd_ - viewStart_) / 8));
    e->accept();
}

void TimelineStrip::keyPressEvent(QKeyEvent* e) {
    const bool in = e->key() == Qt::Key_Plus || e->key() == Qt::Key_Equal;
    if ((!in && e->key() != Qt::Key_Minus) || length_ <= 0) return QWidget::keyPressEvent(e);
    // Around the position where it is in view, else around the middle.
    const double x = XOf(position_);
    ZoomAround(in ? 0.5 : 2.0, x >= 0 && x <= width() ? static_cast<int>(x) : width() / 2);
    e->accept();
}

}  // namespace ulvane
