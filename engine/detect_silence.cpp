// Silence detection over the decoded samples of the main sound, by our own code (no filter
// graph). The sound is read in parts by a few threads at once where the file allows
// (sound_parts.h), and the quiet runs each part finds are joined across the parts' edges, so
// the silences are those of one pass from start to end.
//
// The rule is silencedetect's (without its per-channel mode): samples are taken in interleaved
// order, any channel's loud sample ends a run, and a run becomes a silence once it holds
// `minSeconds` of samples of every channel. A part cannot know the run the part before ends
// with, so it counts the quiet samples it begins with apart (its lead), applies the rule from
// its first loud sample on, and `Join` carries the run from each part into the next: a run of
// 0.3 s at a part's end and a lead of 0.3 s make a silence whose start the lead's frames tell.
#include <algorithm>
#include <cmath>

#include "engine/detect.h"
#include "engine/sound_parts.h"

namespace ulvane {
namespace {

constexpr int64_t kNone = INT64_MIN;

int64_t SamplesToMicros(int64_t n, int rate) {
    return n * 1000000 / rate;
}

Finding Silence(int64_t start, int64_t end, double peak) {
    return {start, end, peak > 0 ? 20 * std::log10(peak) : -200.0};
}

// What one part of the sound holds for the join.
struct PartSilences {
    Status status;
    bool any = false;  // a frame was taken
    int rate = 0;
    int channels = 0;
    int64_t notify = 0;  // quiet samples (of all channels) that make a silence
    // The lead: the quiet samples before the first loud one, their loudest, where the first loud
    // one is (none when `allQuiet`), and each frame of the lead as its time and sample frames.
    int64_t leadQuiet = 0;
    double leadPeak = 0;
    bool allQuiet = true;
    int64_t firstLoudMicros = 0;
    std::vector<std::pair<int64_t, int>> leadFrames;
    // From the first loud sample on: the silences that end within the part, then the run it
    // ends with (a silence already when `start` is set) and its loudest sample.
    std::vector<Finding> found;
    int64_t run = 0;
    int64_t start = kNone;
    double peak = 0;
    int64_t frameEnd = 0;  // where the part's last frame ends
};

// The rule over one part's frames, in order.
class SilenceRule {
public:
    SilenceRule(double thresholdDb, double minSeconds, PartSilences& part)
        : amplitude_(std::pow(10.0, thresholdDb / 20)), minSeconds_(minSeconds), p_(part) {}

