// The preview frame: a black frame that shows the snapshot bitmap stretched over it.
#pragma once

#include <QFrame>
#include <QImage>

namespace ulvane {

class PreviewFrame : public QFrame {
    Q_OBJECT

public:
    explicit PreviewFrame(QWidget* parent = nullptr);
    // Shows the bitmap at `path` (read again now); an empty path or a file that cannot be
    // read keeps the frame as it is.
    void ShowFile(const QString& path);
    // Shows the black frame alone.
    void Clear();
    const QImage& picture() const { return picture_; }

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    QImage picture_;
};

}  // namespace ulvane
