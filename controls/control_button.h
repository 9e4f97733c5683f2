// CControlButton: a push button drawn from bitmaps (faces for normal, hover and pressed)
// whose shape is cut from the white pixels of an image: white is not part of the button,
// so clicks there go to the window beneath and the window shows through.
#pragma once

#include <QAbstractButton>
#include <QImage>
#include <QPixmap>
#include <QRegion>

namespace ulvane {

// The region of every pixel that is not exactly white (255, 255, 255), built from
// one-pixel-high runs per row, united in batches of 2000 runs.
QRegion RegionFromBitmap(const QImage& image);

class CControlButton : public QAbstractButton {
    Q_OBJECT

public:
    explicit CControlButton(int controlId, QWidget* parent = nullptr);
    int controlId() const { return id_; }

    // The faces; a null image leaves that face empty (it then draws nothing).
    void SetFaceBitmaps(const QImage& hover, const QImage& normal, const QImage& pressed, const QImage& spare);
    // Cuts the button to the non-white pixels of `image`. A null image removes any shape; an
    // all-white image leaves nothing: the button is then invisible and takes no clicks.
    void SetRegionFromBitmap(const QImage& image);

    // Composite drawing: the face through the mask image over the part of the background
    // image under the button (`rectInParent` places it). Off unless the owner turns it on.
    void SetMaskImage(const QImage& mask) { maskImage_ = mask; }
    void SetBackgroundImage(const QImage& background, const QRect& rectInParent) {
        background_ = background;
        rectInParent_ = rectInParent;
    }
    void SetCompositeMode(bool composite, bool withBackground) {
        composite_ = composite;
        backgroundMode_ = withBackground;
    }

    bool hovering() const { return hovering_; }
    bool shapeEmpty() const { return shapeEmpty_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;

private:
    void DrawFace(QPainter& p, const QPixmap& face);

    const int id_;
    bool hovering_ = false;
    bool shapeEmpty_ = false;
    QPixmap normal_, hover_, pressed_, spare_;
    QImage maskImage_, background_;
    QRect rectInParent_;
    bool composite_ = false, backgroundMode_ = false;
};

}  // namespace ulvane
