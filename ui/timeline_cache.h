// The timeline's cache: for each source file, the overview the strip shows first (the whole
// file's waveform and its thumbnails), in one file of the cache folder named by a hash of
// the source's path, size and modification time. A file that is damaged, of another version
// or of another source reads as missing, and the next write replaces it; so does one whose
// pictures would decode to more than a strip's overview ever needs. The folder is kept under a
// size: after each write the files used longest ago go first. Reads decode pictures: they
// belong on a worker thread, not the window's.
#pragma once

#include <QImage>
#include <QString>
#include <optional>
#include <vector>

#include "controls/timeline_strip.h"

namespace ulvane {

struct TimelineOverview {
    TimelineStrip::Levels levels;  // the whole file's, from 0
    struct Picture {
        qint64 micros = 0;  // when it shows from
        QImage image;
    };
    std::vector<Picture> pictures;
};

class TimelineCache {
public:
    static constexpr qint64 kMostBytes = qint64{200} << 20;

    // `folder` "" keeps nothing.
    explicit TimelineCache(QString folder, qint64 mostBytes = kMostBytes)
        : folder_(std::move(folder)), mostBytes_(mostBytes) {}

    // The cache file of the source at `path` as it is now ("" when it cannot be read or
    // there is no folder).
    QString FileFor(const QString& path) const;
    // The kept overview of `path`, if a sound one is there; reading marks it used.
    std::optional<TimelineOverview> Read(const QString& path) const;
    // Keeps `overview` for `path`, then trims the folder. False when it could not be written.
    bool Write(const QString& path, const TimelineOverview& overview) const;

private:
    void Trim(const QString& keep) const;

    QString folder_;
    qint64 mostBytes_;
};

}  // namespace ulvane
