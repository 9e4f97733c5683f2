// CAVConvertDlg: the progress dialog of a running job (template 129): a line and a bar for
// the file in work, a line and a bar for the whole job, and a stop button. It holds no job
// logic; the job monitor fills it.
#pragma once

#include <QDialog>
#include <QMap>

#include "ui/dialog_template.h"

class QProgressBar;
class QPushButton;

namespace ulvane {

class CLabel;
class LanguageTable;

class CAVConvertDlg : public QDialog {
    Q_OBJECT

public:
    explicit CAVConvertDlg(QWidget* parent = nullptr);

    // Takes the title and captions from the active language file.
    void ApplyTexts(const LanguageTable& language);
    void SetCurrentLine(const QString& text);
    void SetOverallLine(const QString& text);
    void SetFileBar(int percent);
    void SetOverallBar(int percent);
    QWidget* Item(int id) const { return items_.value(id); }

signals:
    // The stop button, or the window's close box.
    void stopRequested();

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    void reject() override {}  // Escape does nothing

private:
    QMap<int, QWidget*> items_;
    DialogLayout base_;  // the template's places, before the texts widen any
    CLabel* current_;
    CLabel* overall_;
    QProgressBar* fileBar_;
    QProgressBar* jobBar_;
};

}  // namespace ulvane
