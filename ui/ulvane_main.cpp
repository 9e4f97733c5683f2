// CUlvaneAVConverterApp: starts the program. One window; when it closes, the process ends.
// Usage: ulvane [FILE...]
#include <QApplication>

#include "ui/cut_tab.h"
#include "ui/job_launcher.h"
#include "ui/join_tab.h"
#include "ui/main_window.h"
#include "ui/window_accessibility.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Ulvane AV Converter");
    ulvane::InstallWindowAccessibility();
    ulvane::CUlvaneAVConverterDlg window(ulvane::WindowServices::Default());
    // The segment list's "Send to join list" puts the segments on the join list as clips.
    window.cutTab()->SetSendToJoinList([&window](const QString& source, const std::vector<ulvane::Segment>& segments) {
        window.joinTab()->AddJoinClips(source, segments);
    });
    window.show();
    // The jobs still waiting when the program last closed are offered again.
    QMetaObject::invokeMethod(window.launcher(), &ulvane::JobLauncher::OfferKeptJobs, Qt::QueuedConnection);
    // Files named on the command line (a file manager's "Open with") load as the add
    // buttons load them.
    const QStringList files = QApplication::arguments().mid(1);
    if (!files.isEmpty())
        QMetaObject::invokeMethod(
            &window, [&window, files] { window.OpenFiles(files); }, Qt::QueuedConnection);
    return app.exec();
}
