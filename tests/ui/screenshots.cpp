// Takes screenshots of the real window as a user sees it (run under Xvfb by
// scripts/screenshots.sh): the cut tab with a source loaded and a segment marked, and the
// join tab with three files. Usage: ulvane-screenshots OUTDIR SOURCE FILE FILE FILE
#include <QApplication>
#include <QScreen>
#include <QTest>
#include <QWindow>

#include "controls/bitmap_slider.h"
#include "ui/main_window.h"

namespace {

struct Quiet : ulvane::MessageSink {
    void Show(QWidget*, const QString&, const QString& text, bool) override { qWarning("%s", qPrintable(text)); }
};

void Shoot(QWidget* w, const QString& path) {
    QTest::qWait(400);
    const QPixmap shot = w->screen()->grabWindow(w->winId());
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
    ulvane::CUlvaneAVConverterDlg window(s);
    window.move(10, 10);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) qFatal("the window was never shown");
    Shoot(&window, args[1] + "/window_empty.png");

    next = {args[2]};
    window.AddSourceFiles();
    auto* bar = window.ItemAs<ulvane::CBitmapSlider>(1140);
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->PositionToPixel(250), 10));
    QTest::qWait(200);
    window.SetStartPoint();
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->PositionToPixel(600), 10));
    QTest::qWait(200);
    window.SetEndPoint();
    Shoot(&window, args[1] + "/window_cut.png");

    window.SelectTab(1);
    next = args.mid(3);
    window.AddSourceFiles();
    Shoot(&window, args[1] + "/window_join.png");
    return 0;
}
