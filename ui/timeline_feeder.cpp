// The timeline feeder: its task queue, the worker's two kinds of work and the hand-over of
// what they find to the strip.
//
// Bins: a 40-minute file (2,400 s) is summarised at grains of 1.2 ms (2,400 s over 2 million)
// and gets overview bins of 1024 grains (1.23 s, the first power of two past 2,400 s / 2,000).
// Zoomed to 60 s on 1,200 px (50 ms a column) the overview is too coarse, and the detail
// levels take the largest power of two grains within a column: 32 grains, 38.4 ms.
#include "ui/timeline_feeder.h"

#include <QMetaObject>
#include <QScreen>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <limits>
#include <utility>

#include "engine/timeline.h"

namespace ulvane {

namespace {

constexpr int kOverviewBins = 2000;
constexpr qint64 kFinestBinMicros = 1000;
constexpr qint64 kMostFineBins = 2000000;  // a bound on the worker's memory for long files
constexpr auto kPostEvery = std::chrono::milliseconds(200);
// The most an overview decodes to give its places their very pictures: about 12 s of 1080p at
// 25 pictures a second (a second or two of work), so that the view's own work soon follows.
constexpr double kMostRefinedPixels = 6e8;

TimelineStrip::Levels LevelsOf(const Waveform& w) {
    TimelineStrip::Levels l;
    l.fromMicros = w.fromMicros;
    l.binMicros = w.binMicros;
    l.peak = w.peak;
    l.rms = w.rms;
    return l;
}

QImage ImageOf(const Thumbnail& t) {
    if (t.width <= 0 || t.height <= 0 || t.rgb.size() < size_t(t.width) * size_t(t.height) * 3) return {};
    return QImage(t.rgb.data(), t.width, t.height, t.width * 3, QImage::Format_RGB888).copy();
}

int ThumbWidth(const TimelineFeeder::Source& s, int height) {
    if (s.width <= 0 || s.height <= 0) return height * 16 / 9;
    return std::max(8, height * s.width / s.height);
}

}  // namespace

TimelineFeeder::TimelineFeeder(TimelineStrip* strip, const QString& cacheFolder, QObject* parent)
    : QObject(parent), strip_(strip), cache_(cacheFolder) {
    connect(strip_, &TimelineStrip::viewChanged, this, &TimelineFeeder::OnView);
    worker_ = std::thread([this] { Run(); });
}

TimelineFeeder::~TimelineFeeder() {
    cancelOverview_.store(true);
    cancelDetail_.store(true);
    tasks_.Stop();
    worker_.join();
}

qint64 TimelineFeeder::Grain(qint64 duration) {
    return std::max<qint64>(kFinestBinMicros, (duration + kMostFineBins - 1) / kMostFineBins);
}

qint64 TimelineFeeder::OverviewBin(qint64 duration) {
    qint64 bin = Grain(duration);
    while (bin < duration / kOverviewBins) bin *= 2;
    return bin;
}

void TimelineFeeder::Load(const Source& source) {
    source_ = source;
    ++generation_;
    tasks_.With([this](std::deque<Task>& q) {
        q.clear();
        cancelOverview_.store(true);
        cancelDetail_.store(true);
    });
    fromCache_ = false;
    strip_->SetFrameRate(source.rate);
    strip_->SetLength(source.durationMicros);  // the view shows the whole file
    if (source.path.isEmpty() || source.durationMicros <= 0) return;
    Task t;
    t.kind = Task::kOverview;
    t.generation = generation_;
    t.source = source;
    t.thumbHeight = std::max(16, strip_->ThumbnailRow().height());
    // Places for the widest the strip can grow to: a file opened before the window is
    // shown, or a window widened later, still gets a picture for each place it draws.
    const QScreen* screen = strip_->screen();
    t.stripWidth = std::max({strip_->width(), screen ? screen->availableGeometry().width() : 0, 64});
    tasks_.With([&](std::deque<Task>& q) { q.push_front(t); });
    strip_->SetProgress(0);
    OnView(strip_->viewStart(), strip_->viewEnd(), strip_->width());
}

void TimelineFeeder::Unload() {
    Load(Source{});
}

bool TimelineFeeder::idle() const {
    return tasks_.With([this](std::deque<Task>& q) { return q.empty() && !running_; });
}

void TimelineFeeder::OnView(qint64 start, qint64 end, int pixelWidth) {
    if (source_.path.isEmpty() || source_.durationMicros <= 0 || pixelWidth <= 0 || end <= start) return;
    // Detail only where the overview is too coarse: finer bins than a column, or thumbnails
    // of a part of the file.
    const qint64 span = end - start;
    const bool finerSound = source_.hasSound && span / pixelWidth < OverviewBin(source_.durationMicros) / 2;
    const bool finerPictures = source_.width > 0 && span < source_.durationMicros * 3 / 4;
    Task t;
    t.kind = Task::kDetail;
    t.generation = generation_;
    t.source = source_;
    t.thumbHeight = std::max(16, strip_->ThumbnailRow().height());
    t.stripWidth = pixelWidth;
    t.viewStart = start;
    t.viewEnd = end;
    tasks_.With([&](std::deque<Task>& q) {
        std::erase_if(q, [](const Task& queued) { return queued.kind == Task::kDetail; });
        cancelDetail_.store(true);  // the view the running one is for is no longer shown
        if (finerSound || finerPictures) q.push_back(t);
    });
}

void TimelineFeeder::Run() {
    Task t;
    // Taken, the task is in work at once: idle() sees either the task queued or running_.
    while (tasks_.When([](const std::deque<Task>& q) { return !q.empty(); },
                       [&](std::deque<Task>& q) {
                           t = std::move(q.front());
                           q.pop_front();
                           running_ = true;
                           (t.kind == Task::kOverview ? cancelOverview_ : cancelDetail_).store(false);
                       })) {
        if (t.kind == Task::kOverview)
            RunOverview(t);
        else
            RunDetail(t);
        tasks_.With([this](std::deque<Task>&) { running_ = false; });
    }
}

bool TimelineFeeder::OverviewFromCache(const Task& t) {
    std::optional<TimelineOverview> kept = cache_.Read(t.source.path);
    if (!kept) return false;
    if (cancelOverview_.load()) return true;  // another file is loaded: nothing to show
    Post({Result::kOverviewLevels, t.generation, std::move(kept->levels), {}, 0, -1});
    for (TimelineOverview::Picture& p : kept->pictures)
        Post({Result::kPicture, t.generation, {}, std::move(p.image), p.micros, -1});
    Post({Result::kFromCache, t.generation, {}, {}, 0, -1});
    return true;
}

void TimelineFeeder::RunOverview(const Task& t) {
    if (OverviewFromCache(t)) return;
    const std::string path = t.source.path.toStdString();
    const bool pictures = t.source.width > 0;
    const double soundShare = pictures ? 0.5 : 1.0;
    TimelineOverview kept;
    std::string error;
    if (t.source.hasSound) {
        auto last = std::chrono::steady_clock::now();
        const qint64 bin = OverviewBin(t.source.durationMicros);
        const auto whole = [&](const SoundSummary& s) {
            return LevelsOf(s.Reduce(bin, 0, std::numeric_limits<qint64>::max()));
        };
        const auto growing = [&](const SoundSummary& so_far, double done) {
            const auto now = std::chrono::steady_clock::now();
            if (now - last < kPostEvery) return;
            last = now;
            Post({Result::kOverviewLevels, t.generation, whole(so_far), {}, 0, -1});
            Post({Result::kProgress, t.generation, {}, {}, 0, soundShare * done});
        };
        SoundSummary summary;
        if (SummariseSound(path, Grain(t.source.durationMicros), cancelOverview_, growing, summary, error) &&
            !cancelOverview_.load()) {
            kept.levels = whole(summary);
            Post({Result::kOverviewLevels, t.generation, kept.levels, {}, 0, -1});
            // Every zoom of this file is reduced from it from now on.
            summary_ = std::move(summary);
            summaryGeneration_ = t.generation;
        }
    }
    if (cancelOverview_.load()) return;
    if (pictures) {
        // A key frame's picture for each place in the strip, asked at the place's middle.
        const int places = std::clamp(
            (t.stripWidth + ThumbWidth(t.source, t.thumbHeight) - 1) / ThumbWidth(t.source, t.thumbHeight), 4, 400);
        std::vector<int64_t> times;
        for (int i = 0; i < places; ++i)
            times.push_back(static_cast<int64_t>((i + 0.5) * t.source.durationMicros / places));
        size_t made = 0;
        std::vector<int64_t> shown(times.size(), -1);  // each place's key frame
        ComputeThumbnails(
            path, times, t.thumbHeight, false, cancelOverview_,
            [&](Thumbnail&& th) {
                QImage image = ImageOf(th);
                if (made < shown.size()) shown[made] = th.shownMicros;
                ++made;
                if (image.isNull()) return;
                if (kept.pictures.empty() || kept.pictures.back().micros != th.shownMicros)
                    kept.pictures.push_back({th.shownMicros, image});
                Post({Result::kPicture, t.generation, {}, image, th.shownMicros, -1});
                Post({Result::kProgress,
                      t.generation,
                      {},
                      {},
                      0,
                      soundShare + (1 - soundShare) * double(made) / double(times.size())});
            },
            error);
        if (!cancelOverview_.load()) RefineOverview(t, times, shown, kept);
    }
    if (cancelOverview_.load()) return;
    Post({Result::kProgress, t.generation, {}, {}, 0, -1});
    if (!kept.levels.peak.empty() || !kept.pictures.empty()) cache_.Write(t.source.path, kept);
}

void TimelineFeeder::RefineOverview(const Task& t, const std::vector<int64_t>& times, const std::vector<int64_t>& shown,
                                    TimelineOverview& kept) {
    // A place shows its key frame's picture, which may lie well before the place's middle or
    // in an earlier place: in a short clip, or a file of long groups of pictures (a phone's, a
    // screen recording's), most places do. Each place whose key frame is more than a quarter
    // of a place before its middle gets its very picture, the farthest first, as far as
    // decoding on from those key frames costs little.
    const double placeMicros = static_cast<double>(t.source.durationMicros) / std::max<size_t>(times.size(), 1);
    std::vector<std::pair<int64_t, int64_t>> far;  // how far its key frame lies before it, and the place
    for (size_t i = 0; i < times.size() && i < shown.size(); ++i)
        if (shown[i] >= 0 && static_cast<double>(times[i] - shown[i]) > placeMicros / 4)
            far.emplace_back(times[i] - shown[i], times[i]);
    std::sort(far.begin(), far.end(), std::greater<>());
    const double pixelsPerMicro = t.source.rate * t.source.width * t.source.height / 1e6;
    double cost = 0;  // pixels of the pictures decoded
    std::vector<int64_t> stale;
    for (const auto& [distance, at] : far) {
        cost += static_cast<double>(distance) * pixelsPerMicro;
        if (cost > kMostRefinedPixels) break;
        stale.push_back(at);
    }
    if (stale.empty()) return;
    std::sort(stale.begin(), stale.end());
    std::string error;
    ComputeThumbnails(
        t.source.path.toStdString(), stale, t.thumbHeight, true, cancelOverview_,
        [&](Thumbnail&& th) {
            QImage image = ImageOf(th);
            if (image.isNull()) return;
            const qint64 micros = th.shownMicros;
            auto at = std::lower_bound(kept.pictures.begin(), kept.pictures.end(), micros,
                                       [](const TimelineOverview::Picture& p, qint64 m) { return p.micros < m; });
            if (at != kept.pictures.end() && at->micros == micros) return;  // a key frame's, already there
            kept.pictures.insert(at, {micros, image});
            Post({Result::kPicture, t.generation, {}, image, micros, -1});
        },
        error);
}

void TimelineFeeder::RunDetail(const Task& t) {
    const std::string path = t.source.path.toStdString();
    const qint64 span = t.viewEnd - t.viewStart;
    const qint64 column = span / std::max(t.stripWidth, 1);
    const qint64 overviewBin = OverviewBin(t.source.durationMicros);
    // Levels for a page either side too, so a small scroll finds them there.
    const qint64 from = t.viewStart - span, to = t.viewEnd + span;
    if (t.source.hasSound && column < overviewBin / 2) {
        const qint64 grain = Grain(t.source.durationMicros);
        qint64 bin = grain;
        while (bin * 2 <= column) bin *= 2;
        if (summaryGeneration_ != t.generation) {  // the overview came from the cache
            summary_ = SoundSummary{};
            summaryGeneration_ = t.generation;
        }
        // Only the stretches not read yet are read, each from a seek there: the view first, then
        // a page either side. A file that cannot be read so is read whole, once.
        bool shown = false;
        for (const auto& [a, b] : {std::pair{t.viewStart, t.viewEnd}, std::pair{from, to}}) {
            if (summary_.Covers(a, b)) continue;
            std::string error;
            if (!SummariseSoundRange(path, grain, a, b, cancelDetail_, summary_, error) &&
                !SummariseSound(path, grain, cancelOverview_, {}, summary_, error))
                return;
            if (cancelDetail_.load() || cancelOverview_.load()) return;
            Post({Result::kDetailLevels, t.generation, LevelsOf(summary_.Reduce(bin, a, b)), {}, 0, -1});
            shown = true;
        }
        if (!shown) Post({Result::kDetailLevels, t.generation, LevelsOf(summary_.Reduce(bin, from, to)), {}, 0, -1});
    }
    if (cancelDetail_.load() || t.source.width <= 0 || span >= t.source.durationMicros * 3 / 4) return;
    // A thumbnail for each place the strip draws one, at its middle; the very picture there
    // once the view shows no more than three pictures a place.
    const int place = ThumbWidth(t.source, t.thumbHeight);
    const double placeMicros = static_cast<double>(span) * place / std::max(t.stripWidth, 1);
    std::vector<int64_t> times;
    for (double at = static_cast<double>(t.viewStart) + placeMicros / 2; at < static_cast<double>(t.viewEnd);
         at += placeMicros)
        times.push_back(static_cast<int64_t>(at));
    const bool exact = placeMicros * t.source.rate / 1e6 <= 3.0;
    std::string error;
    ComputeThumbnails(
        path, times, t.thumbHeight, exact, cancelDetail_,
        [&](Thumbnail&& th) {
            QImage image = ImageOf(th);
            if (!image.isNull()) Post({Result::kPicture, t.generation, {}, image, th.shownMicros, -1});
        },
        error);
}

void TimelineFeeder::Post(Result r) {
    const bool first = results_.With([&](std::deque<Result>& q) {
        q.push_back(std::move(r));
        return q.size() == 1;
    });
    // One call takes everything posted until it runs.
    if (first) QMetaObject::invokeMethod(this, &TimelineFeeder::TakeResults, Qt::QueuedConnection);
}

void TimelineFeeder::TakeResults() {
    std::deque<Result> taken;
    results_.With([&](std::deque<Result>& q) { taken.swap(q); });
    for (Result& r : taken) {
        if (r.generation != generation_) continue;  // for a file no longer loaded
        switch (r.kind) {
            case Result::kOverviewLevels:
                strip_->SetOverviewLevels(std::move(r.levels));
                break;
            case Result::kDetailLevels:
                strip_->SetDetailLevels(std::move(r.levels));
                break;
            case Result::kPicture:
                strip_->AddThumbnail(r.picture, r.micros);
                break;
            case Result::kProgress:
                strip_->SetProgress(r.progress);
                break;
            case Result::kFromCache:
                fromCache_ = true;
                strip_->SetProgress(-1);
                break;
        }
    }
}

}  // namespace ulvane
