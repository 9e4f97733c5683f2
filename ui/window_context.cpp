#include "ui/window_context.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QWindow>
#include <memory>

#include "core/app_paths.h"
#include "ui/main_window_text.h"
#include "ui/settings_dialog.h"

namespace ulvane {

WindowServices WindowServices::Default() {
    return ForProgramIn(GetProgramDir());
}

WindowServices WindowServices::ForProgramIn(const QString& programDir) {
    WindowServices s;
    const AppPaths places = LocateAppPaths(programDir.toStdString());
    s.dataDir = QString::fromStdString(places.dataDir);
    s.settingsFile = QString::fromStdString(places.settingsFile);
    s.snapshotFile = QString::fromStdString(places.snapshotFile);
    s.segmentsDir = QString::fromStdString(places.segmentsDir);
    s.queueFile = QFileInfo(s.segmentsDir).absolutePath() + "/queue.txt";
    // What the strip can compute again goes beside the snapshot: the user's cache folder for
    // an installed copy, the program's own for a portable one.
    s.timelineCacheDir = QFileInfo(s.snapshotFile).absolutePath() + "/timeline";
    s.chooseFiles = DefaultFileChooser();
    s.chooseSaveFile = [](QWidget* parent, const QString& title, const QString& place, const QString& filter) {
        return QFileDialog::getSaveFileName(parent, title, place, filter);
    };
    s.chooseOpenFile = [](QWidget* parent, const QString& title, const QString& place, const QString& filter) {
        return QFileDialog::getOpenFileName(parent, title, place, filter);
    };
    s.messages = &DefaultMessageSink();
    s.open = ShellOpen;
    s.pickFolder = DefaultFolderPicker();
    s.runSettings = [](OutputSettingsDialog& d) { return d.exec() == QDialog::Accepted; };
    s.startMove = [](QWidget* w) {
        if (w->windowHandle()) w->windowHandle()->startSystemMove();
    };
    return s;
}

void WindowServices::UseFolder(const QString& folder) {
    dataDir = folder;
    settingsFile = folder + "/setting.ini";
    snapshotFile = folder + "/image.bmp";
    segmentsDir = folder + "/segments";
    timelineCacheDir = folder + "/timeline";
    queueFile = folder + "/queue.txt";
}

QString WindowContext::Text(const char* section, const char* key) const {
    return ToQString(table.Text(section, key));
}

QString WindowContext::FileText(const char* section, const char* key) const {
    return ToQString(table.ReadFromFile(section, key));
}

QImage WindowContext::Image(int id) const {
    return QImage(QString("%1/images/%2.bmp").arg(services.dataDir).arg(id));
}

void WindowContext::Tell(const QString& text, bool warning) const {
    services.messages->Show(window, window->windowTitle(), text, warning);
}

bool WindowContext::Ask(const QString& text) const {
    return services.messages->Ask(window, window->windowTitle(), text);
}

QString WindowContext::TracksText(const MediaInfo& info) const {
    return Text("JIEMIAN", "ypgs") + ": " + QString::number(info.audioTracks) + "\n" + Text("JIEMIAN", "zmgs") + ": " +
           QString::number(info.subtitleTracks);
}

QString WindowContext::UnusableText(const QString& path, int probeResult) const {
    const QString name = QFileInfo(path).fileName().isEmpty() ? path : QFileInfo(path).fileName();
    QString text = Text("TISHI", "wj") + name + " " + Text("TISHI", "wx");
    if (probeResult != kProbeOk) text += "\n(" + QString::fromUtf8(ProbeResultText(probeResult)) + ")";
    return text;
}

int ProbeForWindow(const QString& path, MediaInfo& info) {
    auto job = std::make_unique<ConversionJob>();  // a large record: not on the stack
    job->probePath = path.toStdString();
    const int result = ProbeMediaFile(*job);
    info = job->info;
    return result;
}

}  // namespace ulvane
