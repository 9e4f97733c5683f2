// Desktop services through Qt.
#include "ui/desktop.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

namespace ulvane {

QString GetProgramDir() {
    return QDir::cleanPath(QCoreApplication::applicationDirPath());
}

bool ShellOpen(const QString& target) {
    if (target.isEmpty()) return false;
    const QUrl url(target);
    return QDesktopServices::openUrl(url.isValid() && url.scheme().size() > 1 ? url : QUrl::fromLocalFile(target));
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
};

}  // namespace

MessageSink& DefaultMessageSink() {
    static BoxSink sink;
    return sink;
}

FileChooser DefaultFileChooser() {
    return [](QWidget* parent, const QString& filter) {
        return QFileDialog::getOpenFileNames(parent, QString(), QString(), filter);
    };
}

}  // namespace ulvane
