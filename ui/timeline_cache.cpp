// The timeline cache's files. Layout (QDataStream, big-endian, version 6.4 of Qt's stream):
// the magic "ULVTL", the format version, the source's path, size and modification time (ms
// since the epoch), then the levels (from, bin, count, peaks, loudness values as floats) and
// the pictures (count, then time and PNG bytes for each). Counts and sizes are checked
// against limits before anything is allocated, a picture's size as its header declares it
// before it is decoded.
//
// No time here becomes a local time: the files' times are read and compared as milliseconds
// since the epoch. Qt's local times call the C library's tzset, which is not safe beside the
// window's thread (the cache is read and written on the feeder's).
#include "ui/timeline_cache.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <QBuffer>
#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QSaveFile>
#include <algorithm>

namespace ulvane {

namespace {

constexpr char kMagic[] = "ULVTL";
// 2: the overview holds the very pictures of places whose key frames lie before them.
constexpr quint32 kVersion = 2;
constexpr qint64 kMostFileBytes = qint64{64} << 20;
constexpr quint32 kMostBins = 1000000;
constexpr quint32 kMostPictures = 4096;
constexpr quint32 kMostPictureBytes = 4u << 20;
// A thumbnail is a strip row high (tens of pixels) and as wide as its picture's shape makes
// it; an overview keeps at most two for each place of a screen-wide strip. The limits leave
// room tenfold and bound what a file read decodes to 64 MiB (four bytes a pixel).
constexpr int kMostPictureSide = 2048;
constexpr qint64 kMostPixels = qint64{16} << 20;
const char kSuffix[] = ".ulvtl";

// A file's modification time in milliseconds since the epoch, as QFileInfo reads it; -1
// when it cannot be read.
qint64 ModifiedMs(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return -1;
    return qint64{st.st_mtim.tv_sec} * 1000 + st.st_mtim.tv_nsec / 1000000;
}

struct SourceStamp {
    QString path;
    qint64 size = -1, modified = 0;
};

std::optional<SourceStamp> StampOf(const QString& path) {
    const QFileInfo info(path);
    if (!info.isFile()) return std::nullopt;
    return SourceStamp{info.absoluteFilePath(), info.size(), ModifiedMs(path)};
}

// Decodes a kept picture once its header declares a size within the limits and within what
// is left of `pixels`, which it takes from; a null image otherwise.
QImage DecodePicture(const QByteArray& png, qint64& pixels) {
    QBuffer buffer;
    buffer.setData(png);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "PNG");
    const QSize size = reader.size();  // the header's, nothing decoded yet
    if (!size.isValid() || size.isEmpty() || size.width() > kMostPictureSide || size.height() > kMostPictureSide)
        return {};
    pixels -= qint64{size.width()} * size.height();
    if (pixels < 0) return {};
    QImage image = reader.read();
    return image.size() == size ? image : QImage();
}

}  // namespace

QString TimelineCache::FileFor(const QString& path) const {
    const std::optional<SourceStamp> s = StampOf(path);
    if (folder_.isEmpty() || !s) return {};
    QCryptographicHash h(QCryptographicHash::Sha1);
    h.addData(s->path.toUtf8());
    h.addData(QByteArray::number(s->size) + '/' + QByteArray::number(s->modified));
    return folder_ + "/" + QString::fromLatin1(h.result().toHex()) + kSuffix;
}

