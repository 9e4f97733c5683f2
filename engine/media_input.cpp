// Opening an input, classifying its streams, opening decoders and seeking.
#include "engine/media_input.h"
#include "engine/track_choice_internal.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>

namespace ulvane {

bool IsRealVideoStream(const AVStream* st) {
    return st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !(st->disposition & AV_DISPOSITION_ATTACHED_PIC);
}

bool IsAudioStream(const AVStream* st) {
    return st->codecpar->codec_type == AVMEDIA_TYPE_AUDIO;
}

bool RepeatsAnEarlierStream(const AVFormatContext* ctx, unsigned index) {
    const AVStream* st = ctx->streams[index];
    // Most containers leave the id 0; only a non-zero id tells one source of packets.
    if (st->id == 0) return false;
    for (unsigned k = 0; k < index; ++k)
        if (ctx->streams[k]->id == st->id && ctx->streams[k]->codecpar->codec_type == st->codecpar->codec_type)
            return true;
    return false;
}

namespace {

// A backward step of a stream's clock larger than this is taken as the clock starting
// again, not as jitter of the timestamps.
constexpr int64_t kClockReset = AV_TIME_BASE;
// How far apart (bytes) the search for a reset narrows its place down.
constexpr int64_t kResetResolution = 256 << 10;

// The decode time, which only grows within one recording; the showing time where there
// is none.
int64_t PacketTime(const AVPacket* pkt) {
    return pkt->dts != AV_NOPTS_VALUE ? pkt->dts : pkt->pts;
}
int64_t ShowTime(const AVPacket* pkt) {
    return pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
}

// Refuses what is not a regular file before FFmpeg opens it: opening a FIFO waits for a
// writer, a device may never end.
Status CheckLocalFile(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return Status::Failed(std::string("cannot open the file: ") + std::strerror(errno), MediaInput::kCannotOpen);
    if (S_ISREG(st.st_mode)) return {};
    const char* kind = S_ISFIFO(st.st_mode)                         ? "a FIFO (named pipe)"
                       : S_ISSOCK(st.st_mode)                       ? "a socket"
                       : S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) ? "a device"
                       : S_ISDIR(st.st_mode)                        ? "a folder"
                                                                    : "a special file";
    return Status::Failed(std::string("it is ") + kind + ", not a regular file", MediaInput::kNotAFile);
}

// A usable picture rate, or 0/0.
AVRational PlausibleRate(const AVStream* st) {
    auto ok = [](AVRational r) { return r.num > 0 && r.den > 0 && av_q2d(r) >= 1 && av_q2d(r) <= 240; };
    if (ok(st->r_frame_rate)) return st->r_frame_rate;
    if (ok(st->avg_frame_rate)) return st->avg_frame_rate;
    return {0, 0};
}

}  // namespace

namespace {

// Whether a Matroska or MP4/MOV header already tells every picture size and sound shape.
bool HeaderTellsEnough(const AVFormatContext* ctx) {
    const char* name = ctx->iformat->name;
    if (!std::strstr(name, "matroska") && !std::strstr(name, "mov")) return false;
    for (unsigned i = 0; i < ctx->nb_streams; ++i) {
        const AVStream* st = ctx->streams[i];
        if (IsRealVideoStream(st) && (st->codecpar->width <= 0 || st->codecpar->height <= 0)) return false;
        if (IsAudioStream(st) && (st->codecpar->sample_rate <= 0 || st->codecpar->ch_layout.nb_channels <= 0))
            return false;
    }
    return ctx->nb_streams > 0;
}

// The demuxer that a local file's first bytes name beyond doubt: an ISO media file's ftyp
// box (MP4, MOV, 3GP, M4A; not a JPEG 2000 image), or Matroska's EBML header with its doc
// type. FFmpeg's probe would choose the same after trying each of its demuxers on the file's
// start, which costs more than opening a small file does. Null: let FFmpeg probe.
const AVInputFormat* EvidentFormat(const std::string& path) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) return nullptr;
    unsigned char head[64] = {};
    const size_t n = std::fread(head, 1, sizeof head, file.get());
    const auto holds = [&](const char* text) {
        const size_t length = std::strlen(text);
        return std::search(head, head + n, text, text + length) != head + n;
    };
    if (n >= 12 && std::memcmp(head + 4, "ftyp", 4) == 0 && std::memcmp(head + 8, "jp2 ", 4) != 0)
        return av_find_input_format("mov");
    constexpr unsigned char kEbml[] = {0x1a, 0x45, 0xdf, 0xa3};
    if (n >= 4 && std::memcmp(head, kEbml, 4) == 0 && (holds("matroska") || holds("webm")))
        return av_find_input_format("matroska");
    return nullptr;
}

}  // namespace

