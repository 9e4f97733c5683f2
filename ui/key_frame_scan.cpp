#include "ui/key_frame_scan.h"

#include <memory>
#include <system_error>

#include "engine/key_frames.h"

namespace ulvane {

void KeyFrameScan::Stop() {
    stop_.store(true);
    if (thread_.joinable()) thread_.join();
    stop_.store(false);
}

void KeyFrameScan::Start(const QString& path) {
    Stop();
    keys_.clear();
    path_ = path;
    if (path.isEmpty()) return;
    // The times are handed over through an atomic pointer: Qt's event queue orders the queued
    // call after the scan, but through locks of its own that a thread checker cannot see.
    struct Handoff {
        std::atomic<std::vector<int64_t>*> keys{nullptr};
        ~Handoff() { delete keys.load(); }
    };
    auto handoff = std::make_shared<Handoff>();
    try {
        // The result comes back as a queued call: the thread shares nothing with the window but
        // the stop flag and the handoff, and it is joined before this object goes.
        thread_ = std::thread([this, path, handoff] {
            auto keys = std::make_unique<std::vector<int64_t>>(KeyFrameTimes(path.toStdString(), stop_));
            if (stop_.load()) return;
            handoff->keys.store(keys.release(), std::memory_order_release);
            QMetaObject::invokeMethod(
                this,
                [this, path, handoff] {
                    const std::unique_ptr<std::vector<int64_t>> keys(
                        handoff->keys.exchange(nullptr, std::memory_order_acquire));
                    if (!keys || path != path_) return;  // another file was loaded meanwhile
                    keys_ = std::move(*keys);
                    emit found();
                },
                Qt::QueuedConnection);
        });
    } catch (const std::system_error&) {
        // No thread: the file goes without its key frames.
    }
}

}  // namespace ulvane
