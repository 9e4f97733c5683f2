// The segment list's Find button: a menu of silences, black pictures and scene changes, each
// opening a DetectDialog for the loaded file (not modal, one at a time). What the dialog
// proposes comes back through `found`, with the file it was found in.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <vector>

#include "core/segments.h"
#include "ui/detect_dialog.h"

class QAction;
class QPushButton;

namespace ulvane {

class SegmentList;
struct WindowContext;

class FindButton : public QObject {
    Q_OBJECT

public:
    FindButton(const WindowContext& context, SegmentList* list, QObject* parent);

    void ApplyTexts();
    // The file searched from now on; the button is enabled once there is one.
    void SetSource(const QString& path, int64_t durationMicros);
    void Open(DetectKind kind);
    DetectDialog* dialog() const { return dialog_; }
    QPushButton* button() const { return button_; }

signals:
    void found(const QString& path, const std::vector<Segment>& segments);

private:
    const WindowContext& context_;
    QPushButton* button_;
    QAction *silences_, *black_, *scenes_;
    QPointer<DetectDialog> dialog_;  // the one open, deleted when closed
    QString path_;
    int64_t durationMicros_ = 0;
};

}  // namespace ulvane
