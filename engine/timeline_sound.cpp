// The timeline's waveform: peak and RMS of the main sound per bin, the channels mixed, kept as
// a summary at a fine grain and reduced for the bins shown. The sound is read in parts by a
// few threads at once where the file allows (sound_parts.h); the parts' grains are merged as
// they come. A stretch alone is read with a seek, its grains clipped to the stretch, so that
// stretches read apart add up to what one pass gives.
//
// A sample lands in a bin by its time: a frame at 1.5 s of 48 kHz sound starts at sample
// 72000; with 10 ms bins (480 samples each) that is bin 150, and its 1024 samples fill bins
// 150 and 151 and 64 samples of 152.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>

#include "engine/sound_parts.h"
#include "engine/timeline.h"

namespace ulvane {

namespace {

constexpr int kMarks = 50;  // a single pass shows what it has every fiftieth of the file
constexpr auto kProgressEvery = std::chrono::seconds(2);

// Sums of a run of bins, from `first` on.
struct Bins {
    int64_t first = 0;
    std::vector<double> sumSquares;
    std::vector<int64_t> count;
    std::vector<float> peak;

    void Add(int64_t bin, float peakValue, double squares, int64_t n) {
        if (sumSquares.empty()) first = bin;
        if (bin < first) {  // rare: a frame earlier than the ones before
            const size_t grow = static_cast<size_t>(first - bin);
            sumSquares.insert(sumSquares.begin(), grow, 0.0);
            count.insert(count.begin(), grow, 0);
            peak.insert(peak.begin(), grow, 0.f);
            first = bin;
        }
        const size_t i = static_cast<size_t>(bin - first);
        if (i >= sumSquares.size()) {
            sumSquares.resize(i + 1, 0.0);
            count.resize(i + 1, 0);
            peak.resize(i + 1, 0.f);
        }
        sumSquares[i] += squares;
        count[i] += n;
        peak[i] = std::max(peak[i], peakValue);
    }
    bool empty() const { return sumSquares.empty(); }
};

// The frame's samples, the channels averaged, as -1..1.
template <typename T>
void Mix(const AVFrame& f, int channels, bool planar, float scale, float offset, std::vector<float>& mixed) {
    const int n = f.nb_samples;
    mixed.assign(static_cast<size_t>(n), 0.f);
    const float s = scale / static_cast<float>(channels);
    for (int c = 0; c < channels; ++c) {
        const T* p =
            planar ? reinterpret_cast<const T*>(f.extended_data[c]) : reinterpret_cast<const T*>(f.data[0]) + c;
        const int step = planar ? 1 : channels;
        for (int i = 0; i < n; ++i) mixed[static_cast<size_t>(i)] += (static_cast<float>(p[i * step]) - offset) * s;
    }
}

bool MixFrame(const AVFrame& f, std::vector<float>& mixed) {
    const int channels = f.ch_layout.nb_channels;
    if (channels <= 0 || f.nb_samples <= 0) return false;
    const auto format = static_cast<AVSampleFormat>(f.format);
    const bool planar = av_sample_fmt_is_planar(format);
    switch (av_get_packed_sample_fmt(format)) {
        case AV_SAMPLE_FMT_U8:
            Mix<uint8_t>(f, channels, planar, 1.f / 128, 128.f, mixed);
            return true;
        case AV_SAMPLE_FMT_S16:
            Mix<int16_t>(f, channels, planar, 1.f / 32768, 0.f, mixed);
            return true;
        case AV_SAMPLE_FMT_S32:
            Mix<int32_t>(f, channels, planar, 1.f / 2147483648.f, 0.f, mixed);
            return true;
        case AV_SAMPLE_FMT_S64:
            Mix<int64_t>(f, channels, planar, 1.f / 9.223372e18f, 0.f, mixed);
            return true;
        case AV_SAMPLE_FMT_FLT:
            Mix<float>(f, channels, planar, 1.f, 0.f, mixed);
            return true;
        case AV_SAMPLE_FMT_DBL:
            Mix<double>(f, channels, planar, 1.f, 0.f, mixed);
            return true;
        default:
            return false;
    }
}

// Adds frames' samples to bins by their times; only to bins [lo, hi).
class BinPlacer {
public:
    explicit BinPlacer(int64_t binMicros, int64_t lo = 0, int64_t hi = std::numeric_limits<int64_t>::max())
        : binMicros_(binMicros), lo_(lo), hi_(hi) {}

