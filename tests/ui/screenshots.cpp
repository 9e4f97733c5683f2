// Takes screenshots of the real window as a user sees it (run under Xvfb by
// scripts/screenshots.sh): the cut tab with a source loaded and a segment marked, the cut
// settings, the progress dialog during the cut, the join tab with three files and the join
// settings. Usage: ulvane-screenshots OUTDIR SOURCE FILE FILE FILE
#include <QApplication>
#include <QFile>
#include <QScreen>
#include <QTest>
#include <QWindow>
#include <cstdio>

#include <QComboBox>
#include <QLineEdit>
#include <QTimer>

#include "controls/bitmap_slider.h"
#include "ui/control_ids.h"
#include "ui/main_window.h"
#include "ui/progress_dialog.h"
#include "ui/settings_dialog.h"

namespace {

struct Quiet : ulvane::MessageSink {
    void Show(QWidget*, const QString&, const QString& text, bool) override { qWarning("%s", qPrintable(text)); }
    bool Ask(QWidget*, const QString&, const QString& text) override {
        qWarning("%s", qPrintable(text));
        return false;
    }
};

void Shoot(QWidget* w, const QString& path) {
    QTest::qWait(400);
    const QPixmap shot = w->screen()->grabWindow(w->winId());
    std::printf("%s\n", qPrintable(path));
    if (!shot.save(path)) qFatal("cannot save %s", qPrintable(path));
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 6) qFatal("usage: ulvane-screenshots OUTDIR SOURCE FILE FILE FILE");
    Quiet quiet;
    QStringList next;
    ulvane::WindowServices s = ulvane::WindowServices::Default();
    s.chooseFiles = [&next](QWidget*, const QString&) { return next; };
    s.messages = &quiet;
    s.open = [](const QString&) { return true; };
    QString settingsShot;  // where to save the next settings dialog; the cut one also starts
    s.runSettings = [&](ulvane::OutputSettingsDialog& d) {
        d.SetDirect(d.kind() == ulvane::Dialog::Join);
        d.ItemAs<QLineEdit>(ulvane::settings_id::kFolderBox)->setText(args[1]);
        d.show();
        Shoot(&d, settingsShot);
        if (d.kind() == ulvane::Dialog::Join) return false;
        d.ItemAs<QComboBox>(ulvane::settings_id::kFormatList)->setCurrentIndex(1);
        d.ItemAs<QComboBox>(ulvane::settings_id::kCutSizeList)->setCurrentIndex(6);
        d.ItemAs<QLineEdit>(ulvane::settings_id::kNameBox)->setText("ulvane-screenshot-cut");
        d.Start();
        return d.result() == QDialog::Accepted;
    };
    ulvane::CUlvaneAVConverterDlg window(s);
    window.move(10, 10);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) qFatal("the window was never shown");
    Shoot(&window, args[1] + "/window_empty.png");

    next = {args[2]};
    window.AddSourceFiles();
    auto* bar = window.ItemAs<ulvane::CBitmapSlider>(ulvane::main_id::kSeekBar);
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->PositionToPixel(250), 10));
    QTest::qWait(200);
    window.SetStartPoint();
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->PositionToPixel(600), 10));
    QTest::qWait(200);
    window.SetEndPoint();
    Shoot(&window, args[1] + "/window_cut.png");

    // The cut settings, then the progress dialog while the cut runs.
    settingsShot = args[1] + "/dialog_cut_settings.png";
    QTimer::singleShot(500, [&] { Shoot(window.progressDialog(), args[1] + "/dialog_progress.png"); });
    window.LaunchCut();
    window.WaitForWorker();
    QFile::remove(args[1] + "/ulvane-screenshot-cut.mp4");

    window.SelectTab(1);
    next = args.mid(3);
    window.AddSourceFiles();
    Shoot(&window, args[1] + "/window_join.png");
    settingsShot = args[1] + "/dialog_join_settings.png";
    window.LaunchJoin();
    return 0;
}
