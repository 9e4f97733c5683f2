// Planning a re-encoding in parts: where its pictures are cut.
#include "engine/output_parts.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

#include "engine/key_frames.h"
#include "engine/media_input.h"

namespace ulvane {

namespace {

// A key frame where a part may begin: its input, its time from the file's start, and where it
// lies on the output.
struct Edge {
    int input = 0;
    int64_t micros = 0;
    int64_t outputMicros = 0;
};

// The time the key frame at about `micros` of `in` is shown at, from its first packet read
// after a seek there: the index gives decode times, which a reordering encoder shows later.
int64_t ShownKeyTime(MediaInput& in, int64_t micros) {
    if (!in.SeekTo(in.startMicros() + micros)) return micros;
    PacketPtr pkt = MakePacket();
    for (int n = 0; n < 10000 && in.ReadPacket(pkt.get()) >= 0; ++n) {
        const bool key = pkt->stream_index == in.videoIndex() && (pkt->flags & AV_PKT_FLAG_KEY);
        const int64_t pts = pkt->pts;
        av_packet_unref(pkt.get());
        if (key && pts != AV_NOPTS_VALUE) return ToMicros(pts, in.video()->time_base) - in.startMicros();
    }
    return micros;
}

}  // namespace

PartsPlan PlanParts(const ConversionJob& job, int count, const std::atomic<bool>& cancel, std::string& error) {
    PartsPlan plan;
    bool pictures = false;
    std::vector<Edge> candidates;
    std::vector<std::pair<int64_t, int64_t>> windows;  // each input's, from the file's start
    int64_t length = 0;
    const int inputs = job.joinMode ? job.inputCount : std::min(job.inputCount, 1);
    for (int i = 0; i < inputs; ++i) {
        const std::string& path = job.inputPaths[static_cast<size_t>(i)];
        std::unique_ptr<MediaInput> in;
        if (Status s = MediaInput::Open(path, in, &cancel, MediaInput::Analysis::Header); !s.ok()) {
            error = path + ": " + s.reason();
            return {};
        }
        pictures |= in->video() != nullptr;
        plan.sound |= in->audio() != nullptr;
        const bool windowed = !job.joinMode || job.segmentUsed[static_cast<size_t>(i)] != 0;
        int64_t from = 0, to = in->durationMicros() > 0 ? in->durationMicros() : 0;
        if (windowed) {
            from = std::llround(job.segmentStart[static_cast<size_t>(i)] * 1e6);
            const int64_t end = std::llround(job.segmentEnd[static_cast<size_t>(i)] * 1e6);
            to = to > 0 ? std::min(to, end) : end;
        }
        windows.emplace_back(from, to);
        for (int64_t k : KeyFrameTimes(path, cancel))
            if (k > from && k < to) candidates.push_back({i, k, length + k - from});
        length += std::max<int64_t>(to - from, 0);
    }
    if (!pictures) {
        error = "there are no pictures to make in parts";
        return {};
    }
    // The key frame nearest to each equal share, each later than the one before.
    std::vector<Edge> chosen;
    for (int j = 1; j < count && !candidates.empty(); ++j) {
        const int64_t target = length / count * j;
        const auto nearest = std::min_element(candidates.begin(), candidates.end(), [&](const Edge& a, const Edge& b) {
            return std::llabs(a.outputMicros - target) < std::llabs(b.outputMicros - target);
        });
        if (!chosen.empty() && nearest->outputMicros <= chosen.back().outputMicros) continue;
        chosen.push_back(*nearest);
    }
    // Each edge at the very time its key frame is shown, which the parts' jobs compare their
    // pictures with.
    std::unique_ptr<MediaInput> in;
    int opened = -1;
    std::vector<Edge> edges;
    for (Edge e : chosen) {
        if (opened != e.input) {
            if (!MediaInput::Open(job.inputPaths[static_cast<size_t>(e.input)], in, &cancel).ok() || !in->video())
                continue;
            opened = e.input;
        }
        e.micros = ShownKeyTime(*in, e.micros);
        const auto [from, to] = windows[static_cast<size_t>(e.input)];
        const bool later = edges.empty() || e.input > edges.back().input || e.micros > edges.back().micros;
        if (e.micros > from && e.micros < to && later) edges.push_back(e);
    }
    plan.pictures.resize(edges.size() + 1);
    for (size_t k = 0; k < plan.pictures.size(); ++k) {
        OutputPart& p = plan.pictures[k];
        p.kind = OutputPart::Kind::Pictures;
        if (k > 0) p.fromInput = edges[k - 1].input, p.fromMicros = edges[k - 1].micros;
        if (k < edges.size()) p.toInput = edges[k].input, p.toMicros = edges[k].micros;
    }
    return plan;
}

}  // namespace ulvane
