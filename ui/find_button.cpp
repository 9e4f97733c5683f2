#include "ui/find_button.h"

#include <QMenu>
#include <QPushButton>

#include "ui/segment_list.h"
#include "ui/window_context.h"

namespace ulvane {

FindButton::FindButton(const WindowContext& context, SegmentList* list, QObject* parent)
    : QObject(parent), context_(context) {
    button_ = new QPushButton(context_.window);
    button_->setObjectName("detectButton");
    auto* menu = new QMenu(button_);
    silences_ = menu->addAction(QString());
    black_ = menu->addAction(QString());
    scenes_ = menu->addAction(QString());
    button_->setMenu(menu);
    button_->setEnabled(false);  // until a file is loaded: there is nothing to search
    list->AddButton(button_);
    connect(silences_, &QAction::triggered, this, [this] { Open(DetectKind::Silences); });
    connect(black_, &QAction::triggered, this, [this] { Open(DetectKind::Black); });
    connect(scenes_, &QAction::triggered, this, [this] { Open(DetectKind::Scenes); });
}

void FindButton::ApplyTexts() {
    const auto text = [&](const char* key) { return context_.FileText("DETECT", key); };
    button_->setText(text("fd"));
    button_->setToolTip(text("fdts"));
    silences_->setText(text("jy"));
    black_->setText(text("hp"));
    scenes_->setText(text("cj"));
}

void FindButton::SetSource(const QString& path, int64_t durationMicros) {
    path_ = path;
    durationMicros_ = durationMicros;
    button_->setEnabled(!path.isEmpty());
}

void FindButton::Open(DetectKind kind) {
    if (path_.isEmpty()) return;
    if (dialog_) dialog_->close();  // one at a time; it stops its run as it goes
    const QString path = path_;
    dialog_ = new DetectDialog(
        kind, path.toStdString(), durationMicros_, context_.table,
        [this, path](std::vector<Segment> segments) { emit found(path, segments); }, context_.window);
    dialog_->setAttribute(Qt::WA_DeleteOnClose);
    dialog_->show();
}

}  // namespace ulvane
