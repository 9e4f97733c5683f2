// The loaded file's key frames, found on a thread of its own while the window goes on. The
// thread shares only a stop flag and a handoff with the window's thread; a new file's scan
// stops and joins the one before, and so does the destructor.
#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

namespace ulvane {

class KeyFrameScan : public QObject {
    Q_OBJECT

public:
    explicit KeyFrameScan(QObject* parent = nullptr) : QObject(parent) {}
    ~KeyFrameScan() override { Stop(); }

    // Scans `path` ("" none); the times found before are forgotten at once.
    void Start(const QString& path);
    void Stop();
    // The key frames (microseconds) of the file scanned last, once found.
    const std::vector<int64_t>& keys() const { return keys_; }

signals:
    void found();

private:
    QString path_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::vector<int64_t> keys_;
};

}  // namespace ulvane