std::optional<TimelineOverview> TimelineCache::Read(const QString& path) const {
    const QString name = FileFor(path);
    const std::optional<SourceStamp> stamp = StampOf(path);
    if (name.isEmpty() || !stamp) return std::nullopt;
    QFile f(name);
    if (!QFileInfo(name).isFile() || f.size() > kMostFileBytes || !f.open(QIODevice::ReadOnly)) return std::nullopt;
    QDataStream in(&f);
    in.setVersion(QDataStream::Qt_6_4);
    QByteArray magic;
    quint32 version = 0;
    SourceStamp kept;
    in >> magic >> version;
    if (in.status() != QDataStream::Ok || magic != kMagic || version != kVersion) return std::nullopt;
    in >> kept.path >> kept.size >> kept.modified;
    // Another source whose name hashed alike, or the same one changed: not this file's.
    if (kept.path != stamp->path || kept.size != stamp->size || kept.modified != stamp->modified) return std::nullopt;
    TimelineOverview o;
    quint32 bins = 0;
    in >> o.levels.fromMicros >> o.levels.binMicros >> bins;
    if (in.status() != QDataStream::Ok || bins > kMostBins || o.levels.binMicros <= 0) return std::nullopt;
    o.levels.peak.resize(bins);
    o.levels.rms.resize(bins);
    for (float& v : o.levels.peak) in >> v;
    for (float& v : o.levels.rms) in >> v;
    quint32 pictures = 0;
    in >> pictures;
    if (in.status() != QDataStream::Ok || pictures > kMostPictures) return std::nullopt;
    qint64 pixelsLeft = kMostPixels;
    for (quint32 i = 0; i < pictures; ++i) {
        TimelineOverview::Picture p;
        quint32 bytes = 0;
        in >> p.micros >> bytes;
        if (in.status() != QDataStream::Ok || bytes > kMostPictureBytes) return std::nullopt;
        QByteArray png(static_cast<qsizetype>(bytes), Qt::Uninitialized);
        if (in.readRawData(png.data(), static_cast<int>(bytes)) != static_cast<int>(bytes)) return std::nullopt;
        p.image = DecodePicture(png, pixelsLeft);
        if (p.image.isNull()) return std::nullopt;
        o.pictures.push_back(std::move(p));
    }
    if (in.status() != QDataStream::Ok || !in.atEnd()) return std::nullopt;
    f.close();
    // Used now: the trim keeps it longer than the files not opened lately.
    ::utimensat(AT_FDCWD, QFile::encodeName(name).constData(), nullptr, 0);
    return o;
}

bool TimelineCache::Write(const QString& path, const TimelineOverview& overview) const {
    const QString name = FileFor(path);
    const std::optional<SourceStamp> stamp = StampOf(path);
    if (name.isEmpty() || !stamp || !QDir().mkpath(folder_)) return false;
    const TimelineStrip::Levels& l = overview.levels;
    if (l.peak.size() != l.rms.size() || l.peak.size() > kMostBins || overview.pictures.size() > kMostPictures)
        return false;
    QSaveFile f(name);
    if (!f.open(QIODevice::WriteOnly)) return false;
    QDataStream out(&f);
    out.setVersion(QDataStream::Qt_6_4);
    out << QByteArray(kMagic) << kVersion << stamp->path << stamp->size << stamp->modified;
    out << l.fromMicros << l.binMicros << static_cast<quint32>(l.peak.size());
    for (float v : l.peak) out << v;
    for (float v : l.rms) out << v;
    out << static_cast<quint32>(overview.pictures.size());
    for (const TimelineOverview::Picture& p : overview.pictures) {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        p.image.save(&buffer, "PNG");
        out << p.micros << static_cast<quint32>(png.size());
        out.writeRawData(png.constData(), static_cast<int>(png.size()));
    }
    if (out.status() != QDataStream::Ok || !f.commit()) return false;
    Trim(name);
    return true;
}

void TimelineCache::Trim(const QString& keep) const {
    struct Kept {
        QString path;
        qint64 size, modified;
    };
    std::vector<Kept> files;
    qint64 total = 0;
    for (const QFileInfo& f : QDir(folder_).entryInfoList({QString("*") + kSuffix}, QDir::Files)) {
        files.push_back({f.absoluteFilePath(), f.size(), ModifiedMs(f.absoluteFilePath())});
        total += f.size();
    }
    std::sort(files.begin(), files.end(), [](const Kept& a, const Kept& b) { return a.modified < b.modified; });
    const QString kept = QFileInfo(keep).absoluteFilePath();
    for (auto it = files.cbegin(); it != files.cend() && total > mostBytes_; ++it) {
        if (it->path == kept) continue;
        if (QFile::remove(it->path)) total -= it->size;
    }
}

}  // namespace ulvane