Status MediaInput::OpenContainer(const std::string& path, const std::atomic<bool>* cancel, InputFormatPtr& ctx) {
    InitFfmpegLogging();
    if (!IsUrl(path)) {
        if (Status s = CheckLocalFile(path); !s.ok()) return s;
    }
    AVFormatContext* raw = avformat_alloc_context();
    if (!raw) return Status::Failed("out of memory", kCannotOpen);
    raw->interrupt_callback = InterruptOn(cancel);
    const AVInputFormat* format = IsUrl(path) ? nullptr : EvidentFormat(path);
    int rc = avformat_open_input(&raw, OpenName(path).c_str(), format, nullptr);  // frees `raw` on failure
    if (rc < 0 && format && !(cancel && cancel->load())) {
        // Not what its first bytes said after all: FFmpeg's probe decides.
        raw = avformat_alloc_context();
        if (!raw) return Status::Failed("out of memory", kCannotOpen);
        raw->interrupt_callback = InterruptOn(cancel);
        rc = avformat_open_input(&raw, OpenName(path).c_str(), nullptr, nullptr);
    }
    if (rc < 0) {
        if (cancel && cancel->load()) return Status::Cancelled();
        return Status::Failed("cannot open the file as a media file: " + AvErrorText(rc), kCannotOpen);
    }
    ctx.reset(raw);
    return {};
}

Status MediaInput::Open(const std::string& path, std::unique_ptr<MediaInput>& input, const std::atomic<bool>* cancel,
                        Analysis analysis) {
    input.reset();
    auto stopped = [cancel] { return cancel && cancel->load(); };
    std::unique_ptr<MediaInput> in(new MediaInput);
    if (Status s = OpenContainer(path, cancel, in->ctx_); !s.ok()) return s;
    AVFormatContext* raw = in->ctx_.get();
    const bool analyse = analysis == Analysis::Full || !HeaderTellsEnough(raw);
    const int rc = analyse ? avformat_find_stream_info(raw, nullptr) : 0;
    in->analysed_ = analyse;
    if (stopped()) return Status::Cancelled();
    if (rc < 0) return Status::Failed("cannot read the stream information: " + AvErrorText(rc), kNoStreamInfo);
    in->ChooseStreams();
    if (in->videoIndex_ < 0 && in->audioIndex_ < 0)
        return Status::Failed("the file has neither pictures nor sound", kNoStreams);
    in->duration_ = raw->duration == AV_NOPTS_VALUE || raw->duration < 0 ? 0 : raw->duration;
    if (!analyse) {
        // A Matroska or MP4 file: neither a raw stream nor a transport stream.
    } else if (in->videoIndex_ >= 0 && in->video()->start_time == AV_NOPTS_VALUE && raw->start_time == AV_NOPTS_VALUE) {
        // Perhaps a raw elementary stream (as cameras write .h264): no times at all.
        const AVRational rate = PlausibleRate(in->video());
        if (rate.num > 0) in->rawRate_ = rate;
        in->MeasureRawStream();
    } else if (raw->iformat->flags & AVFMT_TS_DISCONT) {
        in->FindClockResets();
    }
    if (stopped()) return Status::Cancelled();
    input = std::move(in);
    return {};
}

