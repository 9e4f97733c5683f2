// TimelineFeeder: fills a TimelineStrip for the loaded file from a worker thread of its own.
// First the whole file's overview (a waveform of ~2000 bins, a key frame's thumbnail for each
// place in the strip, then, where that is cheap, the very picture of each place whose key frame
// lies well before it), from the cache when it holds it (read by the worker, shown as soon as
// it is read) and kept there when computed; then, as the view changes, finer waveform bins and
// thumbnails for the part in view (the exact pictures once the view shows few of them). The
// sound is decoded once: its summary at a fine grain serves every zoom (when the overview came
// from the cache, the stretches in view are read as they are asked for, each once).
//
// Threads: the feeder lives on the window's thread and is the only one to touch the strip.
// The worker takes tasks from a queue and hands results back through another (BoundedQueue), each with its
// own lock; a queued call tells the window's thread to take them. Loading another file, or a
// new view, sets the cancel flags of the work it makes stale; the destructor stops and joins.
#pragma once

#include <QImage>
#include <QObject>
#include <QString>
#include <atomic>
#include <deque>
#include <memory>
#include <thread>

#include "controls/timeline_strip.h"
#include "engine/bounded_queue.h"
#include "engine/timeline.h"
#include "ui/timeline_cache.h"

namespace ulvane {

class TimelineFeeder : public QObject {
    Q_OBJECT

public:
    struct Source {
        QString path;
        qint64 durationMicros = 0;
        int width = 0, height = 0;  // the pictures' shape as shown (0: no pictures)
        double rate = 25.0;         // pictures a second
        bool hasSound = false;
    };

    // `cacheFolder` "" keeps no cache.
    TimelineFeeder(TimelineStrip* strip, const QString& cacheFolder, QObject* parent = nullptr);
    ~TimelineFeeder() override;

    // The strip shows `source` (its overview from the cache when kept there); the work for the
    // file before stops.
    void Load(const Source& source);
    // The strip shows nothing; every task stops.
    void Unload();
    // Whether the overview shown came from the cache (known once the worker read it), and
    // whether work is still queued or running.
    bool overviewFromCache() const { return fromCache_; }
    bool idle() const;

private:
    struct Task {
        enum Kind { kOverview, kDetail } kind = kOverview;
        quint64 generation = 0;
        Source source;
        int thumbHeight = 0, stripWidth = 0;
        qint64 viewStart = 0, viewEnd = 0;
    };
    struct Result {
        enum Kind { kOverviewLevels, kDetailLevels, kPicture, kProgress, kFromCache } kind = kProgress;
        quint64 generation = 0;
        TimelineStrip::Levels levels;
        QImage picture;
        qint64 micros = 0;
        double progress = -1;
    };

    void OnView(qint64 start, qint64 end, int pixelWidth);
    void Run();
    void RunOverview(const Task& t);
    // Shows the overview the cache keeps for the task's file; false when there is none.
    bool OverviewFromCache(const Task& t);
    // Adds to `kept`, and shows, the very pictures of the places `times` whose key frames
    // `shown` lie well before them.
    void RefineOverview(const Task& t, const std::vector<int64_t>& times, const std::vector<int64_t>& shown,
                        TimelineOverview& kept);
    void RunDetail(const Task& t);
    void Post(Result r);
    void TakeResults();
    // The grain the sound is summarised at, and the overview's bins (a power of two grains).
    static qint64 Grain(qint64 duration);
    static qint64 OverviewBin(qint64 duration);

    TimelineStrip* strip_;
    TimelineCache cache_;
    Source source_;  // the window's thread's
    bool fromCache_ = false;
    quint64 generation_ = 0;  // the window's thread's count of loads

    mutable BoundedQueue<Task> tasks_;  // stopped when the feeder goes
    bool running_ = false;              // under tasks_'s lock: a task is in work
    std::atomic<bool> cancelOverview_{false}, cancelDetail_{false};

    BoundedQueue<Result> results_;

    // The worker's own: the loaded file's sound summarised so far, for load `summaryGeneration_`.
    SoundSummary summary_;
    quint64 summaryGeneration_ = 0;

    std::thread worker_;
};

}  // namespace ulvane
