// The main window's detection: the segment list's Find menu, the dialog it opens for the loaded
// source, and the segments the dialog proposes, added to the list as one step.
#include <QMenu>
#include <QPushButton>

#include "ui/detect_dialog.h"
#include "ui/main_window.h"
#include "ui/main_window_text.h"
#include "ui/segment_list.h"

namespace ulvane {

void CUlvaneAVConverterDlg::SetUpDetect() {
    detectButton_ = new QPushButton(this);
    detectButton_->setObjectName("detectButton");
    auto* menu = new QMenu(detectButton_);
    findSilences_ = menu->addAction(QString());
    findBlack_ = menu->addAction(QString());
    findScenes_ = menu->addAction(QString());
    detectButton_->setMenu(menu);
    detectButton_->setEnabled(false);  // until a file is loaded: there is nothing to search
    segmentList_->AddButton(detectButton_);
    connect(findSilences_, &QAction::triggered, this, [this] { OpenDetectDialog(DetectKind::Silences); });
    connect(findBlack_, &QAction::triggered, this, [this] { OpenDetectDialog(DetectKind::Black); });
    connect(findScenes_, &QAction::triggered, this, [this] { OpenDetectDialog(DetectKind::Scenes); });
}

void CUlvaneAVConverterDlg::ApplyDetectTexts() {
    const auto text = [&](const char* key) { return ToQString(table_.ReadFromFile("DETECT", key)); };
    detectButton_->setText(text("fd"));
    detectButton_->setToolTip(text("fdts"));
    findSilences_->setText(text("jy"));
    findBlack_->setText(text("hp"));
    findScenes_->setText(text("cj"));
}

void CUlvaneAVConverterDlg::OpenDetectDialog(DetectKind kind) {
    if (cutSourcePath_.isEmpty()) return;
    if (detectDialog_) detectDialog_->close();  // one at a time; it stops its run as it goes
    const QString path = cutSourcePath_;
    detectDialog_ = new DetectDialog(
        kind, path.toStdString(), cutInfo_.durationMicros, table_,
        [this, path](std::vector<Segment> found) { AddDetectedSegments(path, std::move(found)); }, this);
    detectDialog_->setAttribute(Qt::WA_DeleteOnClose);
    detectDialog_->show();
}

void CUlvaneAVConverterDlg::AddDetectedSegments(const QString& path, std::vector<Segment> found) {
    // Segments found in a file that is no longer loaded belong to no list.
    if (found.empty() || path != cutSourcePath_) return;
    SegmentState next = segmentList_->state();
    next.selected = static_cast<int>(next.segments.size());
    next.segments.insert(next.segments.end(), found.begin(), found.end());
    segmentList_->Change(std::move(next));
}

}  // namespace ulvane
