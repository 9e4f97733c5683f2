// CFileInfomation (cut, template 165) and CSettings (join, template 167): the output
// settings of a job. They open on the rows stored in setting.ini, switch between exact, direct
// (only the container list open) and indirect (the re-encoding lists open), pick the output folder, and on start store
// the rows, test the folder and fill their OutputChoice. Below its template the cut dialog chooses how the segments of
// a source are exported; both choose whether a merged output gets chapters.
#pragma once

#include <QDialog>
#include <QMap>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/launch.h"
#include "core/output_presets.h"
#include "core/settings_store.h"
#include "ui/desktop.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QRadioButton;

namespace ulvane {

class LanguageTable;

// The folder test before a job: something must exist at `folder`, and a file must be
// creatable in it. A probe file is created and removed again, but only when the test made
// it: a file of that name that was there already is the user's. Returns "" when the
// folder will do, else which of the two failed ("missing" or "unwritable").
std::string TestOutputFolder(const std::string& folder);

// The items the settings dialogs add to their templates, numbered after the templates' own.
namespace export_id {
enum : int {
    kGroup = -3,      // the cut dialog's frame around the export choices
    kCaption = 1310,  // cut
    kSeparateRadio = 1311,
    kMergeRadio = 1312,
    kOutsideRadio = 1313,
    kChaptersCheck = 1314,  // both dialogs
    // Both dialogs: a direct job's container, in a row of its own below the direct radios.
    kContainerCaption = 1315,
    kContainerList = 1316,
};
}  // namespace export_id

// Their keys in setting.ini: under CUT the export mode (an ExportMode) and the chapters box,
// under JOIN the chapters box (0 or 1).
namespace settings_keys {
inline constexpr std::string_view kExportMode = "export";
inline constexpr std::string_view kChapters = "chapters";
// The method chosen last: 1 exact, 2 direct, 3 re-encoded; missing, the dialog's own first.
inline constexpr std::string_view kMethod = "method";
// The join's method chosen last for a join with clips, apart from the one for whole files.
inline constexpr std::string_view kClipMethod = "clipmethod";
}  // namespace settings_keys

// A file a direct job copies, and the tracks it keeps of it ("" every one).
struct JobSource {
    std::string path;
    std::string tracks;
};

// Picks a folder; "" when cancelled.
using FolderPicker = std::function<QString(QWidget* parent, const QString& title)>;
FolderPicker DefaultFolderPicker();

class OutputSettingsDialog : public QDialog {
    Q_OBJECT

public:
    OutputSettingsDialog(Dialog kind, const SettingsStore& store, const LanguageTable& language, MessageSink& messages,
                         FolderPicker pickFolder, const QString& defaultName, QWidget* parent = nullptr);

    Dialog kind() const { return kind_; }
    QWidget* Item(int id) const { return items_.value(id); }
    template <typename T>
    T* ItemAs(int id) const {
        return qobject_cast<T*>(Item(id));
    }

    void SetDirect(bool direct);
    // The exact direct cut or join: a clip starts on the very picture at its start. The join
    // dialog's is open only after OfferClips.
    void SetExact();
    // The join dialog, for rows of which some are clips: its exact join opens, and the dialog
    // shows the method chosen last for clips (the exact join the first time).
    void OfferClips();
    // The files the job copies. A chosen container one of them cannot hold gives way to the
    // source's own container, and the dialog's note line says so while it is chosen.
    void SetSources(std::vector<JobSource> sources);
    // The cut dialog's export choices, open only for a source with more than one segment; the
    // chapters box only for the merged modes (the join dialog's is always open).
    void OfferExport(int segments);
    void SetExportMode(ExportMode mode);
    ExportMode exportMode() const;
    bool chapters() const;
    // Puts `folder` in the folder box when no output folder is stored yet.
    void ProposeFolder(const QString& folder);
    void Browse();
    // The start button: stores the rows, tests the folder, and confirms the dialog.
    void Start();

    // Set by a confirmed start: direct or not, the rows, the folder and the cleaned name.
    const OutputChoice& choice() const { return choice_; }
    QString fileName() const { return QString::fromStdString(choice_.name); }
    QString outputFolder() const { return QString::fromStdString(choice_.folder); }

protected:
    void mousePressEvent(QMouseEvent* e) override;

private:
    QComboBox* List(int which) const;  // 0 format .. 5 sample rate
    // The export choices below the template (the cut dialog) or beside its buttons (the join
    // dialog), in the template's units, opened on the choices stored.
    void AddExportItems();
    void EnableExportItems();
    // The container row, opened on the row stored: the items from the method's last radio
    // down move below it, and the dialog grows by as much.
    void AddContainerItems();
    // The chosen container's extension ("mp4"), "" for the source's.
    std::string ContainerChoice() const;
    // 1 exact, 2 direct, 3 re-encoded; 0 the dialog's own first (exact where it is open).
    void ShowMethod(int method);
    bool Copies() const;  // direct or exact: the container row applies
    // Why `container` cannot take one of the sources, in the active language; "" when it can.
    QString ContainerRefusal(const std::string& container);
    // The note line: the tip, or why the chosen container gives way.
    void UpdateNote();
    // Moves the items from `y` down by `room` pixels, grows a group around `y`, and the dialog.
    void MakeRoomBelow(int y, int room);
    const Dialog kind_;
    const SettingsStore& store_;
    const LanguageTable& language_;
    MessageSink& messages_;
    FolderPicker pickFolder_;
    QMap<int, QWidget*> items_;
    OutputChoice choice_;
    QButtonGroup* modes_ = nullptr;  // the cut dialog's three export radios, apart from the method's
    int segments_ = 0;
    bool clips_ = false;  // a join with clips: its method is kept apart
    std::vector<JobSource> sources_;
    std::map<std::string, QString> refusals_;  // by container, from the sources
    QString tip_;                              // the note line's own text
};

class CFileInfomation : public OutputSettingsDialog {
    Q_OBJECT
public:
    CFileInfomation(const SettingsStore& store, const LanguageTable& language, MessageSink& messages,
                    FolderPicker pickFolder, const QString& defaultName, QWidget* parent = nullptr)
        : OutputSettingsDialog(Dialog::Cut, store, language, messages, std::move(pickFolder), defaultName, parent) {}
};

class CSettings : public OutputSettingsDialog {
    Q_OBJECT
public:
    CSettings(const SettingsStore& store, const LanguageTable& language, MessageSink& messages, FolderPicker pickFolder,
              QWidget* parent = nullptr)
        : OutputSettingsDialog(Dialog::Join, store, language, messages, std::move(pickFolder), QString(), parent) {}
};

}  // namespace ulvane
