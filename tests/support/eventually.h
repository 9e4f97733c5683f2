// Waiting for what the event loop brings, in a way a GoogleTest check can fail on (Qt's
// QTRY_ macros report to QtTest, which a GoogleTest run never reads).
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

namespace ulvane::test {

// Runs the event loop until `ready()` holds or `ms` milliseconds pass; whether it held.
template <typename Predicate>
bool Eventually(Predicate ready, int ms = 5000) {
    QElapsedTimer clock;
    clock.start();
    while (!ready()) {
        if (clock.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

}  // namespace ulvane::test
