// CFileInfomation (cut, template 165) and CSettings (join, template 167): the output
// settings of a job. They open on the rows stored in setting.ini, switch between direct
// (lists disabled) and indirect, pick the output folder, and on start store the rows, test
// the folder and fill their OutputChoice.
#pragma once

#include <QDialog>
#include <QMap>
#include <functional>

#include "core/launch.h"
#include "core/output_presets.h"
#include "core/settings_store.h"
#include "ui/desktop.h"

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
    // The cut dialog's exact direct cut (the join dialog has none).
    void SetExact();
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
    const Dialog kind_;
    const SettingsStore& store_;
    const LanguageTable& language_;
    MessageSink& messages_;
    FolderPicker pickFolder_;
    QMap<int, QWidget*> items_;
    OutputChoice choice_;
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