    void Take(const AVFrame& f, int64_t atMicros) {
        const int channels = f.ch_layout.nb_channels;
        if (channels <= 0 || f.sample_rate <= 0) return;
        if (f.sample_rate != p_.rate || channels != p_.channels) {
            p_.rate = f.sample_rate;
            p_.channels = channels;
            // 0.5 s at 48 kHz is 24000 sample frames, so 48000 samples of a stereo track.
            p_.notify = static_cast<int64_t>(std::llround(minSeconds_ * p_.rate)) * p_.channels;
        }
        p_.any = true;
        if (leading_) p_.leadFrames.emplace_back(atMicros, f.nb_samples);
        const AVSampleFormat fmt = static_cast<AVSampleFormat>(f.format);
        const bool planar = av_sample_fmt_is_planar(fmt);
        const AVSampleFormat packed = av_get_packed_sample_fmt(fmt);
        // The filter compares integer samples with the amplitude scaled to the type's maximum.
        const double scale = packed == AV_SAMPLE_FMT_S16   ? 32767.0
                             : packed == AV_SAMPLE_FMT_S32 ? 2147483647.0
                             : packed == AV_SAMPLE_FMT_U8  ? 127.0
                                                           : 1.0;
        const double noise = packed == AV_SAMPLE_FMT_FLT ? static_cast<float>(amplitude_) : amplitude_ * scale;
        p_.frameEnd = atMicros + SamplesToMicros(f.nb_samples, p_.rate);
        if (packed == AV_SAMPLE_FMT_FLT && p_.channels <= 8) {
            TakeFloats(f, planar, static_cast<float>(noise), atMicros);
            return;
        }
        for (int i = 0; i < f.nb_samples; ++i) {
            for (int c = 0; c < p_.channels; ++c) {
                const int plane = planar ? c : 0;
                const int index = planar ? i : i * p_.channels + c;
                double v = 0;
                switch (packed) {
                    case AV_SAMPLE_FMT_FLT:
                        v = reinterpret_cast<const float*>(f.extended_data[plane])[index];
                        break;
                    case AV_SAMPLE_FMT_DBL:
                        v = reinterpret_cast<const double*>(f.extended_data[plane])[index];
                        break;
                    case AV_SAMPLE_FMT_S16:
                        v = reinterpret_cast<const int16_t*>(f.extended_data[plane])[index];
                        break;
                    case AV_SAMPLE_FMT_S32:
                        v = reinterpret_cast<const int32_t*>(f.extended_data[plane])[index];
                        break;
                    case AV_SAMPLE_FMT_U8:
                        v = f.extended_data[plane][index] - 128.0;
                        break;
                    default:
                        return;
                }
                Sample(v < noise && v > -noise, std::fabs(v) / scale, atMicros, i);
            }
        }
    }

private:
    // Float samples (what AAC, MP3 and Opus decode to), a sample frame at a time by its loudest
    // channel: a frame whose channels are all quiet moves the lead or the run on by all of them
    // at once, and so does a loud frame, outside a silence, whose last channel is loud (what
    // comes before that sample cannot make a silence, and the run starts afresh after it); any
    // other goes through the sample rule channel by channel, as the interleaved order has it.
    void TakeFloats(const AVFrame& f, bool planar, float noise, int64_t atMicros) {
        const int channels = p_.channels;
        const int n = f.nb_samples;
        const float* ch[8];
        for (int c = 0; c < channels; ++c)
            ch[c] = reinterpret_cast<const float*>(f.extended_data[planar ? c : 0]) + (planar ? 0 : c);
        const int step = planar ? 1 : channels;
        loudest_.assign(static_cast<size_t>(n), 0.f);
        float* loudest = loudest_.data();
        for (int c = 0; c < channels; ++c) {  // a loop the compiler makes vector code of
            const float* v = ch[c];
            for (int i = 0; i < n; ++i) loudest[i] = std::max(loudest[i], std::fabs(v[i * step]));
        }
        const float* last = ch[channels - 1];
        for (int i = 0; i < n; ++i) {
            const float level = loudest[i];
            if (level < noise) {
                if (leading_) {
                    p_.leadQuiet += channels;
                    p_.leadPeak = std::max(p_.leadPeak, static_cast<double>(level));
                    continue;
                }
                if (p_.start != kNone || p_.run + channels < p_.notify) {
                    if (p_.start == kNone) p_.run += channels;  // still short of a silence
                    p_.peak = std::max(p_.peak, static_cast<double>(level));
                    continue;
                }
            } else if (!leading_ && p_.start == kNone && p_.run + channels < p_.notify &&
                       !(last[i * step] < noise && last[i * step] > -noise)) {
                p_.run = 0;
                p_.peak = 0;
                continue;
            }
            for (int c = 0; c < channels; ++c) {
                const float v = ch[c][i * step];
                Sample(v < noise && v > -noise, std::fabs(v), atMicros, i);
            }
        }
    }

    void Sample(bool quiet, double level, int64_t frameMicros, int index) {
        if (leading_) {
            if (quiet) {
                ++p_.leadQuiet;
                p_.leadPeak = std::max(p_.leadPeak, level);
                return;
            }
            leading_ = false;
            p_.allQuiet = false;
            p_.firstLoudMicros = frameMicros + SamplesToMicros(index, p_.rate);
            return;  // the run starts afresh after it
        }
        if (!quiet) {
            if (p_.start != kNone)
                p_.found.push_back(Silence(p_.start, frameMicros + SamplesToMicros(index, p_.rate), p_.peak));
            p_.start = kNone;
            p_.run = 0;
            p_.peak = 0;
            return;
        }
        p_.peak = std::max(p_.peak, level);
        if (p_.start == kNone && ++p_.run >= p_.notify)
            p_.start = frameMicros + SamplesToMicros(index + 1 - p_.notify / p_.channels, p_.rate);
    }

