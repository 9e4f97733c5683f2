// Exact preview pictures.
#include "ui/exact_pictures.h"

#include "engine/frame_grabber.h"

namespace ulvane {

// Lives on the pictures' thread: its own grabber, so the window's is never shared.
class ExactPictureWorker : public QObject {
    Q_OBJECT

public:
    explicit ExactPictureWorker(std::atomic<int>& latest) : latest_(latest) {}
    // Runs on the pictures' thread as it ends. Its write of `latest_`, which the window
    // reads after QThread::wait(), orders everything this thread did before the window's
    // end even for a thread checker that cannot see Qt's own locks.
    ~ExactPictureWorker() override { latest_.fetch_add(0, std::memory_order_acq_rel); }

public slots:
    void Grab(int id, const QString& path, double seconds, QSize box) {
        if (id != latest_.load()) return;  // a newer request is waiting behind this one
        ShownPicture shown;
        int64_t from = 0, lasting = 0;
        std::string error;
        if (!grabber_.GrabExact(path.toStdString(), seconds, box.width(), box.height(), shown, from, lasting, error))
            return;
        if (id != latest_.load()) return;
        const QImage view(shown.rgb.data(), shown.width, shown.height, shown.width * 3, QImage::Format_RGB888);
        emit grabbed(id, path, view.copy(), from, lasting);
    }

signals:
    void grabbed(int id, const QString& path, const QImage& picture, qint64 fromMicros, qint64 forMicros);

private:
    std::atomic<int>& latest_;
    FrameGrabber grabber_;
};

ExactPictures::ExactPictures(QObject* parent) : QObject(parent), worker_(new ExactPictureWorker(latest_)) {
    worker_->moveToThread(&thread_);
    connect(&thread_, &QThread::finished, worker_, &QObject::deleteLater);
    connect(worker_, &ExactPictureWorker::grabbed, this, &ExactPictures::OnGrabbed, Qt::QueuedConnection);
    thread_.start();
}

ExactPictures::~ExactPictures() {
    latest_.fetch_add(1);  // whatever is queued is skipped
    thread_.quit();
    thread_.wait();
    latest_.load(std::memory_order_acquire);  // after the worker's last write: see its destructor
}

void ExactPictures::Request(const QString& path, double seconds, QSize box) {
    const int id = latest_.fetch_add(1) + 1;
    QMetaObject::invokeMethod(
        worker_, [w = worker_, id, path, seconds, box] { w->Grab(id, path, seconds, box); }, Qt::QueuedConnection);
}

void ExactPictures::OnGrabbed(int id, const QString& path, const QImage& picture, qint64 fromMicros, qint64 forMicros) {
    if (id != latest_.load()) return;
    ++answered_;
    emit ready(path, picture, fromMicros, forMicros);
}

}  // namespace ulvane

#include "exact_pictures.moc"
