// The desktop services the windows use, behind small interfaces so that tests can replace
// them: the program's folder, opening a file or address with the desktop, message boxes
// and the open-file dialog.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <string_view>

class QWidget;

namespace ulvane {

// The folder of the program file, without a trailing separator.
QString GetProgramDir();

// Opens a local file or an address with the desktop's default action; true on success.
bool ShellOpen(const QString& target);

// Shows a message with one OK button (`warning` picks the warning icon), or asks a question
// with Yes and No buttons.
struct MessageSink {
    virtual ~MessageSink() = default;
    virtual void Show(QWidget* parent, const QString& title, const QString& text, bool warning) = 0;
    // True for Yes; No, Escape and the close box answer no.
    virtual bool Ask(QWidget* parent, const QString& title, const QString& text) = 0;
    // A message with a button for each of `buttons`, the last one the default and the answer of
    // Escape and the close box; the place of the button pressed. Without a box of its own, the
    // message is shown and the last button is the answer.
    virtual int Choose(QWidget* parent, const QString& title, const QString& text, const QStringList& buttons) {
        Show(parent, title, text, false);
        return static_cast<int>(buttons.size()) - 1;
    }
};
MessageSink& DefaultMessageSink();

// Qt's own texts (the buttons of message boxes and dialogs) in the language of one of the six
// language files, where Qt's translations are installed; Qt's English otherwise. True when a
// translation is in use.
bool UseQtTexts(std::string_view languageFile);

// Asks for files to open: several at once, full paths in a stable order; empty when
// cancelled. `filter` is in Qt's "Name (*.a *.b);;Other (*)" form.
// The desktop's file dialog opens where the last files were chosen, at first in FirstFileFolder.
using FileChooser = std::function<QStringList(QWidget* parent, const QString& filter)>;
FileChooser DefaultFileChooser();
// The user's videos folder, else the home folder: never the folder the program was started in.
QString FirstFileFolder();

}  // namespace ulvane
