// CBitmapSlider: a slider drawn from bitmaps, the preview's seek bar. A channel in two
// looks (normal, and active for the selected stretch) and a thumb drawn through the mask
// of its key colour (its top-left pixel). It keeps a range, a position, a selection with
// start and end marks, and posts its moves to whoever listens: both notifications are
// queued, so a handler runs after the control's own event handling has returned.
#pragma once

#include <QColor>
#include <QImage>
#include <QPixmap>
#include <QWidget>
#include <vector>

namespace ulvane {

// A stretch of the channel painted in a colour of its own (a segment of a video).
struct SliderBand {
    int from = 0, to = 0;  // positions
    QColor colour;
    bool operator==(const SliderBand&) const = default;
};

class CBitmapSlider : public QWidget {
    Q_OBJECT

public:
    explicit CBitmapSlider(int controlId, QWidget* parent = nullptr);

    int controlId() const { return id_; }

    // The images come from the owner. False (and that pair dropped) when one is null.
    bool LoadChannelBitmaps(const QImage& normal, const QImage& active);
    // A horizontal slider `length` pixels long: the channel bitmaps keep their ends and
    // stretch in between. The loaded length is the shortest.
    void StretchTo(int length);
    bool LoadThumbBitmaps(const QImage& normal, const QImage& active);

    void SetRange(int minimum, int maximum);
    void SetPosition(int value);  // clamped; posts nothing
    // Moves the thumb as a navigation key does: clamped, and sliderMoved posted.
    void MoveTo(int value);
    int GetPosition() const { return position_; }
    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }
    void SetPageSize(int size) { pageSize_ = size; }
    void SetSelectionStart(int value);
    void SetSelectionEnd(int value);
    int selectionStart() const { return selStart_; }
    int selectionEnd() const { return selEnd_; }
    // 0: no marks (the whole channel active); 1: start mark set; 2: end mark set.
    void SetSelectionMode(int mode);
    int selectionMode() const { return selMode_; }
    void SetMargins(int left, int top, int right, int bottom);
    void ShowFocusRect(bool show) { drawFocusRect_ = show; }
    void SetVertical(bool vertical);
    // Small marks under the channel at these positions (a video's key frames); none by default.
    void SetTicks(std::vector<int> positions);
    const std::vector<int>& ticks() const { return ticks_; }
    // Stretches painted over the channel's groove, each in its colour, later ones over earlier
    // ones. While there are any they show instead of the selection's active stretch.
    void SetBands(std::vector<SliderBand> bands);
    const std::vector<SliderBand>& bands() const { return bands_; }
    // The rectangle a band of these positions covers.
    QRect BandRect(int from, int to) const;

    // The pixel of the thumb centre for a position, and the position for a pixel.
    int PositionToPixel(int position) const;
    int PixelToPosition(int pixel) const;
    // Top-left corner of the thumb as it is drawn now.
    QPoint ThumbCorner() const;
    bool dragging() const { return dragging_; }

signals:
    // During a drag, each time the thumb's pixel changes (and on a press that moves it).
    void sliderMoving(int controlId, int position);
    // On every button release, and after every navigation key.
    void sliderMoved(int controlId, int position);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;

private:
    int Clamp(int v) const;
    void DragTo(int coordinate);
    void PostMoving();
    void PostMoved();
    int Length() const { return vertical_ ? height_ : width_; }
    int ThumbLength() const { return vertical_ ? thumbHeight_ : thumbWidth_; }
    int MarginLow() const { return vertical_ ? marginTop_ : marginLeft_; }
    int MarginHigh() const { return vertical_ ? marginBottom_ : marginRight_; }

    const int id_;
    int maximum_ = 100, minimum_ = 0, position_ = 0, pageSize_ = 20;
    int width_ = 0, height_ = 0, thumbWidth_ = 0, thumbHeight_ = 0;
    int marginLeft_ = 0, marginRight_ = 0, marginTop_ = 0, marginBottom_ = 0;
    int dragOffset_ = 0;
    int selStart_ = 0, selEnd_ = 0, selMode_ = 0;
    bool vertical_ = false;
    bool hasActiveChannel_ = false, hasActiveThumb_ = false, channelLoaded_ = false, thumbLoaded_ = false;
    bool dragging_ = false, hasFocus_ = false, drawFocusRect_ = true;
    QPixmap channel_, activeChannel_, thumb_, activeThumb_;  // thumbs carry their mask as alpha
    std::vector<int> ticks_;
    std::vector<SliderBand> bands_;
    QPixmap channelSource_, activeChannelSource_;  // the channels as loaded
};

// The image with every pixel of its top-left pixel's colour made transparent.
QPixmap MaskedByKeyColour(const QImage& image);

}  // namespace ulvane
