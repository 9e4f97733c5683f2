// The progress dialog.
#include "ui/progress_dialog.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "controls/label.h"
#include "core/language_table.h"
#include "ui/control_ids.h"
#include "ui/dialog_template.h"

namespace ulvane {

CAVConvertDlg::CAVConvertDlg(QWidget* parent) : QDialog(parent) {
    QFont f = font();
    f.setPointSize(ProgressDialogTemplate().pointSize);
    setFont(f);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    items_ = BuildDialog(ProgressDialogTemplate(), this);
    base_ = CurrentLayout(items_, this);
    current_ = qobject_cast<CLabel*>(items_.value(progress_id::kCurrentLine));
    overall_ = qobject_cast<CLabel*>(items_.value(progress_id::kOverallLine));
    fileBar_ = qobject_cast<QProgressBar*>(items_.value(progress_id::kFileBar));
    jobBar_ = qobject_cast<QProgressBar*>(items_.value(progress_id::kJobBar));
    auto* stop = qobject_cast<QPushButton*>(items_.value(progress_id::kStopButton));
    connect(stop, &QPushButton::clicked, this, &CAVConvertDlg::stopRequested);
}

void CAVConvertDlg::ApplyTexts(const LanguageTable& language) {
    const auto t = [&](const char* s, const char* k) { return QString::fromStdString(language.ReadFromFile(s, k)); };
    setWindowTitle(t("APPLICATION", "name"));
    qobject_cast<QLabel*>(items_.value(progress_id::kCurrentCaption))->setText(t("JIEMIAN", "dqwj"));
    qobject_cast<QLabel*>(items_.value(progress_id::kOverallCaption))->setText(t("JIEMIAN", "zgwj"));
    auto* stop = qobject_cast<QPushButton*>(items_.value(progress_id::kStopButton));
    stop->setText(t("JIEMIAN", "tz"));
    const DialogLayout fitted = FitCaptions(items_, base_);
    ApplyLayout(items_, fitted);
    setFixedSize(fitted.size);
    stop->setToolTip(t("JIEMIAN", "tz"));
}

void CAVConvertDlg::SetCurrentLine(const QString& text) {
    current_->SetText(text);
}
void CAVConvertDlg::SetOverallLine(const QString& text) {
    overall_->SetText(text);
}
void CAVConvertDlg::SetFileBar(int percent) {
    fileBar_->setValue(percent);
}
void CAVConvertDlg::SetOverallBar(int percent) {
    jobBar_->setValue(std::clamp(percent, 0, 100));
}

void CAVConvertDlg::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter || e->key() == Qt::Key_Escape) return;
    QDialog::keyPressEvent(e);
}

void CAVConvertDlg::closeEvent(QCloseEvent* e) {
    // Closing the window stops the job, as the stop button does.
    e->ignore();
    emit stopRequested();
}

void CAVConvertDlg::showEvent(QShowEvent* e) {
    current_->FlashBackground(false);
    QDialog::showEvent(e);
}

void CAVConvertDlg::hideEvent(QHideEvent* e) {
    current_->FlashBackground(false);
    QDialog::hideEvent(e);
}

}  // namespace ulvane
