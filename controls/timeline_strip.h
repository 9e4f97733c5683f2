// TimelineStrip: a file's time drawn as a strip: a row of thumbnails, the sound's waveform
// under it (peak as a light band, loudness darker, one value per pixel column), key frames as
// ticks, segments as coloured bands and the position as a line. The owner hands it every
// piece of data through setters; it keeps a visible range of the file (zoomed with Ctrl+wheel
// around the pointer and with + and - around the position, scrolled with the wheel) and
// reports presses and drags as seeks. The still parts are drawn once into a pixmap for the
// range shown; a repaint for a new position only copies it and draws the line.
#pragma once

#include <QColor>
#include <QImage>
#include <QPixmap>
#include <QWidget>
#include <map>
#include <vector>

namespace ulvane {

class TimelineStrip : public QWidget {
    Q_OBJECT

public:
    struct Band {
        qint64 startMicros = 0, endMicros = 0;
        QColor colour;
    };
    // The sound's level in bins of `binMicros` from `fromMicros` on, each 0..1 of full scale.
    struct Levels {
        qint64 fromMicros = 0, binMicros = 0;
        std::vector<float> peak, rms;
        qint64 endMicros() const { return fromMicros + binMicros * static_cast<qint64>(peak.size()); }
    };

    explicit TimelineStrip(QWidget* parent = nullptr);

    // A new file of this length: the data of the last one goes, and the whole file is in view.
    void SetLength(qint64 micros);
    qint64 length() const { return length_; }
    // Pictures a second: the finest zoom shows one picture per kMostPixelsPerPicture pixels.
    void SetFrameRate(double picturesPerSecond);
    static constexpr int kMostPixelsPerPicture = 16;
    // A thumbnail for the pictures from `micros` on (until the next one's time). One at a
    // time already held is replaced.
    void AddThumbnail(const QImage& image, qint64 micros);
    size_t thumbnailCount() const { return thumbs_.size(); }
    // The whole file's levels, and finer ones for a part of it (used where they cover the view
    // and are finer than the overview's). A quiet file is drawn louder, up to 16 times, so that
    // its loudest part nears the row's height (the finer levels by the same factor).
    void SetOverviewLevels(Levels levels);
    void SetDetailLevels(Levels levels);
    void SetKeyFrames(std::vector<qint64> micros);
    void SetSegments(std::vector<Band> bands);
    // The position line. With `follow` (playback) the view turns a page when it leaves it.
    void SetPosition(qint64 micros, bool follow = false);
    qint64 position() const { return position_; }
    // A seek made otherwise than with the mouse (by an assistive tool): the position moves there
    // and seekReleased reports it, as a click does.
    void SeekTo(qint64 micros);
    double frameRate() const { return rate_; }
    // 0..1 while data is still coming; negative hides the indication.
    void SetProgress(double done);

    // The range in view, and the zoom within the allowed one.
    void SetView(qint64 startMicros, qint64 endMicros);
    qint64 viewStart() const { return viewStart_; }
    qint64 viewEnd() const { return viewEnd_; }
    // Narrower (factor < 1) or wider around the time at pixel `x`, which stays at `x`.
    void ZoomAround(double factor, int x);
    // The time at pixel column `x`, and the column of a time.
    qint64 TimeAt(double x) const;
    double XOf(qint64 micros) const;
    // The rows: thumbnails, the key-frame ticks, the waveform, the segment bands.
    QRect ThumbnailRow() const;
    QRect TickRow() const;
    QRect WaveRow() const;
    QRect BandRow() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    // A press or a drag at a time; `released` when the button came up there.
    void seekRequested(qint64 micros);
    void seekReleased(qint64 micros);
    // The range in view changed, or the pixels it is drawn on.
    void viewChanged(qint64 startMicros, qint64 endMicros, int pixelWidth);

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    qint64 SmallestSpan() const;
    void ViewChanged();
    void Invalidate();
    // The still parts for the range in view, drawn into `still_`.
    void DrawStill();
    void DrawThumbnails(QPainter& p);
    void DrawWaveform(QPainter& p);
    const QPixmap& Scaled(qint64 key);

    qint64 length_ = 0;
    double rate_ = 25.0;
    qint64 viewStart_ = 0, viewEnd_ = 0;
    qint64 position_ = 0;
    double progress_ = -1;
    struct Thumb {
        QImage image;
        QPixmap scaled;  // at the row's height, made when first drawn
    };
    std::map<qint64, Thumb> thumbs_;  // by the time they show from
    Levels overview_, detail_;
    double gain_ = 1;  // the waveform's, from the overview's loudest peak
    std::vector<qint64> keys_;
    std::vector<Band> bands_;
    QPixmap still_;
    bool stillValid_ = false;
    bool dragging_ = false;
};

}  // namespace ulvane