    void Place(const AVFrame& f, int64_t t, Bins& bins) {
        const int64_t rate = f.sample_rate;
        if (rate <= 0 || !MixFrame(f, mixed_)) return;
        // Sample numbers on the file's timeline; bin k holds samples [k, k+1) * binMicros * rate / 1e6.
        const int64_t first = av_rescale(t, rate, 1'000'000);
        const int64_t binSpan = binMicros_ * rate;  // a bin's length in millionths of a sample
        int64_t i = std::max<int64_t>(0, -first);   // samples before the file's start are not shown
        const int64_t n = static_cast<int64_t>(mixed_.size());
        while (i < n) {
            const int64_t s = first + i;
            const int64_t bin = FloorDiv(s * 1'000'000, binSpan);
            const int64_t binEnd = ((bin + 1) * binSpan + 999'999) / 1'000'000;  // first sample of the next bin
            const int64_t stop = std::min(n, binEnd - first);
            if (bin >= hi_) break;
            if (bin < lo_) {
                i = std::max(stop, i + 1);
                continue;
            }
            float peak = 0.f;
            double squares = 0;
            for (int64_t j = i; j < stop; ++j) {
                const float v = mixed_[static_cast<size_t>(j)];
                peak = std::max(peak, std::fabs(v));
                squares += static_cast<double>(v) * v;
            }
            bins.Add(bin, std::min(peak, 1.f), squares, stop - i);
            i = std::max(stop, i + 1);
        }
    }

private:
    int64_t binMicros_, lo_, hi_;
    std::vector<float> mixed_;
};

// Frames that start this long before a stretch may still reach into it.
constexpr int64_t kFrameReach = 500000;

// Adds the samples of [from, to) (kFromStart, kToEnd: open) to `bins` of `grain`, clipped to
// the stretch's grains, from the frames that reach into it. Stretches read apart so add up to
// one pass even where their readers cut the sound into frames differently (PCM's packets
// start wherever a seek lands).
Status ReadStretch(SoundReader& reader, int64_t grain, int64_t from, int64_t to, Bins& bins,
                   const std::function<void()>& tick) {
    const bool open = from == SoundReader::kFromStart;
    BinPlacer placer(grain, open ? std::numeric_limits<int64_t>::min() : FloorDiv(from, grain),
                     to == SoundReader::kToEnd ? std::numeric_limits<int64_t>::max() : FloorDiv(to, grain));
    return reader.Decode(
        open || from <= 0 ? SoundReader::kFromStart : from - kFrameReach, to,
        [&](const AVFrame& f, int64_t t) { placer.Place(f, t, bins); }, [&](int64_t) { tick(); });
}

// Opens `reader` on `path` for grains of `grain`; false with `error` otherwise.
bool OpenReader(SoundReader& reader, const std::string& path, int64_t grain, std::string& error) {
    if (grain <= 0) {
        error = "the bins have no length";
        return false;
    }
    if (Status s = reader.Open(path); !s.ok()) {
        error = s.reason();
        return false;
    }
    return true;
}

}  // namespace

// The summary's filling, for the functions below.
struct SummaryAccess {
    static void Init(SoundSummary& s, int64_t grain, int64_t duration) {
        s = SoundSummary{};
        s.grain_ = grain;
        s.duration_ = std::max<int64_t>(duration, 0);
        s.chunkGrains_ = std::max<int64_t>(1, (SoundSummary::kChunkMicros + grain - 1) / grain);
        const size_t grains = static_cast<size_t>((s.duration_ + grain - 1) / grain);
        s.peak_.assign(grains, 0.f);
        s.squares_.assign(grains, 0.f);
        s.count_.assign(grains, 0);
        s.chunks_.assign(static_cast<size_t>((static_cast<int64_t>(grains) + s.chunkGrains_ - 1) / s.chunkGrains_),
                         false);
    }
    static void Merge(SoundSummary& s, const Bins& b) {
        if (b.empty()) return;
        const int64_t last = b.first + static_cast<int64_t>(b.sumSquares.size());
        if (last <= 0) return;
        if (static_cast<int64_t>(s.peak_.size()) < last) {  // sound past the stated length
            s.peak_.resize(static_cast<size_t>(last), 0.f);
            s.squares_.resize(static_cast<size_t>(last), 0.f);
            s.count_.resize(static_cast<size_t>(last), 0);
        }
        for (size_t j = 0; j < b.sumSquares.size(); ++j) {
            const int64_t grain = b.first + static_cast<int64_t>(j);
            if (grain < 0) continue;
            const size_t i = static_cast<size_t>(grain);
            s.squares_[i] = static_cast<float>(s.squares_[i] + b.sumSquares[j]);
            s.count_[i] += static_cast<uint32_t>(b.count[j]);
            s.peak_[i] = std::max(s.peak_[i], b.peak[j]);
        }
    }
    static void MarkWhole(SoundSummary& s) { std::fill(s.chunks_.begin(), s.chunks_.end(), true); }
    static void Mark(SoundSummary& s, size_t c0, size_t c1) {
        for (size_t c = c0; c < c1 && c < s.chunks_.size(); ++c) s.chunks_[c] = true;
    }
    static int64_t chunkGrains(const SoundSummary& s) { return s.chunkGrains_; }
    static const std::vector<bool>& chunks(const SoundSummary& s) { return s.chunks_; }
};

bool SoundSummary::Covers(int64_t fromMicros, int64_t toMicros) const {
    if (grain_ <= 0) return false;
    const int64_t from = std::max<int64_t>(fromMicros, 0), to = std::min(toMicros, duration_);
    if (to <= from) return true;  // nothing of the file in it
    const int64_t c0 = from / grain_ / chunkGrains_, c1 = (to - 1) / grain_ / chunkGrains_;
    for (int64_t c = c0; c <= c1; ++c)
        if (c >= static_cast<int64_t>(chunks_.size()) || !chunks_[static_cast<size_t>(c)]) return false;
    return true;
}

Waveform SoundSummary::Reduce(int64_t binMicros, int64_t fromMicros, int64_t toMicros) const {
    Waveform w;
    if (grain_ <= 0) return w;
    // A 40 ms bin over 10 ms grains takes 4 of them: bin k is grains [4k, 4k + 4).
    const int64_t per = std::max<int64_t>(1, binMicros / grain_);
    const int64_t bin = per * grain_;
    const int64_t grains = static_cast<int64_t>(peak_.size());
    const int64_t to = std::min(toMicros, grains * grain_);
    const int64_t b0 = std::max<int64_t>(fromMicros, 0) / bin;
    const int64_t b1 = std::max(b0, (to + bin - 1) / bin);
    w.binMicros = bin;
    w.fromMicros = b0 * bin;
    w.peak.reserve(static_cast<size_t>(b1 - b0));
    w.rms.reserve(static_cast<size_t>(b1 - b0));
    for (int64_t b = b0; b < b1; ++b) {
        float peak = 0.f;
        double squares = 0;
        uint64_t count = 0;
        for (int64_t g = b * per; g < std::min(grains, (b + 1) * per); ++g) {
            const size_t i = static_cast<size_t>(g);
            peak = std::max(peak, peak_[i]);
            squares += squares_[i];
            count += count_[i];
        }
        w.peak.push_back(peak);
        w.rms.push_back(count ? static_cast<float>(std::sqrt(squares / static_cast<double>(count))) : 0.f);
    }
    return w;
}

bool SummariseSound(const std::string& path, int64_t grainMicros, const std::atomic<bool>& cancel,
                    const std::function<void(const SoundSummary&, double)>& progress, SoundSummary& out,
                    std::string& error) {
    out = SoundSummary{};
    SoundReader first(&cancel);
    if (!OpenReader(first, path, grainMicros, error)) return false;
    const int64_t duration = first.input().durationMicros();
    SummaryAccess::Init(out, grainMicros, duration);
    auto lastShown = std::chrono::steady_clock::now();
    auto report = [&](double done) {
        lastShown = std::chrono::steady_clock::now();
        if (progress) progress(out, done);
    };
    const int parts = SoundPartCount(first.input());
    if (parts == 1) {
        // One pass; what is read so far is shown every fiftieth of the file or two seconds.
        BinPlacer placer(grainMicros);
        Bins bins;
        int64_t nextMark = duration > 0 ? duration / kMarks : SoundReader::kToEnd;
        first.Decode(
            SoundReader::kFromStart, SoundReader::kToEnd,
            [&](const AVFrame& f, int64_t t) { placer.Place(f, t, bins); },
            [&](int64_t t) {
                if (t < nextMark && std::chrono::steady_clock::now() - lastShown < kProgressEvery) return;
                while (t >= nextMark) nextMark += std::max<int64_t>(duration / kMarks, 1);
                SummaryAccess::Merge(out, bins);
                bins = Bins{};
                report(duration > 0 ? std::clamp(static_cast<double>(t) / static_cast<double>(duration), 0.0, 1.0) : 0);
            });
        SummaryAccess::Merge(out, bins);
    } else {
        // A part that cannot be read (a damaged file: it has an index of its sound) stays silent.
        int done = 0;
        ReadSoundParts<Bins>(
            path, first, parts, &cancel,
            [&](SoundReader& reader, int p, const std::function<void()>& tick) {
                const auto [from, to] = SoundPartRange(p, parts, duration, grainMicros);
                Bins bins;
                ReadStretch(reader, grainMicros, from, to, bins, tick);
                return bins;
            },
            [&](std::vector<std::pair<int, Bins>>& ready) {
                for (const auto& [p, bins] : ready) SummaryAccess::Merge(out, bins);
                done += static_cast<int>(ready.size());
                report(static_cast<double>(done) / parts);
            });
    }
    if (!cancel.load(std::memory_order_relaxed)) SummaryAccess::MarkWhole(out);
    report(1.0);
    return true;
}

bool SummariseSoundRange(const std::string& path, int64_t grainMicros, int64_t fromMicros, int64_t toMicros,
                         const std::atomic<bool>& cancel, SoundSummary& summary, std::string& error) {
    SoundReader reader(&cancel);
    if (!OpenReader(reader, path, grainMicros, error)) return false;
    const int64_t duration = reader.input().durationMicros();
    if (duration <= 0) {
        error = "the file does not say how long it is";
        return false;
    }
    if (summary.grainMicros() != grainMicros || summary.durationMicros() != duration)
        SummaryAccess::Init(summary, grainMicros, duration);
    const int64_t chunkMicros = SummaryAccess::chunkGrains(summary) * grainMicros;
    const std::vector<bool>& held = SummaryAccess::chunks(summary);
    const size_t c0 = static_cast<size_t>(std::clamp<int64_t>(fromMicros, 0, duration) / chunkMicros);
    const size_t c1 = std::min(
        held.size(), static_cast<size_t>((std::clamp<int64_t>(toMicros, 0, duration) + chunkMicros - 1) / chunkMicros));
    for (size_t c = c0; c < c1;) {
        if (held[c]) {
            ++c;
            continue;
        }
        size_t end = c;
        while (end < c1 && !held[end]) ++end;
        // Chunks [c, end): their grains only, from the frames that reach into them; the last
        // chunk takes what lies past the stated length too.
        const int64_t a = c == 0 ? SoundReader::kFromStart : static_cast<int64_t>(c) * chunkMicros;
        const int64_t b = end == held.size() ? SoundReader::kToEnd : static_cast<int64_t>(end) * chunkMicros;
        Bins bins;
        const Status st = ReadStretch(reader, grainMicros, a, b, bins, [] {});
        if (cancel.load(std::memory_order_relaxed)) return true;
        if (!st.ok()) {
            error = st.reason();
            return false;
        }
        SummaryAccess::Merge(summary, bins);
        SummaryAccess::Mark(summary, c, end);
        c = end;
    }
    return true;
}

bool ComputeWaveform(const std::string& path, int64_t binMicros, const std::atomic<bool>& cancel,
                     const std::function<void(const Waveform&)>& progress, Waveform& out, std::string& error) {
    out = Waveform{};
    SoundSummary summary;
    const auto whole = [&](const SoundSummary& s) {
        return s.Reduce(binMicros, 0, std::numeric_limits<int64_t>::max());
    };
    if (!SummariseSound(
            path, binMicros, cancel,
            [&](const SoundSummary& s, double) {
                if (progress) progress(whole(s));
            },
            summary, error))
        return false;
    out = whole(summary);
    return true;
}

}  // namespace ulvane
