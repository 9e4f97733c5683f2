// Takes screenshots of the real window as a user sees it, frame and all (run under Xvfb
// with a window manager by scripts/screenshots.sh): the empty window, the cut tab with a
// source loaded and a segment marked, the same maximised and playing, the cut settings, the progress
// dialog during the cut, the join tab with three files and the join settings, and (given a
// fourth file with other tracks) the question a direct join of unlike files asks; in the
// language at POSITION of the language box.
// Usage: ulvane-screenshots OUTDIR POSITION SOURCE FILE FILE FILE [UNLIKE_FILE]
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QScreen>
#include <QTest>
#include <QWindow>
#include <cstdio>

#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>

#include "controls/bitmap_slider.h"
#include "core/job_queue.h"
#include "ui/control_ids.h"
#include "ui/cut_preview.h"
#include "ui/cut_tab.h"
#include "ui/find_button.h"
#include "ui/job_launcher.h"
#include "ui/join_tab.h"
#include "ui/main_window.h"
#include "ui/progress_dialog.h"
#include "ui/queue_panel.h"
#include "ui/queue_runner.h"
#include "ui/segment_list.h"
#include "ui/settings_dialog.h"
#include "ui/track_choices.h"

namespace {

void Shoot(QWidget* w, const QString& path);

// Messages are logged, not shown; a question is shown and shot when `askShot` names where,
// then answered No.
struct Quiet : ulvane::MessageSink {
    QString askShot;
    void Show(QWidget*, const QString&, const QString& text, bool) override { qWarning("%s", qPrintable(text)); }
    bool Ask(QWidget* parent, const QString& title, const QString& text) override {
        qWarning("%s", qPrintable(text));
        if (askShot.isEmpty()) return false;
        QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, parent);
        QTimer::singleShot(300, &box, [&] {
            Shoot(&box, askShot);
            box.reject();
        });
        box.exec();
        return false;
    }
    // A finished job's choice is shown and shot when `chooseShot` names where, then closed.
    QString chooseShot;
    int Choose(QWidget* parent, const QString& title, const QString& text, const QStringList& buttons) override {
        qWarning("%s", qPrintable(text));
        if (chooseShot.isEmpty()) return static_cast<int>(buttons.size()) - 1;
        QTimer::singleShot(300, [this] {
            QWidget* box = QApplication::activeModalWidget();
            if (!box) return;
            Shoot(box, chooseShot);
            box->close();
        });
        return ulvane::DefaultMessageSink().Choose(parent, title, text, buttons);
    }
};

