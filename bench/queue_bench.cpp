// Benchmark (not a test) of the queue panel with many waiting jobs: they are offered at the
// start as kept jobs, then the list is scrolled through, its last job moved to the top, a
// hundred removed, and the language switched. For each step it prints the time taken, the
// longest the panel went without painting (it is asked to paint every 16 ms) and the event
// loop's longest stall; the target is at most 50 ms without painting.
//   ulvane-queue-bench PROGRAM_DIR [JOBS]
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <cstdio>
#include <functional>

#include "bench/watch.h"
#include "core/job_queue.h"
#include "core/job_words.h"
#include "ui/job_launcher.h"
#include "ui/main_window.h"
#include "ui/queue_panel.h"
#include "ui/queue_runner.h"

namespace {

struct Agree : ulvane::MessageSink {
    void Show(QWidget*, const QString&, const QString& text, bool) override {
        std::fprintf(stderr, "%s\n", qPrintable(text));
    }
    bool Ask(QWidget*, const QString&, const QString&) override { return true; }
};

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: ulvane-queue-bench PROGRAM_DIR [JOBS]\n");
        return 2;
    }
    const int jobs = args.size() > 2 ? args[2].toInt() : 1000;
    Agree agree;
    ulvane::WindowServices s = ulvane::WindowServices::Default();
    s.UseFolder(args[1]);
    s.messages = &agree;
    s.open = [](const QString&) { return true; };
    s.cliPath = "/bin/false";  // nothing here is started: every job waits behind the window's own
    // The jobs kept when the program last closed: re-encoding cuts of as many files.
    {
        QFile kept(s.queueFile);
        if (!kept.open(QIODevice::WriteOnly)) return 1;
        for (int k = 1; k <= jobs; ++k) {
            const std::string name = "clip " + std::to_string(k);
            const std::string line =
                ulvane::ShellLine({"cut", "/videos/" + name + ".mp4", "--start", "0", "--end", "600", "--reencode",
                                   "--out-dir", "/videos/out", "--name", name});
            kept.write(
                ("# Cut " + name + ".mp4 from 00:00:00.000 to 00:10:00.000 (re-encoded)\n" + line + "\n").c_str());
        }
    }
    ulvane::CUlvaneAVConverterDlg window(s);
    window.show();
    ulvane::QueueRunner& runner = *window.launcher()->queueRunner();
    ulvane::QueueEntry own;
    own.what = "the window's own re-encoding";
    own.direct = false;
    runner.AddWindowJob(own);
    ulvane::QueuePanel& panel = *window.launcher()->queuePanel();
    panel.show();
    PaintWatch paints;
    panel.view()->viewport()->installEventFilter(&paints);
    QTimer frames;
    frames.setInterval(16);
    QObject::connect(&frames, &QTimer::timeout, [&] { panel.view()->viewport()->update(); });
    frames.start();
    LoopWatch loop;
    const auto step = [&](const char* what, const std::function<void()>& run) {
        QElapsedTimer took;
        paints.Start();
        loop.Start();
        took.start();
        run();
        const qint64 ms = took.elapsed();
        // What the step left to paint is painted before the next.
        QElapsedTimer settle;
        settle.start();
        while (settle.elapsed() < 200) app.processEvents(QEventLoop::AllEvents, 5);
        std::printf("%-44s %6lld ms; longest without painting %4lld ms, event loop's longest stall %4lld ms%s\n", what,
                    static_cast<long long>(ms), static_cast<long long>(paints.worst),
                    static_cast<long long>(loop.worst), paints.worst <= 50 ? "" : "  (target <= 50 ms: NOT met)");
    };
    const auto pump = [&] { app.processEvents(QEventLoop::AllEvents); };
    step("offered again and queued", [&] { window.launcher()->OfferKeptJobs(); });
    std::printf("  %zu jobs in the queue, %d running\n", runner.queue().entries().size(), runner.queue().running());
    step("scrolled through, a row selected at a time", [&] {
        for (int row = 0; row < panel.model()->rowCount(); row += 5) {
            panel.view()->selectRow(row);
            pump();
        }
    });
    step("the last job moved to the top", [&] {
        panel.view()->selectRow(panel.model()->rowCount() - 1);
        for (int k = 1; k < panel.model()->rowCount(); ++k) {
            panel.button(ulvane::QueuePanel::kUp)->click();
            pump();
        }
    });
    step("a hundred jobs removed", [&] {
        panel.view()->selectRow(2);  // past the window's own job, which runs
        for (int k = 0; k < 100; ++k) {
            panel.button(ulvane::QueuePanel::kRemove)->click();
            pump();
        }
    });
    std::printf("  %zu jobs in the queue\n", runner.queue().entries().size());
    step("the language switched through all six", [&] {
        for (int language = 5; language >= 0; --language) {
            window.SelectLanguage(language);
            pump();
        }
    });
    step("two seconds of the time-left ticks", [&] {
        QElapsedTimer idle;
        idle.start();
        while (idle.elapsed() < 2000) app.processEvents(QEventLoop::AllEvents, 5);
    });
    return 0;
}
