// The timeline's waveform: peak and RMS of the main sound per bin, the channels mixed.
//
// Only the sound is read: every other stream is discarded, so a container that indexes its
// samples (MP4, Matroska) skips the picture packets unread. A file that seeks by its index is
// cut into parts of about a fiftieth of its length, decoded by a few threads at once (a sound
// decoder has no threads of its own, and the file is many times longer than a part's seek and
// lead-in cost); each part starts half a second early so that the decoder's overlap is filled
// before its first sample counts. Other files are decoded from start to end on one thread.
//
// A sample lands in a bin by its time: a frame at 1.5 s of 48 kHz sound starts at sample
// 72000; with 10 ms bins (480 samples each) that is bin 150, and its 1024 samples fill bins
// 150 and 151 and 64 samples of 152.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <mutex>
#include <thread>

#include "engine/ffmpeg_util.h"
#include "engine/media_input.h"
#include "engine/timeline.h"

namespace ulvane {

namespace {

constexpr int kParts = 50;                     // a part is about a fiftieth of the file
constexpr int64_t kShortestPart = 10'000'000;  // shorter files are decoded in one go
constexpr int64_t kLeadIn = 500'000;           // decoded before a part's start, not counted
constexpr auto kProgressEvery = std::chrono::seconds(2);
constexpr int kMaxThreads = 4;

int64_t FloorDiv(int64_t a, int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

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

// One reader of the main sound: its own input and decoder.
class SoundReader {
public:
    SoundReader(int64_t binMicros, const std::atomic<bool>& cancel) : binMicros_(binMicros), cancel_(cancel) {}

    Status Open(const std::string& path, int64_t startMicros) {
        if (Status s = MediaInput::Open(path, in_, &cancel_); !s.ok()) return s;
        if (!in_->audio()) return Status::Failed("the file has no sound");
        for (unsigned i = 0; i < in_->ctx()->nb_streams; ++i)
            if (static_cast<int>(i) != in_->audioIndex()) in_->ctx()->streams[i]->discard = AVDISCARD_ALL;
        if (Status s = OpenStreamDecoder(in_->audio(), true, dec_); !s.ok()) return s;
        start_ = startMicros == AV_NOPTS_VALUE ? in_->startMicros() : startMicros;
        return {};
    }
    MediaInput& input() { return *in_; }
    int64_t start() const { return start_; }

    // Decodes the frames that start in [from, to) (microseconds from the file's start) into
    // `bins`, seeking first unless `from` is the file's beginning. `frameDone` is told each
    // frame's time. False when it could not seek there.
    template <typename Tick>
    bool Decode(int64_t from, int64_t to, Bins& bins, Tick&& frameDone) {
        AVStream* a = in_->audio();
        if (from != std::numeric_limits<int64_t>::min()) {
            const int64_t at = FromMicros(start_ + std::max<int64_t>(from - kLeadIn, 0), a->time_base);
            if (av_seek_frame(in_->ctx(), in_->audioIndex(), at, AVSEEK_FLAG_BACKWARD) < 0 &&
                av_seek_frame(in_->ctx(), in_->audioIndex(), at, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_ANY) < 0)
                return false;
            avcodec_flush_buffers(dec_.get());
        }
        next_ = AV_NOPTS_VALUE;
        bool draining = false;
        while (!cancel_.load(std::memory_order_relaxed)) {
            int rc = avcodec_receive_frame(dec_.get(), frame_.get());
            if (rc >= 0) {
                const int64_t t = FrameTime(*frame_, a->time_base);
                if (t >= to) {
                    av_frame_unref(frame_.get());
                    break;
                }
                if (t >= from) Place(*frame_, t, bins);
                frameDone(t);
                av_frame_unref(frame_.get());
                continue;
            }
            if (rc == AVERROR_EOF || draining) break;
            if (in_->ReadPacket(pkt_.get()) < 0) {
                avcodec_send_packet(dec_.get(), nullptr);
                draining = true;
                continue;
            }
            if (pkt_->stream_index == in_->audioIndex()) avcodec_send_packet(dec_.get(), pkt_.get());  // damage skipped
            av_packet_unref(pkt_.get());
        }
        return true;
    }

private:
    // The frame's time from the file's start; a frame without one follows the one before.
    int64_t FrameTime(const AVFrame& f, AVRational tb) {
        const int64_t ts = f.best_effort_timestamp;
        const int64_t t = ts != AV_NOPTS_VALUE ? ToMicros(ts, tb) - start_ : (next_ != AV_NOPTS_VALUE ? next_ : 0);
        next_ = t + (f.sample_rate > 0 ? av_rescale(f.nb_samples, 1'000'000, f.sample_rate) : 0);
        return t;
    }

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

    int64_t binMicros_;
    const std::atomic<bool>& cancel_;
    std::unique_ptr<MediaInput> in_;
    CodecContextPtr dec_;
    PacketPtr pkt_ = MakePacket();
    FramePtr frame_ = MakeFrame();
    std::vector<float> mixed_;
    int64_t start_ = 0;
    int64_t next_ = AV_NOPTS_VALUE;
};

// Parts decoded by several threads; the finished ones wait here for the caller's thread.
struct SharedParts {
    std::atomic<int> next{0};
    std::mutex lock;  // guards `done`
    std::vector<Bins> done;
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
    SoundReader first(binMicros, cancel);
    if (Status s = first.Open(path, AV_NOPTS_VALUE); !s.ok()) {
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
    const AVFormatContext* ctx = first.input().ctx();
    const bool seekable = duration >= 2 * kShortestPart && ctx->pb && (ctx->pb->seekable & AVIO_SEEKABLE_NORMAL) &&
                          !(ctx->iformat->flags & (AVFMT_TS_DISCONT | AVFMT_NOTIMESTAMPS)) &&
                          avformat_index_get_entries_count(first.input().audio()) > 1;
    const int parts = seekable ? static_cast<int>(std::min<int64_t>(kParts, duration / kShortestPart)) : 1;
    const int64_t begin = std::numeric_limits<int64_t>::min(), end = std::numeric_limits<int64_t>::max();

    if (parts == 1) {
        // One pass; what is read so far is shown every fiftieth of the file or two seconds.
        Bins bins;
        int64_t nextMark = duration > 0 ? duration / kParts : end;
        first.Decode(begin, end, bins, [&](int64_t t) {
            if (t < nextMark && std::chrono::steady_clock::now() - lastShown < kProgressEvery) return;
            while (t >= nextMark) nextMark += std::max<int64_t>(duration / kParts, 1);
            total.Merge(bins);
            bins = Bins{};
            report();
        });
        total.Merge(bins);
    } else {
        SharedParts shared;
        auto partRange = [&](int p) {
            const int64_t from = p == 0 ? begin : FloorDiv(duration * p / parts, binMicros) * binMicros;
            const int64_t to = p == parts - 1 ? end : FloorDiv(duration * (p + 1) / parts, binMicros) * binMicros;
            return std::pair{from, to};
        };
        // Each worker takes the next part until none is left. (The file has an index of its
        // sound, so a seek fails only on a damaged file: that part stays silent.)
        auto work = [&](SoundReader& reader, const std::function<void(int64_t)>& tick,
                        const std::function<void()>& partDone) {
            for (int p; !cancel.load(std::memory_order_relaxed) && (p = shared.next.fetch_add(1)) < parts;) {
                const auto [from, to] = partRange(p);
                Bins bins;
                reader.Decode(from, to, bins, tick);
                {
                    std::lock_guard<std::mutex> hold(shared.lock);
                    shared.done.push_back(std::move(bins));
                }
                partDone();
            }
        };
        auto mergeDone = [&] {
            std::vector<Bins> ready;
            {
                std::lock_guard<std::mutex> hold(shared.lock);
                ready.swap(shared.done);
            }
            for (const Bins& b : ready) total.Merge(b);
            return !ready.empty();
        };
        const int threads = std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, kMaxThreads);
        std::vector<std::thread> helpers;
        const int64_t start = first.start();
        for (int i = 1; i < std::min(threads, parts); ++i)
            helpers.emplace_back([&, start] {
                SoundReader reader(binMicros, cancel);
                if (reader.Open(path, start).ok())
                    work(
                        reader, [](int64_t) {}, [] {});
            });
        work(
            first,
            [&](int64_t) {
                if (std::chrono::steady_clock::now() - lastShown >= kProgressEvery && mergeDone()) report();
            },
            [&] {
                if (mergeDone()) report();
            });
        // The caller's thread shows the parts the others finish while it waits for them.
        for (std::thread& t : helpers) {
            t.join();
            if (mergeDone()) report();
        }
        mergeDone();
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
