// CUlvaneAVConverterDlg: the program's window, built from template 102, every text from the
// active language file. Two tabs: cut one file, join the ticked rows of a list. The window
// keeps the template's layout, the languages, the tabs, dropped and opened files, closing,
// and the key table; the rest is its units':
//   CutPreview   the loaded file's pictures, playback, seek bar and timeline strip
//   CutTab       the marks, time boxes, segments, tracks, turn and Find, and the cut's jobs
//   JoinTab      the join list, its clip rows, the join and Apply to all
//   JobLauncher  the one path every job takes: the worker, the progress dialog, the queue
#pragma once

#include <QDialog>
#include <QMap>
#include <QUrl>
#include <memory>
#include <optional>

#include "core/language_table.h"
#include "core/settings_store.h"
#include "ui/dialog_template.h"
#include "ui/window_context.h"

class QKeyEvent;

namespace ulvane {

class CutPreview;
class CutTab;
class JobLauncher;
class JoinTab;

class CUlvaneAVConverterDlg : public QDialog {
    Q_OBJECT

public:
    explicit CUlvaneAVConverterDlg(WindowServices services, QWidget* parent = nullptr);
    ~CUlvaneAVConverterDlg() override;

    // The dialog item with this id (template 102), or null.
    QWidget* Item(int id) const { return items_.value(id); }
    template <typename T>
    T* ItemAs(int id) const {
        return qobject_cast<T*>(Item(id));
    }
    CutPreview* cutPreview() const { return preview_; }
    CutTab* cutTab() const { return cut_; }
    JoinTab* joinTab() const { return join_; }
    JobLauncher* launcher() const { return launcher_; }
    const LanguageTable& languageTable() const { return table_; }
    const SettingsStore& settings() const { return store_; }

    // The add buttons: the files chosen go to the tab shown (one, the cut source; each, a join row).
    void AddSourceFiles();
    // Files given to the program (a file manager's "Open with"): one file becomes the cut
    // source, several go to the join list, through the same checks as the add buttons.
    void OpenFiles(const QStringList& files);
    // Files dropped from a file manager: as the add button adds them, on the shown tab.
    void DropFiles(const QList<QUrl>& urls);
    void SelectTab(int index);
    void SelectLanguage(int position);
    // A tooltip's text as the window would show it now ("" for controls without one).
    QString TooltipFor(int controlId) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void accept() override {}  // Enter does not close the window
    void reject() override {}  // nor does Escape

private:
    void SetUpFrame();
    void SetUpLanguageAndTabs();
    void SetUpButtons();
    void ApplyLanguage();
    void AddFiles(const QStringList& files);
    // The window's title and status line for the loaded file.
    void UpdateTitle();
    // Says once, with the reason, that the user's choices cannot be kept.
    void TellSettingsProblem();
    // The smallest layout for the active language's texts (see FitCaptions), then LayOut():
    // the template's places at the template's size; larger, the preview and the join list
    // grow, the seek bar and the cut frame widen, and every other item keeps its distance to
    // the window's nearest edges. The segment and track lists take their room under the cut
    // controls, the timeline strip its room under the preview.
    void FitToTexts();
    // The window's smallest size, fixed as it is built: the most any language's texts and the
    // join list's headings need, so that neither a language nor a list ever resizes the window
    // (rows that need more room scroll, long names elide).
    void FitEveryLanguage();
    void LayOut();
    // The key table (main_window_keys.cpp): true when `key`, on its way to `watched`, was the window's.
    bool FilterKey(QObject* watched, QKeyEvent* key);

    WindowServices services_;
    SettingsStore store_;
    LanguageTable table_;
    QMap<int, QWidget*> items_;
    WindowContext context_;
    bool toldSettingsProblem_ = false;
    std::optional<QPoint> pressedAt_;  // where the left button went down on the background
    DialogLayout baseLayout_;          // the template's places, as built
    QMap<int, QRect> templateRects_;   // each item's place at the smallest size, texts fitted
    QSize templateSize_;
    QSize smallest_;              // the smallest window, grown only while FitEveryLanguage runs
    bool smallestFixed_ = false;  // set once the window is built
    CutPreview* preview_ = nullptr;
    JobLauncher* launcher_ = nullptr;
    CutTab* cut_ = nullptr;
    JoinTab* join_ = nullptr;
};

}  // namespace ulvane
