// CLabel: a static text that paints itself in its own text colour, background and font.
// The progress dialog's two lines are such labels; their text changes many times a
// second, and Qt's back buffer keeps that from flickering. Setters return the label so
// they can be chained, and repaint it.
#pragma once

#include <QColor>
#include <QTimer>
#include <QWidget>

namespace ulvane {

class CLabel : public QWidget {
    Q_OBJECT

public:
    explicit CLabel(int controlId, QWidget* parent = nullptr);
    int controlId() const { return id_; }

    CLabel& SetText(const QString& text);
    QString text() const { return text_; }
    CLabel& SetTextColor(const QColor& colour);
    // A solid background; with `gradientEnd` valid, a left-to-right gradient to it.
    CLabel& SetBkColor(const QColor& colour, const QColor& gradientEnd = QColor());
    CLabel& SetFontBold(bool bold);
    CLabel& SetFontSize(int points);
    CLabel& SetAlignment(Qt::Alignment alignment);
    // Blinking: the text, or (as the progress dialog asks, with no visible effect) the
    // background, every 500 ms.
    CLabel& FlashText(bool on);
    CLabel& FlashBackground(bool on);

    QColor textColor() const;
    QColor backgroundColor() const;
    bool blinkState() const { return blinkState_; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    CLabel& Changed();

    const int id_;
    QString text_;
    QColor textColour_, background_, gradientEnd_;
    Qt::Alignment alignment_ = Qt::AlignLeft | Qt::AlignTop;
    enum class Blink { None, Text, Background } blink_ = Blink::None;
    bool blinkState_ = false;
    QTimer blinkTimer_;
};

}  // namespace ulvane
