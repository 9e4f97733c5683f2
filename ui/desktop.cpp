// Desktop services through Qt.
#include "ui/desktop.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
#include <QTranslator>
#include <QUrl>
#include <array>
#include <memory>

#include "core/language_table.h"

namespace ulvane {

QString GetProgramDir() {
    return QDir::cleanPath(QCoreApplication::applicationDirPath());
}

bool ShellOpen(const QString& target) {
    if (target.isEmpty()) return false;
    const QUrl url(target);
    return QDesktopServices::openUrl(url.isValid() && url.scheme().size() > 1 ? url : QUrl::fromLocalFile(target));
}

bool UseQtTexts(std::string_view languageFile) {
    // Qt's names for the languages of the six files, in the language box's order.
    static constexpr std::array<const char*, 6> kQtLanguages = {"", "es", "de", "fr", "it", "ja"};
    static std::unique_ptr<QTranslator> current;
    if (current) QCoreApplication::removeTranslator(current.get());
    current.reset();
    const std::optional<int> position = LanguagePosition(languageFile);
    if (!position || !*kQtLanguages[static_cast<size_t>(*position)]) return false;
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QString("qtbase_") + kQtLanguages[static_cast<size_t>(*position)],
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return false;
    QCoreApplication::installTranslator(translator.get());
    current = std::move(translator);
    return true;
}

namespace {

struct BoxSink : MessageSink {
    void Show(QWidget* parent, const QString& title, const QString& text, bool warning) override {
        QMessageBox box(warning ? QMessageBox::Warning : QMessageBox::Information, title, text, QMessageBox::Ok,
                        parent);
        box.exec();
    }
    bool Ask(QWidget* parent, const QString& title, const QString& text) override {
        QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, parent);
        box.setDefaultButton(QMessageBox::No);
        box.setEscapeButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes;
    }
    int Choose(QWidget* parent, const QString& title, const QString& text, const QStringList& buttons) override {
        QMessageBox box(QMessageBox::Information, title, text, QMessageBox::NoButton, parent);
        QList<QAbstractButton*> added;
        for (const QString& b : buttons) added << box.addButton(b, QMessageBox::ActionRole);
        if (!added.isEmpty()) {
            box.setDefaultButton(qobject_cast<QPushButton*>(added.last()));
            box.setEscapeButton(added.last());
        }
        box.exec();
        const int pressed = static_cast<int>(added.indexOf(box.clickedButton()));
        return pressed >= 0 ? pressed : static_cast<int>(added.size()) - 1;
    }
};

}  // namespace

MessageSink& DefaultMessageSink() {
    static BoxSink sink;
    return sink;
}

QString FirstFileFolder() {
    const QString videos = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    return !videos.isEmpty() && QFileInfo(videos).isDir() ? videos : QDir::homePath();
}

FileChooser DefaultFileChooser() {
    return [](QWidget* parent, const QString& filter) {
        static QString folder;  // where the last files were chosen
        if (folder.isEmpty() || !QFileInfo(folder).isDir()) folder = FirstFileFolder();
        const QStringList files = QFileDialog::getOpenFileNames(parent, QString(), folder, filter);
        if (!files.isEmpty()) folder = QFileInfo(files.first()).absolutePath();
        return files;
    };
}

}  // namespace ulvane
