// Exact preview pictures, decoded on a thread of their own: the picture on screen at a
// time, decoded on from the key frame before it while the window goes on. The newest
// request replaces the ones before it; an answer to an older one is never shown.
#pragma once

#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <QThread>
#include <atomic>

namespace ulvane {

class ExactPictureWorker;

class ExactPictures : public QObject {
    Q_OBJECT

public:
    explicit ExactPictures(QObject* parent = nullptr);
    ~ExactPictures() override;  // stops the thread once its grab in work is over

    // Asks for the picture of `path` at `seconds`, fitted in `box`.
    void Request(const QString& path, double seconds, QSize box);
    // Drops every request made so far (another file is loaded).
    void Forget() { latest_.fetch_add(1); }
    int answered() const { return answered_; }

signals:
    // The picture asked for last: it starts to show at `fromMicros` (from the file's start)
    // and lasts `forMicros`.
    void ready(const QString& path, const QImage& picture, qint64 fromMicros, qint64 forMicros);

private:
    void OnGrabbed(int id, const QString& path, const QImage& picture, qint64 fromMicros, qint64 forMicros);

    QThread thread_;
    ExactPictureWorker* worker_;
    std::atomic<int> latest_{0};  // the newest request's number; the worker skips older ones
    int answered_ = 0;
};

}  // namespace ulvane