    double amplitude_;
    double minSeconds_;
    PartSilences& p_;
    bool leading_ = true;
    std::vector<float> loudest_;  // of each sample frame of a frame
};

// Where the rule puts the start of a silence whose `notify`-th sample is the lead's quiet
// sample `q` (counted from 0 over all channels): `notify` samples back from the sample frame
// that holds it, counted from that frame's time.
int64_t LeadSilenceStart(const PartSilences& p, int64_t q) {
    int64_t before = 0;
    for (const auto& [at, n] : p.leadFrames) {
        const int64_t samples = static_cast<int64_t>(n) * p.channels;
        if (q < before + samples)
            return at + SamplesToMicros((q - before) / p.channels + 1 - p.notify / p.channels, p.rate);
        before += samples;
    }
    return p.frameEnd;  // not reached: the lead's samples are all in its frames
}

// The silences of `parts` read one after the other; with `finish`, a silence running to the
// end of the last ends where its last frame does.
void Join(const std::vector<PartSilences>& parts, bool finish, std::vector<Finding>& found) {
    int64_t run = 0, start = kNone, end = 0;
    double peak = 0;
    for (const PartSilences& p : parts) {
        if (!p.any) continue;
        if (start == kNone) {
            const int64_t need = std::max<int64_t>(p.notify - run, 1);  // quiet samples still wanted
            if (p.leadQuiet >= need)
                start = LeadSilenceStart(p, need - 1);
            else
                run += p.leadQuiet;
        }
        peak = std::max(peak, p.leadPeak);
        if (!p.allQuiet) {
            if (start != kNone) found.push_back(Silence(start, p.firstLoudMicros, peak));
            found.insert(found.end(), p.found.begin(), p.found.end());
            run = p.run;
            start = p.start;
            peak = p.peak;
        }
        end = p.frameEnd;
    }
    if (finish && start != kNone) found.push_back(Silence(start, end, peak));
}

}  // namespace

Status DetectSilences(const std::string& path, double thresholdDb, double minSeconds, std::vector<Finding>& found,
                      const DetectControl& control) {
    found.clear();
    SoundReader first(control.cancel);
    if (Status s = first.Open(path); !s.ok()) return s;
    const int64_t duration = first.input().durationMicros();
    auto show = [&](int64_t permille) {
        if (control.permille)
            control.permille->store(static_cast<int>(std::clamp<int64_t>(permille, 0, 1000)),
                                    std::memory_order_relaxed);
    };
    const int count = SoundPartCount(first.input());
    std::vector<PartSilences> parts(static_cast<size_t>(count));
    std::vector<bool> read(parts.size(), false);
    auto readPart = [&](SoundReader& reader, int p, const std::function<void(int64_t)>& frameDone) {
        const auto [from, to] = SoundPartRange(p, count, duration, 1);
        PartSilences part;
        SilenceRule rule(thresholdDb, minSeconds, part);
        part.status = reader.Decode(
            from, to, [&](const AVFrame& f, int64_t t) { rule.Take(f, t); }, frameDone);
        return part;
    };
    if (count == 1) {
        parts[0] = readPart(first, 0, [&](int64_t t) {
            if (duration > 0) show(t * 1000 / duration);
        });
        read[0] = true;
    } else {
        int taken = 0;
        ReadSoundParts<PartSilences>(
            path, first, count, control.cancel,
            [&](SoundReader& reader, int p, const std::function<void()>& tick) {
                return readPart(reader, p, [&](int64_t) { tick(); });
            },
            [&](std::vector<std::pair<int, PartSilences>>& ready) {
                for (auto& [p, part] : ready) {
                    parts[static_cast<size_t>(p)] = std::move(part);
                    read[static_cast<size_t>(p)] = true;
                }
                taken += static_cast<int>(ready.size());
                show(int64_t{taken} * 1000 / count);
            });
    }
    for (size_t i = 0; i < parts.size(); ++i)
        if (read[i] && parts[i].status.failed()) return parts[i].status;
    // The findings so far are kept on cancel: those of the parts read from the start on, the
    // last of them perhaps cut short.
    size_t whole = 0;
    while (whole < parts.size() && read[whole] && parts[whole].status.ok()) ++whole;
    if (whole < parts.size() && read[whole]) ++whole;
    parts.resize(whole);
    const bool cancelled = control.cancel && control.cancel->load(std::memory_order_relaxed);
    Join(parts, !cancelled, found);
    if (cancelled) return Status::Cancelled();
    show(1000);
    return {};
}

}  // namespace ulvane