void MediaInput::ChooseStreams() {
    AVFormatContext* c = ctx_.get();
    auto usableVideo = [](const AVStream* st) {
        return IsRealVideoStream(st) && st->codecpar->width > 0 && st->codecpar->height > 0;
    };
    auto usableAudio = [](const AVStream* st) {
        return IsAudioStream(st) && st->codecpar->sample_rate > 0 && st->codecpar->ch_layout.nb_channels > 0;
    };
    // The stream the file marks as its default, else FFmpeg's best choice, else the first
    // usable one. Cover art and other attached pictures are neither kind.
    auto choose = [c](AVMediaType type, auto usable) {
        for (unsigned i = 0; i < c->nb_streams; ++i)
            if (usable(c->streams[i]) && (c->streams[i]->disposition & AV_DISPOSITION_DEFAULT))
                return static_cast<int>(i);
        const int best = av_find_best_stream(c, type, -1, -1, nullptr, 0);
        if (best >= 0 && usable(c->streams[best])) return best;
        for (unsigned i = 0; i < c->nb_streams; ++i)
            if (usable(c->streams[i])) return static_cast<int>(i);
        return -1;
    };
    videoIndex_ = choose(AVMEDIA_TYPE_VIDEO, usableVideo);
    audioIndex_ = choose(AVMEDIA_TYPE_AUDIO, usableAudio);
}

Status MediaInput::KeepTracks(const std::string& list) {
    if (list.empty()) return {};
    ResolvedTracks resolved;
    if (Status s = ResolveTrackList(ctx_.get(), list, resolved); !s.ok()) return s;
    kept_.assign(ctx_->nb_streams, false);
    videoIndex_ = -1;
    audioIndex_ = resolved.defaultSound;
    for (int i : resolved.streams) {
        kept_[i] = true;
        AVStream* st = ctx_->streams[i];
        const char kind = TrackKind(ctx_.get(), static_cast<unsigned>(i));
        if (kind == 'v' && videoIndex_ < 0) videoIndex_ = i;
        if (kind == 'a' && audioIndex_ < 0) audioIndex_ = i;
        // A listed subtitle track is shown unasked only when the list says so. The output's
        // streams take their flags from these (the sound's are set on the output: its first
        // sound track, the main one, is the default).
        if (kind == 's')
            st->disposition = i == resolved.defaultSubtitle ? st->disposition | AV_DISPOSITION_DEFAULT
                                                            : st->disposition & ~AV_DISPOSITION_DEFAULT;
    }
    return {};
}

bool MediaInput::Rewind() {
    rawPictures_ = 0;
    lastOffset_ = 0;
    return av_seek_frame(ctx_.get(), -1, 0, AVSEEK_FLAG_BYTE) >= 0;
}

bool MediaInput::RawSeekTo(int64_t targetMicros) {
    // No times to seek by: the stream is read from its start up to the target to find the
    // last key frame at or before it, and reading goes on from there.
    if (!Rewind()) return false;
    const int64_t wanted = av_rescale_q(std::max<int64_t>(targetMicros, 0), AV_TIME_BASE_Q, av_inv_q(rawRate_));
    PacketPtr pkt = MakePacket();
    int64_t index = 0, keyIndex = 0, keyPos = 0;
    while (index <= wanted && av_read_frame(ctx_.get(), pkt.get()) >= 0) {
        if (pkt->stream_index == videoIndex_) {
            if ((pkt->flags & AV_PKT_FLAG_KEY) && pkt->pos >= 0) {
                keyIndex = index;
                keyPos = pkt->pos;
            }
            ++index;
        }
        av_packet_unref(pkt.get());
    }
    if (av_seek_frame(ctx_.get(), -1, keyPos, AVSEEK_FLAG_BYTE) < 0) return Rewind() && false;
    rawPictures_ = keyIndex;
    return true;
}

void MediaInput::MeasureRawStream() {
    // Counting every picture of a long stream would make the probe slow: past a bound the
    // count so far is scaled up by the share of the bytes read.
    const int64_t size = avio_size(ctx_->pb);
    const auto began = std::chrono::steady_clock::now();
    PacketPtr pkt = MakePacket();
    int64_t pictures = 0, bytesRead = 0;
    bool partial = false;
    while (av_read_frame(ctx_.get(), pkt.get()) >= 0) {
        if (pkt->stream_index == videoIndex_) {
            if (pictures == 0 && PacketTime(pkt.get()) != AV_NOPTS_VALUE) {
                av_packet_unref(pkt.get());
                Rewind();
                return;  // timed after all: read as it is
            }
            ++pictures;
            if (pkt->pos >= 0) bytesRead = std::max(bytesRead, pkt->pos + pkt->size);
        }
        av_packet_unref(pkt.get());
        if (pictures % 64 == 0 &&
            (bytesRead > (32 << 20) || std::chrono::steady_clock::now() - began > std::chrono::milliseconds(150))) {
            partial = true;
            break;
        }
    }
    if (partial && size > 0 && bytesRead > 0) pictures = av_rescale(pictures, size, bytesRead);
    rawVideo_ = pictures > 0;
    if (rawVideo_) duration_ = av_rescale_q(pictures, av_inv_q(rawRate_), AV_TIME_BASE_Q);
    Rewind();
}

