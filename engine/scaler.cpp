// The cached picture scaler.
#include "engine/scaler.h"

extern "C" {
#include <libavutil/opt.h>
}

namespace ulvane {

SwsContext* Scaler::For(const AVFrame& src, const ScalerTarget& target) {
    if (sws_ && src.width == srcWidth_ && src.height == srcHeight_ && src.format == srcFormat_ && target == target_)
        return sws_.get();
    sws_.reset(sws_alloc_context());
    if (!sws_) return nullptr;
    SwsContext* s = sws_.get();
    av_opt_set_int(s, "srcw", src.width, 0);
    av_opt_set_int(s, "srch", src.height, 0);
    av_opt_set_int(s, "src_format", src.format, 0);
    av_opt_set_int(s, "dstw", target.width, 0);
    av_opt_set_int(s, "dsth", target.height, 0);
    av_opt_set_int(s, "dst_format", target.format, 0);
    av_opt_set_int(s, "sws_flags", target.flags, 0);
    if (target.threads > 0) av_opt_set_int(s, "threads", target.threads, 0);
    if (sws_init_context(s, nullptr, nullptr) < 0) {
        sws_.reset();
        return nullptr;
    }
    srcWidth_ = src.width;
    srcHeight_ = src.height;
    srcFormat_ = src.format;
    target_ = target;
    return s;
}

}  // namespace ulvane
