// The timeline's waveform: peak and RMS of the main sound per bin, the channels mixed. The
// sound is read in parts by a few threads at once where the file allows (sound_parts.h); the
// parts' bins are merged as they come.
//
// A sample lands in a bin by its time: a frame at 1.5 s of 48 kHz sound starts at sample
// 72000; with 10 ms bins (480 samples each) that is bin 150, and its 1024 samples fill bins
// 150 and 151 and 64 samples of 152.
#include <algorithm>
#include <chrono>
#include <cmath>

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

// The whole waveform's sums beside the levels handed out.
struct Total {
    Bins sums;  // from bin 0
    Waveform& out;

    void Merge(const Bins& b) {
        if (b.empty()) return;
        const int64_t last = b.first + static_cast<int64_t>(b.sumSquares.size());
        if (last <= 0) return;
        if (static_cast<int64_t>(sums.sumSquares.size()) < last) {
            sums.sumSquares.resize(static_cast<size_t>(last), 0.0);
            sums.count.resize(static_cast<size_t>(last), 0);
            out.peak.resize(static_cast<size_t>(last), 0.f);
            out.rms.resize(static_cast<size_t>(last), 0.f);
        }
        for (size_t j = 0; j < b.sumSquares.size(); ++j) {
            const int64_t bin = b.first + static_cast<int64_t>(j);
            if (bin < 0) continue;
            const size_t i = static_cast<size_t>(bin);
            sums.sumSquares[i] += b.sumSquares[j];
            sums.count[i] += b.count[j];
            out.peak[i] = std::max(out.peak[i], b.peak[j]);
            out.rms[i] = sums.count[i] ? static_cast<float>(std::sqrt(sums.sumSquares[i] / sums.count[i])) : 0.f;
        }
    }
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

// Adds frames' samples to bins by their times.
class BinPlacer {
public:
    explicit BinPlacer(int64_t binMicros) : binMicros_(binMicros) {}

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
    int64_t binMicros_;
    std::vector<float> mixed_;
};

}  // namespace

bool ComputeWaveform(const std::string& path, int64_t binMicros, const std::atomic<bool>& cancel,
                     const std::function<void(const Waveform&)>& progress, Waveform& out, std::string& error) {
    out = Waveform{};
    if (binMicros <= 0) {
        error = "the bins have no length";
        return false;
    }
    out.binMicros = binMicros;
    SoundReader first(&cancel);
    if (Status s = first.Open(path); !s.ok()) {
        error = s.reason();
        return false;
    }
    const int64_t duration = first.input().durationMicros();
    Total total{{}, out};
    auto lastShown = std::chrono::steady_clock::now();
    auto report = [&] {
        lastShown = std::chrono::steady_clock::now();
        if (progress) progress(out);
    };
    const int parts = SoundPartCount(first.input());
    if (parts == 1) {
        // One pass; what is read so far is shown every fiftieth of the file or two seconds.
        BinPlacer placer(binMicros);
        Bins bins;
        int64_t nextMark = duration > 0 ? duration / kMarks : SoundReader::kToEnd;
        first.Decode(
            SoundReader::kFromStart, SoundReader::kToEnd,
            [&](const AVFrame& f, int64_t t) { placer.Place(f, t, bins); },
            [&](int64_t t) {
                if (t < nextMark && std::chrono::steady_clock::now() - lastShown < kProgressEvery) return;
                while (t >= nextMark) nextMark += std::max<int64_t>(duration / kMarks, 1);
                total.Merge(bins);
                bins = Bins{};
                report();
            });
        total.Merge(bins);
    } else {
        // A part that cannot be read (a damaged file: it has an index of its sound) stays silent.
        ReadSoundParts<Bins>(
            path, first, parts, &cancel,
            [&](SoundReader& reader, int p, const std::function<void()>& tick) {
                const auto [from, to] = SoundPartRange(p, parts, duration, binMicros);
                BinPlacer placer(binMicros);
                Bins bins;
                reader.Decode(
                    from, to, [&](const AVFrame& f, int64_t t) { placer.Place(f, t, bins); }, [&](int64_t) { tick(); });
                return bins;
            },
            [&](std::vector<std::pair<int, Bins>>& ready) {
                for (const auto& [p, bins] : ready) total.Merge(bins);
                report();
            });
    }
    // Bins reach to the end of the file: after the sound ends they stay silent.
    if (!cancel.load(std::memory_order_relaxed) && duration > 0) {
        const size_t bins = static_cast<size_t>((duration + binMicros - 1) / binMicros);
        if (out.peak.size() < bins) {
            out.peak.resize(bins, 0.f);
            out.rms.resize(bins, 0.f);
        }
    }
    report();
    return true;
}

}  // namespace ulvane