int64_t MediaInput::RawTimeAt(int64_t pos) {
    const int main = videoIndex_ >= 0 ? videoIndex_ : audioIndex_;
    if (av_seek_frame(ctx_.get(), -1, pos, AVSEEK_FLAG_BYTE) < 0) return AV_NOPTS_VALUE;
    PacketPtr pkt = MakePacket();
    for (int n = 0; n < 2000 && av_read_frame(ctx_.get(), pkt.get()) >= 0; ++n) {
        const int64_t ts = PacketTime(pkt.get());
        const bool hit = pkt->stream_index == main && ts != AV_NOPTS_VALUE;
        av_packet_unref(pkt.get());
        if (hit) return ToMicros(ts, ctx_->streams[main]->time_base);
    }
    return AV_NOPTS_VALUE;
}

void MediaInput::FindClockResets() {
    AVIOContext* pb = ctx_->pb;
    const int64_t size = pb ? avio_size(pb) : -1;
    if (size <= 0 || !(pb->seekable & AVIO_SEEKABLE_NORMAL) || (ctx_->iformat->flags & AVFMT_NO_BYTE_SEEK)) return;
    // The clock's reading at evenly spaced places: within one recording it only grows, so
    // a place that reads much earlier than the one before lies after a reset. Parts
    // shorter than the spacing can go unseen.
    const int samples = static_cast<int>(std::clamp<int64_t>(size / (512 << 10), 8, 32));
    int64_t prevPos = 0, prevTime = AV_NOPTS_VALUE;
    for (int k = 0; k <= samples; ++k) {
        const int64_t pos = k == samples ? std::max<int64_t>(0, size - (64 << 10)) : size * k / samples;
        if (k > 0 && pos <= prevPos) continue;
        const int64_t t = RawTimeAt(pos);
        if (t == AV_NOPTS_VALUE) continue;
        if (prevTime != AV_NOPTS_VALUE && t < prevTime - kClockReset) FindResetBetween(prevPos, prevTime, pos);
        prevPos = pos;
        prevTime = t;
    }
    if (!parts_.empty()) {
        // The end of the last part, on the continuous timeline.
        av_seek_frame(ctx_.get(), -1, std::max<int64_t>(0, size - (1 << 20)), AVSEEK_FLAG_BYTE);
        PacketPtr pkt = MakePacket();
        int64_t end = AV_NOPTS_VALUE;
        while (av_read_frame(ctx_.get(), pkt.get()) >= 0) {
            const AVStream* st = ctx_->streams[pkt->stream_index];
            if (const int64_t ts = ShowTime(pkt.get()); ts != AV_NOPTS_VALUE && pkt->pos >= 0) {
                const int64_t e =
                    ToMicros(ts + std::max<int64_t>(pkt->duration, 0), st->time_base) + OffsetAt(pkt->pos);
                end = end == AV_NOPTS_VALUE ? e : std::max(end, e);
            }
            av_packet_unref(pkt.get());
        }
        if (end != AV_NOPTS_VALUE) duration_ = std::max<int64_t>(0, end - startMicros());
    }
    Rewind();
}

