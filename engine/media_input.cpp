// Opening an input, classifying its streams, opening decoders and seeking.
#include "engine/media_input.h"

#include <algorithm>

namespace ulvane {

bool IsRealVideoStream(const AVStream* st) {
    return st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !(st->disposition & AV_DISPOSITION_ATTACHED_PIC);
}

bool IsAudioStream(const AVStream* st) {
    return st->codecpar->codec_type == AVMEDIA_TYPE_AUDIO;
}

Status MediaInput::Open(const std::string& path, std::unique_ptr<MediaInput>& input) {
    InitFfmpegLogging();
    input.reset();
    AVFormatContext* raw = nullptr;
    int rc = avformat_open_input(&raw, path.c_str(), nullptr, nullptr);
    if (rc < 0) return Status::Failed("cannot open the file as a media file: " + AvErrorText(rc), kCannotOpen);
    std::unique_ptr<MediaInput> in(new MediaInput);
    in->ctx_.reset(raw);
    rc = avformat_find_stream_info(raw, nullptr);
    if (rc < 0) return Status::Failed("cannot read the stream information: " + AvErrorText(rc), kNoStreamInfo);
    // In index order; with several streams of a kind the last one wins. Cover art and
    // other attached pictures are neither kind.
    for (unsigned i = 0; i < raw->nb_streams; ++i) {
        const AVStream* st = raw->streams[i];
        if (IsRealVideoStream(st) && st->codecpar->width > 0 && st->codecpar->height > 0)
            in->videoIndex_ = static_cast<int>(i);
        else if (IsAudioStream(st) && st->codecpar->sample_rate > 0 && st->codecpar->ch_layout.nb_channels > 0)
            in->audioIndex_ = static_cast<int>(i);
    }
    if (in->videoIndex_ < 0 && in->audioIndex_ < 0)
        return Status::Failed("the file has neither pictures nor sound", kNoStreams);
    input = std::move(in);
    return {};
}

static Status OpenDecoder(const AVStream* st, bool frameThreads, CodecContextPtr& dec) {
    const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
    if (!codec)
        return Status::Failed(std::string("no decoder for the codec ") + avcodec_get_name(st->codecpar->codec_id),
                              MediaInput::kNoDecoder);
    dec.reset(avcodec_alloc_context3(codec));
    if (!dec || avcodec_parameters_to_context(dec.get(), st->codecpar) < 0) {
        dec.reset();
        return Status::Failed("cannot set up the decoder", MediaInput::kDecoderFails);
    }
    dec->pkt_timebase = st->time_base;
    dec->thread_count = 0;  // as many as the machine has
    if (!frameThreads) dec->thread_type = FF_THREAD_SLICE;
    int rc = avcodec_open2(dec.get(), codec, nullptr);
    if (rc < 0) {
        dec.reset();
        return Status::Failed(std::string("cannot open the ") + codec->name + " decoder: " + AvErrorText(rc),
                              MediaInput::kDecoderFails);
    }
    return {};
}

Status MediaInput::OpenDecoders(bool withAudio, bool frameThreads) {
    if (videoIndex_ >= 0) {
        if (Status s = OpenDecoder(video(), frameThreads, videoDec_); !s.ok()) return s;
    }
    if (audioIndex_ >= 0 && withAudio && !OpenDecoder(audio(), frameThreads, audioDec_).ok())
        audioIndex_ = -1;  // the pictures can still be used
    if (videoIndex_ < 0 && audioIndex_ < 0)
        return Status::Failed("no stream of the file can be decoded", kDecoderFails);
    return {};
}

bool MediaInput::HidesLeadingPictures() const {
    AVStream* v = video();
    if (!v) return false;
    const AVIndexEntry* first = avformat_index_get_entry(v, 0);
    return first && (first->flags & AVINDEX_DISCARD_FRAME);
}

int64_t MediaInput::startMicros() const {
    return ctx_->start_time == AV_NOPTS_VALUE ? 0 : ctx_->start_time;
}

int64_t MediaInput::durationMicros() const {
    return ctx_->duration == AV_NOPTS_VALUE || ctx_->duration < 0 ? 0 : ctx_->duration;
}

bool MediaInput::SeekTo(int64_t targetMicros) {
    if (ctx_->iformat->flags & AVFMT_TS_DISCONT) return ByteSeekTo(targetMicros);
    int rc = av_seek_frame(ctx_.get(), -1, targetMicros, AVSEEK_FLAG_BACKWARD);
    if (rc < 0) rc = av_seek_frame(ctx_.get(), -1, targetMicros, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_ANY);
    return rc >= 0;
}

int64_t MediaInput::PeekFirstKeyMicros() {
    const int main = videoIndex_ >= 0 ? videoIndex_ : audioIndex_;
    PacketPtr pkt = MakePacket();
    for (int n = 0; n < 5000 && av_read_frame(ctx_.get(), pkt.get()) >= 0; ++n) {
        const bool hit = pkt->stream_index == main && (pkt->flags & AV_PKT_FLAG_KEY) &&
                         (pkt->pts != AV_NOPTS_VALUE || pkt->dts != AV_NOPTS_VALUE);
        if (hit) {
            int64_t ts = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
            int64_t us = ToMicros(ts, ctx_->streams[main]->time_base);
            av_packet_unref(pkt.get());
            return us;
        }
        av_packet_unref(pkt.get());
    }
    return AV_NOPTS_VALUE;
}

bool MediaInput::ByteSeekTo(int64_t targetMicros) {
    const int64_t size = avio_size(ctx_->pb);
    const int64_t duration = durationMicros();
    if (size <= 0) return false;
    // A byte position only estimates a time, and bit rates vary a lot: bisect over byte
    // positions for the last one whose first key frame is at or before the target,
    // starting from the estimate of a constant bit rate.
    int64_t lo = 0, hi = size;
    auto probe = [&](int64_t pos) {
        if (av_seek_frame(ctx_.get(), -1, pos, AVSEEK_FLAG_BYTE) < 0) return false;
        const int64_t key = PeekFirstKeyMicros();
        return key != AV_NOPTS_VALUE && key <= targetMicros;
    };
    if (duration > 0) {
        const double share = std::clamp(static_cast<double>(targetMicros - startMicros()) / duration, 0.0, 1.0);
        const int64_t guess = static_cast<int64_t>(share * static_cast<double>(size));
        (probe(guess) ? lo : hi) = guess;
    }
    constexpr int64_t kResolution = 188 * 32;  // a few transport packets
    for (int steps = 0; steps < 40 && hi - lo > kResolution; ++steps) {
        const int64_t mid = lo + (hi - lo) / 2;
        (probe(mid) ? lo : hi) = mid;
    }
    return av_seek_frame(ctx_.get(), -1, lo, AVSEEK_FLAG_BYTE) >= 0;
}

}  // namespace ulvane
