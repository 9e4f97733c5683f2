// Benchmark (not a test) of the window's responsiveness: a seek-bar drag over a source,
// playback in the preview, and adding many files to the join list. Prints how long after the last move of a drag the
// preview shows that position, the longest the event loop went without running (so the
// window could not repaint), and how many grabs served how many moves.
//   ulvane-preview-bench PROGRAM_DIR SOURCE [FILE_FOR_JOIN]
#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "bench/watch.h"
#include "controls/bitmap_slider.h"
#include "ui/control_ids.h"
#include "ui/cut_preview.h"
#include "ui/main_window.h"
#include "ui/preview_frame.h"
#include "ui/preview_player.h"

namespace {

struct Quiet : ulvane::MessageSink {
    void Show(QWidget*, const QString&, const QString& text, bool) override {
        std::fprintf(stderr, "%s\n", qPrintable(text));
    }
    bool Ask(QWidget*, const QString&, const QString& text) override {
        std::fprintf(stderr, "%s\n", qPrintable(text));
        return false;
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: ulvane-preview-bench PROGRAM_DIR SOURCE [FILE_FOR_JOIN]\n");
        return 2;
    }
    Quiet quiet;
    QStringList next;
    ulvane::WindowServices s = ulvane::WindowServices::Default();
    s.UseFolder(args[1]);
    s.chooseFiles = [&next](QWidget*, const QString&) { return next; };
    s.messages = &quiet;
    s.open = [](const QString&) { return true; };
    ulvane::CUlvaneAVConverterDlg window(s);
    window.show();
    next = {args[2]};
    window.AddSourceFiles();
    auto* bar = window.ItemAs<ulvane::CBitmapSlider>(ulvane::main_id::kSeekBar);

    // Five drags across the bar, a move every 4 ms (faster than any grab), each followed by
    // waiting for the preview to show the last position.
    LoopWatch watch;
    watch.Start();
    int moves = 0;
    double worstSettle = 0, totalSettle = 0;
    for (int drag = 0; drag < 5; ++drag) {
        const int from = bar->PositionToPixel(drag % 2 ? 950 : 50),
                  to = bar->PositionToPixel(drag % 2 ? 60 + drag * 7 : 940 - drag * 7);
        QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(from, 10));
        const int steps = 120;
        QElapsedTimer settle;  // from the last move on
        for (int i = 1; i <= steps; ++i) {
            QTest::mouseMove(bar, QPoint(from + (to - from) * i / steps, 10));
            settle.start();
            ++moves;
            QElapsedTimer pause;
            pause.start();
            while (pause.elapsed() < 4) QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        }
        QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(to, 10));
        // Settled when the preview shows the frame of the bar's final position.
        while (window.cutPreview()->figures().grabbedPlace != bar->GetPosition() && settle.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        const double settleMs = static_cast<double>(settle.elapsed());
        worstSettle = std::max(worstSettle, settleMs);
        totalSettle += settleMs;
    }
    const qint64 worstStall = watch.worst;
    std::printf("seek-bar drags: %d moves over 5 drags, %d frames grabbed\n", moves,
                window.cutPreview()->figures().grabs);
    std::printf(
        "preview of the last position shown after the last move: mean %.1f ms, worst %.1f ms (target < 100 ms)\n",
        totalSettle / 5, worstSettle);
    std::printf("longest the event loop went without running during the drags: %lld ms\n",
                static_cast<long long>(worstStall));

    // Releases at 20 places in turn: how long until the exact picture there is shown, and the
    // longest the event loop went without running meanwhile.
    std::vector<double> exactMs;
    watch.Start();
    for (int i = 0; i < 20; ++i) {
        const int at = bar->PositionToPixel(25 + i * 47);
        const int shown = window.cutPreview()->figures().exactShown;
        QElapsedTimer wait;
        QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(at, 10));
        QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(at, 10));
        wait.start();
        while (window.cutPreview()->figures().exactShown == shown && wait.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        exactMs.push_back(static_cast<double>(wait.elapsed()));
    }
    std::sort(exactMs.begin(), exactMs.end());
    std::printf("exact picture shown after a release: median %.0f ms, worst %.0f ms (target <= 200 ms median)\n",
                exactMs[exactMs.size() / 2], exactMs.back());
    std::printf("longest the event loop went without running meanwhile: %lld ms (target <= 50 ms)\n",
                static_cast<long long>(watch.worst));

    // Playback in the preview: 5 s at 1x from 9 s on, then 3 s at 2x, timed by the preview's
    // own paints (the window may never go more than 50 ms without painting while playing).
    {
        PaintWatch paints;
        window.ItemAs<ulvane::PreviewFrame>(ulvane::main_id::kPreview)->installEventFilter(&paints);
        ulvane::PreviewPlayer* player = window.cutPreview()->previewPlayer();
        const int rested = window.cutPreview()->figures().exactShown;
        const QPoint at(bar->PositionToPixel(150), 10);  // 9 s in
        QTest::mousePress(bar, Qt::LeftButton, {}, at);
        QTest::mouseRelease(bar, Qt::LeftButton, {}, at);
        while (window.cutPreview()->figures().exactShown == rested)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        for (const auto& [speed, ms] : {std::pair{1.0, 5000}, std::pair{2.0, 3000}}) {
            if (speed == 1.0)
                window.cutPreview()->TogglePlayback();
            else
                window.cutPreview()->Shuttle(1);
            // Timed from the first picture of the run on (opening and the first decode are a seek's).
            const qint64 shownBefore = player->figures().picturesShown;
            while (player->figures().picturesShown == shownBefore)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            watch.Start();
            paints.Start();
            const ulvane::PlayerFigures before = player->figures();
            QElapsedTimer run;
            run.start();
            while (run.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            const ulvane::PlayerFigures after = player->figures();
            std::printf(
                "playback at %gx for %d s: %lld pictures shown, %lld dropped; longest without painting the preview "
                "%lld ms (target <= 50 ms), event loop's longest stall %lld ms, the player's timer's longest gap "
                "%lld ms\n",
                speed, ms / 1000, static_cast<long long>(after.picturesShown - before.picturesShown),
                static_cast<long long>(after.picturesDropped - before.picturesDropped),
                static_cast<long long>(paints.worst), static_cast<long long>(watch.worst),
                static_cast<long long>(player->longestTurnGapMs()));
        }
        window.cutPreview()->Shuttle(0);
    }

    if (args.size() >= 4) {
        window.SelectTab(1);
        next.clear();
        for (int i = 0; i < 100; ++i) next << args[3];
        watch.Start();
        QElapsedTimer add;
        add.start();
        window.AddSourceFiles();
        std::printf("adding 100 files to the join list: %lld ms in all, longest without painting %lld ms\n",
                    static_cast<long long>(add.elapsed()), static_cast<long long>(watch.worst));
    }
    return 0;
}