void MediaInput::FindResetBetween(int64_t lo, int64_t loTime, int64_t hi) {
    while (hi - lo > kResetResolution) {
        const int64_t mid = lo + (hi - lo) / 2;
        const int64_t t = RawTimeAt(mid);
        if (t == AV_NOPTS_VALUE || t >= loTime - kClockReset) {
            lo = mid;
            if (t != AV_NOPTS_VALUE) loTime = std::max(loTime, t);
        } else {
            hi = mid;
        }
    }
    // Read across the place: packets timed well before the latest time seen belong to
    // the new part, the others to the old one (the last packet of a stream in the old
    // part can come out after the first ones of the new part).
    if (av_seek_frame(ctx_.get(), -1, std::max<int64_t>(0, lo - kResetResolution), AVSEEK_FLAG_BYTE) < 0) return;
    PacketPtr pkt = MakePacket();
    int64_t latest = AV_NOPTS_VALUE, oldEnd = AV_NOPTS_VALUE, newStart = AV_NOPTS_VALUE, resetPos = -1;
    int afterReset = 0;
    while (afterReset < 64 && av_read_frame(ctx_.get(), pkt.get()) >= 0) {
        const AVStream* st = ctx_->streams[pkt->stream_index];
        const int64_t ts = PacketTime(pkt.get());
        if (ts != AV_NOPTS_VALUE && pkt->pos >= 0) {
            const int64_t us = ToMicros(ts, st->time_base);
            const int64_t shown = ToMicros(ShowTime(pkt.get()), st->time_base);
            if (latest != AV_NOPTS_VALUE && us < latest - kClockReset) {
                newStart = newStart == AV_NOPTS_VALUE ? shown : std::min(newStart, shown);
                resetPos = resetPos < 0 ? pkt->pos : std::min(resetPos, pkt->pos);
            } else {
                latest = latest == AV_NOPTS_VALUE ? us : std::max(latest, us);
                const int64_t e = shown + ToMicros(std::max<int64_t>(pkt->duration, 0), st->time_base);
                oldEnd = oldEnd == AV_NOPTS_VALUE ? e : std::max(oldEnd, e);
            }
            if (resetPos >= 0) ++afterReset;
        }
        av_packet_unref(pkt.get());
    }
    if (resetPos < 0 || oldEnd == AV_NOPTS_VALUE) return;
    const int64_t before = parts_.empty() ? 0 : parts_.back().offsetMicros;
    parts_.push_back({resetPos, before + oldEnd - newStart});
}

int64_t MediaInput::OffsetAt(int64_t pos) const {
    int64_t offset = 0;
    for (const Part& p : parts_) {
        if (p.pos > pos) break;
        offset = p.offsetMicros;
    }
    return offset;
}

int MediaInput::ReadPacket(AVPacket* pkt) {
    const int rc = av_read_frame(ctx_.get(), pkt);
    if (rc < 0) return rc;
    const AVStream* st = ctx_->streams[pkt->stream_index];
    if (rawVideo_ && pkt->stream_index == videoIndex_) {
        // Packets come in decode order. A decoder that reorders gives picture n when it is
        // fed packet n + delay and times it by that packet's decode time, hence the delay
        // taken off when the packets are decoded; copied, they keep their place. A key
        // frame is shown at its own place in the order.
        const AVRational period = av_inv_q(rawRate_);
        const int64_t n = rawPictures_++;
        const int delay = videoDec_ ? std::max(videoDec_->has_b_frames, st->codecpar->video_delay) : 0;
        pkt->dts = av_rescale_q(n - delay, period, st->time_base);
        pkt->pts = (pkt->flags & AV_PKT_FLAG_KEY) ? av_rescale_q(n, period, st->time_base) : AV_NOPTS_VALUE;
        pkt->duration = av_rescale_q(1, period, st->time_base);
    } else if (!parts_.empty()) {
        if (pkt->pos >= 0) lastOffset_ = OffsetAt(pkt->pos);
        if (lastOffset_ != 0) {
            const int64_t shift = av_rescale_q(lastOffset_, AV_TIME_BASE_Q, st->time_base);
            if (pkt->pts != AV_NOPTS_VALUE) pkt->pts += shift;
            if (pkt->dts != AV_NOPTS_VALUE) pkt->dts += shift;
        }
    }
    if (const int64_t t = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
        t != AV_NOPTS_VALUE && (pkt->stream_index == videoIndex_ || pkt->stream_index == audioIndex_))
        readEnd_ = std::max(readEnd_, ToMicros(t + std::max<int64_t>(pkt->duration, 0), st->time_base));
    return rc;
}

