// CHyperLink: a static text turned into a link. Blue, red while the mouse is over it,
// purple once opened; a hand cursor; the target as its tooltip; a click opens the target
// with the desktop, falling back to the registered web browser, and beeps when neither can.
#pragma once

#include <QColor>
#include <QLabel>
#include <QTimer>
#include <functional>

namespace ulvane {

class CHyperLink : public QLabel {
    Q_OBJECT

public:
    enum UnderlineMode { UnderlineOnHover = -1, UnderlineNever = 0, UnderlineAlways = 1 };
    // Opens a target; true on success. Replaceable for tests and other platforms.
    using Opener = std::function<bool(const QString& target)>;

    explicit CHyperLink(int controlId, QWidget* parent = nullptr);
    int controlId() const { return id_; }

    // Attaches to a text: an empty target becomes the text and an empty text the target.
    void SetTarget(const QString& target);
    QString target() const { return target_; }
    void SetUnderlineMode(int mode);
    int underlineMode() const { return underlineMode_; }
    // A relative target ("help/english.html") is taken relative to this folder.
    void SetBaseFolder(const QString& folder) { baseFolder_ = folder; }
    void SetFitToText(bool fit) { fitToText_ = fit; }

    // The desktop's "open", then the web-browser fallback; both replaceable.
    void SetOpeners(Opener primary, Opener fallback) {
        primary_ = std::move(primary);
        fallback_ = std::move(fallback);
    }
    // What a failed open does (a beep by default).
    void SetFailureSignal(std::function<void()> onFailure) { onFailure_ = std::move(onFailure); }

    // Opens the target as a click does; true when it was opened.
    bool OpenTarget();
    // The target as the opener receives it: a relative file name made absolute.
    QString ResolvedTarget() const;

    bool hovering() const { return hovering_; }
    bool visited() const { return visited_; }
    QColor CurrentColour() const;
    void FitToText();

    static constexpr QColor kLinkColour{0, 0, 238};
    static constexpr QColor kVisitedColour{85, 26, 139};
    static constexpr QColor kHoverColour{255, 0, 0};

protected:
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;  // Enter or Space opens the target
    void paintEvent(QPaintEvent* e) override;

private:
    void SetHovering(bool hovering);
    void Restyle();
    void CheckStillOver();

    const int id_;
    QString target_, baseFolder_;
    int underlineMode_ = UnderlineOnHover;
    bool hovering_ = false, visited_ = false, fitToText_ = true;
    QTimer hoverTimer_;
    Opener primary_, fallback_;
    std::function<void()> onFailure_;
};

}  // namespace ulvane
