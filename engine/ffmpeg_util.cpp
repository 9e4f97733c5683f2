// Small helpers around FFmpeg: error texts, time conversions, logging set-up.
#include "engine/ffmpeg_util.h"

#include <algorithm>

#include <cctype>
#include <cstdlib>
#include <mutex>

extern "C" {
#include <libavutil/log.h>
}

namespace ulvane {

std::string AvErrorText(int code) {
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, buf, sizeof buf);
    return buf;
}

int64_t ToMicros(int64_t ts, AVRational tb) {
    if (ts == AV_NOPTS_VALUE) return AV_NOPTS_VALUE;
    return av_rescale_q(ts, tb, AV_TIME_BASE_Q);
}

int64_t CodedSoundMicros(const AVStream* st, const AVPacket* pkt) {
    AVCodecParameters* par = st->codecpar;  // only read: FFmpeg's declaration lacks the const
    if (par->sample_rate <= 0 || pkt->size <= 0) return 0;
    const int samples = av_get_audio_frame_duration2(par, pkt->size);
    return samples > 0 ? av_rescale(samples, AV_TIME_BASE, par->sample_rate) : 0;
}

int64_t SoundPacketMicros(const AVStream* st, const AVPacket* pkt) {
    const int64_t coded = CodedSoundMicros(st, pkt);
    return coded > 0 ? coded : ToMicros(pkt->duration, st->time_base);
}

int64_t FromMicros(int64_t us, AVRational tb) {
    if (us == AV_NOPTS_VALUE) return AV_NOPTS_VALUE;
    return av_rescale_q(us, AV_TIME_BASE_Q, tb);
}

bool IsUrl(const std::string& path) {
    const size_t colon = path.find("://");
    if (colon == std::string::npos || colon == 0) return false;
    if (!std::isalpha(static_cast<unsigned char>(path[0]))) return false;
    for (size_t i = 1; i < colon; ++i) {
        const char c = path[i];
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.') return false;
    }
    return true;
}

std::string OpenName(const std::string& path) {
    return IsUrl(path) ? path : "file:" + path;
}

static int CancelSet(void* opaque) {
    return static_cast<const std::atomic<bool>*>(opaque)->load(std::memory_order_relaxed) ? 1 : 0;
}

AVIOInterruptCB InterruptOn(const std::atomic<bool>* cancel) {
    AVIOInterruptCB cb{};
    if (cancel) {
        cb.callback = CancelSet;
        cb.opaque = const_cast<std::atomic<bool>*>(cancel);
    }
    return cb;
}

void InitFfmpegLogging() {
    static std::once_flag once;
    std::call_once(once, [] {
        // Broken inputs make decoders chatty; the engine reports through its record instead.
        av_log_set_level(std::getenv("ULVANE_FFMPEG_LOG") ? AV_LOG_INFO : AV_LOG_QUIET);
    });
}

PacketPtr PacketWith(std::span<const uint8_t> bytes, const AVPacket* like) {
    PacketPtr p = MakePacket();
    if (!p || av_new_packet(p.get(), static_cast<int>(bytes.size())) < 0) return nullptr;
    std::copy(bytes.begin(), bytes.end(), p->data);
    if (like && av_packet_copy_props(p.get(), like) < 0) return nullptr;
    return p;
}

}  // namespace ulvane
