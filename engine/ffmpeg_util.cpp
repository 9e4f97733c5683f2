// Small helpers around FFmpeg: error texts, time conversions, logging set-up.
#include "engine/ffmpeg_util.h"

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

int64_t FromMicros(int64_t us, AVRational tb) {
    if (us == AV_NOPTS_VALUE) return AV_NOPTS_VALUE;
    return av_rescale_q(us, AV_TIME_BASE_Q, tb);
}

void InitFfmpegLogging() {
    static std::once_flag once;
    std::call_once(once, [] {
        // Broken inputs make decoders chatty; the engine reports through its record instead.
        av_log_set_level(std::getenv("ULVANE_FFMPEG_LOG") ? AV_LOG_INFO : AV_LOG_QUIET);
    });
}

}  // namespace ulvane