Status OpenStreamDecoder(const AVStream* st, bool frameThreads, CodecContextPtr& dec) {
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

std::vector<int> MediaInput::SoundTracks() const {
    std::vector<int> out;
    if (audioIndex_ >= 0) out.push_back(audioIndex_);
    for (unsigned i = 0; i < ctx_->nb_streams; ++i)
        if (static_cast<int>(i) != audioIndex_ && Kept(static_cast<int>(i)) && IsAudioStream(ctx_->streams[i]) &&
            !RepeatsAnEarlierStream(ctx_.get(), i))
            out.push_back(static_cast<int>(i));
    return out;
}

std::vector<uint8_t> MediaInput::HeaderVideoExtradata(const std::string& path, const std::atomic<bool>* cancel) {
    InputFormatPtr ctx;
    if (!OpenContainer(path, cancel, ctx).ok()) return {};
    for (unsigned i = 0; i < ctx->nb_streams; ++i) {
        if (!IsRealVideoStream(ctx->streams[i])) continue;
        const std::span<const uint8_t> bytes = Extradata(ctx->streams[i]);
        return {bytes.begin(), bytes.end()};
    }
    return {};
}

Status MediaInput::OpenDecoders(bool withAudio, bool frameThreads) {
    if (videoIndex_ >= 0) {
        if (Status s = OpenStreamDecoder(video(), frameThreads, videoDec_); !s.ok()) return s;
    }
    if (audioIndex_ >= 0 && withAudio && !OpenStreamDecoder(audio(), frameThreads, audioDec_).ok())
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

bool MediaInput::SeekTo(int64_t targetMicros) {
    // A read that failed (cut short by the interrupt callback, as a stopped run's is) leaves the
    // I/O context marked as ended, with its error. FFmpeg's seek clears the mark only when it
    // moves the buffer: a short seek forward reads on to its place instead, stops at the mark
    // and fails, and so does every read after it. The buffer itself holds only whole reads, so
    // reading can start afresh from any position.
    if (AVIOContext* pb = ctx_->pb) {
        pb->eof_reached = 0;
        pb->error = 0;
    }
    const bool moved = Reposition(targetMicros);
    readEnd_ = INT64_MIN;  // reading starts again from the new position
    return moved;
}

bool MediaInput::SeekToWithSoundBefore(int64_t targetMicros) {
    if (!SeekTo(targetMicros)) return false;
    if (audioIndex_ < 0 || videoIndex_ < 0 || !std::strstr(ctx_->iformat->name, "matroska")) return true;
    const int64_t key = PeekFirstKeyMicros();
    // Longer than any sound frame a file holds (Vorbis' longest lasts 46 ms at 44.1 kHz).
    constexpr int64_t kSoundLead = 200000;
    if (key == AV_NOPTS_VALUE || key <= startMicros()) return SeekTo(targetMicros);
    if (av_seek_frame(ctx_.get(), -1, key - kSoundLead, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_ANY) < 0)
        return SeekTo(targetMicros);
    readEnd_ = INT64_MIN;
    return true;
}

bool MediaInput::Reposition(int64_t targetMicros) {
    if (rawVideo_) return RawSeekTo(targetMicros);
    if (ctx_->iformat->flags & AVFMT_TS_DISCONT) return ByteSeekTo(targetMicros);
    const bool reordered = videoIndex_ >= 0 && video()->codecpar->video_delay > 0;
    int64_t at = targetMicros;
    for (int step = 0;; ++step) {
        if (!SeekFrame(at)) return false;
        if (!reordered || at <= startMicros() || step == 4) return true;
        // The key frame found must show at or before the target; else step back 1, 2, 4,
        // 8 s. Peeking reads on, so the position is taken again.
        const int64_t first = PeekFirstKeyMicros();
        if (first == AV_NOPTS_VALUE || first <= targetMicros) return SeekFrame(at);
        at = std::max(startMicros(), at - (int64_t{1000000} << step));
    }
}

bool MediaInput::SeekFrame(int64_t targetMicros) {
    int rc = av_seek_frame(ctx_.get(), -1, targetMicros, AVSEEK_FLAG_BACKWARD);
    if (rc < 0) rc = av_seek_frame(ctx_.get(), -1, targetMicros, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_ANY);
    return rc >= 0;
}

int64_t MediaInput::PeekFirstKeyMicros() {
    const int main = videoIndex_ >= 0 ? videoIndex_ : audioIndex_;
    PacketPtr pkt = MakePacket();
    for (int n = 0; n < 5000 && ReadPacket(pkt.get()) >= 0; ++n) {
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
