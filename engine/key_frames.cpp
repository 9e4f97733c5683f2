// Key frame times.
#include "engine/key_frames.h"

#include <algorithm>

#include "engine/media_input.h"

namespace ulvane {

std::vector<int64_t> KeyFrameTimes(const std::string& path, const std::atomic<bool>& cancel) {
    std::vector<int64_t> keys;
    std::unique_ptr<MediaInput> in;
    if (!MediaInput::Open(path, in, &cancel).ok() || !in->video()) return keys;
    AVStream* v = in->video();
    const int64_t start = in->startMicros();
    // The first packet tells how far its presentation lies after its decode time: MP4's index
    // holds decode times, and a reordering encoder shows each key frame that much later.
    PacketPtr pkt = MakePacket();
    int64_t reorder = 0;
    for (int n = 0; n < 1000 && in->ReadPacket(pkt.get()) >= 0; ++n) {
        const bool video = pkt->stream_index == in->videoIndex();
        if (video && pkt->pts != AV_NOPTS_VALUE && pkt->dts != AV_NOPTS_VALUE)
            reorder = std::max<int64_t>(0, ToMicros(pkt->pts, v->time_base) - ToMicros(pkt->dts, v->time_base));
        av_packet_unref(pkt.get());
        if (video) break;
    }
    in->SeekTo(start);  // Matroska reads its index (the cues) at the first seek
    const bool decodeTimes = std::string(in->ctx()->iformat->name).find("mp4") != std::string::npos;
    const int entries = avformat_index_get_entries_count(v);
    const bool indexed = entries > 1 && !(in->ctx()->iformat->flags & AVFMT_TS_DISCONT);
    if (indexed) {
        for (int i = 0; i < entries && !cancel.load(std::memory_order_relaxed); ++i) {
            const AVIndexEntry* e = avformat_index_get_entry(v, i);
            if (!e || !(e->flags & AVINDEX_KEYFRAME) || e->timestamp == AV_NOPTS_VALUE) continue;
            keys.push_back(ToMicros(e->timestamp, v->time_base) + (decodeTimes ? reorder : 0) - start);
        }
    } else {
        // No index: every packet is read (not decoded); the other streams are skipped.
        for (unsigned i = 0; i < in->ctx()->nb_streams; ++i)
            if (static_cast<int>(i) != in->videoIndex()) in->ctx()->streams[i]->discard = AVDISCARD_ALL;
        while (!cancel.load(std::memory_order_relaxed) && in->ReadPacket(pkt.get()) >= 0) {
            if (pkt->stream_index == in->videoIndex() && (pkt->flags & AV_PKT_FLAG_KEY) && pkt->pts != AV_NOPTS_VALUE)
                keys.push_back(ToMicros(pkt->pts, v->time_base) - start);
            av_packet_unref(pkt.get());
        }
    }
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    return keys;
}

int64_t DirectCutStart(const std::vector<int64_t>& keys, int64_t startMicros) {
    if (keys.empty()) return startMicros;
    const auto after = std::upper_bound(keys.begin(), keys.end(), startMicros);
    return after == keys.begin() ? keys.front() : *(after - 1);
}

}  // namespace ulvane
