// What the window benchmarks watch: the event loop's longest stall and a widget's longest
// time without painting.
#pragma once

#include <QElapsedTimer>
#include <QEvent>
#include <QObject>
#include <QTimer>
#include <algorithm>

// Watches the event loop: the longest time between two runs of a 2 ms timer.
struct LoopWatch {
    QTimer timer;
    QElapsedTimer clock;
    qint64 last = 0, worst = 0;
    LoopWatch() {
        timer.setInterval(2);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            const qint64 now = clock.elapsed();
            worst = std::max(worst, now - last);
            last = now;
        });
    }
    void Start() {
        clock.start();
        last = 0;
        worst = 0;
        timer.start();
    }
};

// Watches a widget's paints: the longest time between two.
struct PaintWatch : QObject {
    QElapsedTimer clock;
    qint64 last = 0, worst = 0;
    void Start() {
        clock.start();
        last = 0;
        worst = 0;
    }
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint && clock.isValid()) {
            const qint64 now = clock.elapsed();
            worst = std::max(worst, now - last);
            last = now;
        }
        return false;
    }
};