void Shoot(QWidget* w, const QString& path) {
    QTest::qWait(400);
    // The whole frame the window manager draws, from the screen.
    const QRect frame = w->frameGeometry();
    const QPixmap shot = w->screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    std::printf("%s\n", qPrintable(path));
    if (!shot.save(path)) qFatal("cannot save %s", qPrintable(path));
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 7) qFatal("usage: ulvane-screenshots OUTDIR POSITION SOURCE FILE FILE FILE");
    const QString out = args[1];
    const int language = args[2].toInt();
    // The files the jobs make go to a folder of their own, removed at the end.
    const QString made = QDir(QDir::tempPath()).filePath("ulvane-screenshots/Videos");
    QDir(made).removeRecursively();
    QDir().mkpath(made);
    Quiet quiet;
    QStringList next;
    ulvane::WindowServices s = ulvane::WindowServices::Default();
    s.chooseFiles = [&next](QWidget*, const QString&) { return next; };
    s.messages = &quiet;
    s.open = [](const QString&) { return true; };
    bool joinDirectly = false;  // the join settings start a direct join instead of being cancelled
    QString settingsShot;       // where to save the next settings dialog; the cut one also starts
    s.runSettings = [&](ulvane::OutputSettingsDialog& d) {
        d.SetDirect(d.kind() == ulvane::Dialog::Join);
        d.ItemAs<QLineEdit>(ulvane::settings_id::kFolderBox)->setText(made);
        d.show();
        Shoot(&d, settingsShot);
        if (d.kind() == ulvane::Dialog::Join && !joinDirectly) return false;
        if (d.kind() == ulvane::Dialog::Join) {
            d.Start();
            return d.result() == QDialog::Accepted;
        }
        d.ItemAs<QComboBox>(ulvane::settings_id::kFormatList)->setCurrentIndex(1);
        d.ItemAs<QComboBox>(ulvane::settings_id::kCutSizeList)->setCurrentIndex(6);
        d.ItemAs<QLineEdit>(ulvane::settings_id::kNameBox)->setText("ulvane-screenshot-cut");
        d.Start();
        return d.result() == QDialog::Accepted;
    };
    ulvane::CUlvaneAVConverterDlg window(s);
    window.SelectLanguage(language);
    window.move(10, 10);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) qFatal("the window was never shown");
    Shoot(&window, out + "/window_empty.png");

    next = {args[3]};
    window.AddSourceFiles();
    auto* bar = window.ItemAs<ulvane::CBitmapSlider>(ulvane::main_id::kSeekBar);
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->PositionToPixel(250), 10));
    QTest::qWait(200);
    window.cutTab()->SetStartPoint();
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->PositionToPixel(600), 10));
    QTest::qWait(200);
    window.cutTab()->SetEndPoint();
    // A second segment, so the list and the seek bar show two.
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->PositionToPixel(750), 10));
    QTest::qWait(200);
    window.cutTab()->AddSegment();
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->PositionToPixel(900), 10));
    QTest::qWait(200);
    window.cutTab()->SetEndPoint();
    QTest::qWait(200);
    Shoot(&window, out + "/window_cut.png");
    window.showMaximized();
    QTest::qWait(600);  // the preview grabs its picture again at the new size
    Shoot(&window, out + "/window_cut_maximised.png");
    window.showNormal();
    QTest::qWait(400);
    // Playing in the preview from the selected segment's start: the play button shows the pause face.
    window.cutTab()->GoToMark(false);
    QTest::qWait(200);
    window.cutPreview()->TogglePlayback();
    QTest::qWait(1200);
    Shoot(&window, out + "/window_cut_playing.png");
    window.cutPreview()->TogglePlayback();
    QTest::qWait(400);

    // The cut settings, then the progress dialog while the cut runs, and the message at its end.
    settingsShot = out + "/dialog_cut_settings.png";
    quiet.chooseShot = out + "/message_cut_done.png";
    QTimer::singleShot(500, [&] { Shoot(window.launcher()->progressDialog(), out + "/dialog_progress.png"); });
    window.cutTab()->LaunchCut();
    window.launcher()->WaitForWorker();
    quiet.chooseShot.clear();

    window.SelectTab(1);
    next = args.mid(4);
    window.AddSourceFiles();
    Shoot(&window, out + "/window_join.png");
    settingsShot = out + "/dialog_join_settings.png";
    window.joinTab()->LaunchJoin();
    if (args.size() > 7) {
        // A file whose other tracks differ joins the list: the direct join asks first.
        next = {args[7]};
        window.AddSourceFiles();
        joinDirectly = true;
        quiet.askShot = out + "/question_unlike_files.png";
        window.joinTab()->LaunchJoin();
    }
    // The queue: the cut tab's marks applied to every file of the join list, a job each, shot
    // while the first runs and the others wait their turn (one re-encoding at a time).
    settingsShot = QDir(QDir::tempPath()).filePath("ulvane-screenshot-apply-settings.png");
    window.cutTab()->segmentList()->Change({{{1'000'000, 3'000'000, "Opening"}, {2'000'000, 3'500'000, {}}}, 0});
    window.joinTab()->ApplyToAll();
    QTest::qWait(1500);
    Shoot(window.launcher()->queuePanel(), out + "/window_queue.png");
    window.launcher()->queueRunner()->StopAll();
    QFile::remove(settingsShot);
    // Back in the first language for the next run.
    window.SelectLanguage(0);
    QDir(made).removeRecursively();
    return 0;
}
