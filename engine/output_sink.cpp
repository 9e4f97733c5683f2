// Output container handling: creation, header, timestamp repair, trailer, clean-up.
#include "engine/output_sink.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

extern "C" {
#include <libavutil/mathematics.h>
#include <libavutil/opt.h>
#include <libavutil/time.h>
}

#include "engine/atomic_file.h"
#include "engine/track_enabled_flags.h"

namespace ulvane {

namespace {

// A QuickTime file names a track's language by a Macintosh code, which FFmpeg finds from the
// bibliographic ISO 639-2 code only: the terminological ones that differ ("deu" for German,
// as Matroska and MP4 files often have) would be lost.
void KeepLanguagesInMov(AVFormatContext* ctx) {
    static const char* const kBibliographic[][2] = {
        {"sqi", "alb"}, {"hye", "arm"}, {"eus", "baq"}, {"mya", "bur"}, {"zho", "chi"}, {"ces", "cze"}, {"nld", "dut"},
        {"fra", "fre"}, {"kat", "geo"}, {"deu", "ger"}, {"ell", "gre"}, {"isl", "ice"}, {"mkd", "mac"}, {"mri", "mao"},
        {"msa", "may"}, {"fas", "per"}, {"ron", "rum"}, {"slk", "slo"}, {"bod", "tib"}, {"cym", "wel"}};
    for (unsigned i = 0; i < ctx->nb_streams; ++i) {
        const AVDictionaryEntry* e = av_dict_get(ctx->streams[i]->metadata, "language", nullptr, 0);
        if (!e) continue;
        for (const auto& pair : kBibliographic)
            if (std::strcmp(e->value, pair[0]) == 0) {
                av_dict_set(&ctx->streams[i]->metadata, "language", pair[1], 0);
                break;
            }
    }
}

}  // namespace

OutputSink::~OutputSink() {
    if (finished_) return;
    if (headerWritten_ && packets_ > 0)
        Finish();
    else
        Abandon();
}

bool OutputSink::GuessFormat(const std::string& path) {
    return av_guess_format(nullptr, path.c_str(), nullptr) != nullptr;
}

Status OutputSink::Create(const std::string& path, const std::atomic<bool>* cancel) {
    const AVOutputFormat* fmt = av_guess_format(nullptr, path.c_str(), nullptr);
    if (!fmt) return Status::Failed("no output container for the name " + path);
    AVFormatContext* raw = nullptr;
    if (avformat_alloc_output_context2(&raw, fmt, nullptr, path.c_str()) < 0 || !raw)
        return Status::Failed("cannot create the output container");
    ctx_.reset(raw);
    path_ = path;
    cancel_ = cancel;
    return {};
}

int OutputSink::InterruptOpen(void* sink) {
    const auto* s = static_cast<const OutputSink*>(sink);
    return s->opening_ && s->cancel_ && s->cancel_->load() ? 1 : 0;
}

Status OutputSink::AddStream(AVStream*& stream) {
    stream = avformat_new_stream(ctx_.get(), nullptr);
    if (!stream) return Status::Failed("cannot add a stream to the output");
    return {};
}

bool OutputSink::StoresBothTimes() const {
    const char* name = ctx_->oformat->name;
    return std::strcmp(name, "matroska") != 0 && std::strcmp(name, "webm") != 0 && std::strcmp(name, "avi") != 0;
}

Status OutputSink::Open() {
    if (ctx_->nb_streams == 0) return Status::Failed("the output would have no stream");
    if (!(ctx_->oformat->flags & AVFMT_NOFILE)) {
        // The part file is created exclusively, so the open below (which truncates) only
        // ever meets this job's own empty file; nobody else's is touched.
        std::string error;
        partPath_ = CreatePartFile(path_, error);
        if (partPath_.empty()) return Status::Failed(error);
        AVIOContext* io = nullptr;
        const AVIOInterruptCB interrupt{InterruptOpen, this};
        opening_ = true;
        int rc = avio_open2(&io, OpenName(partPath_).c_str(), AVIO_FLAG_WRITE, &interrupt, nullptr);
        opening_ = false;
        if (rc < 0) {
            ::unlink(partPath_.c_str());
            return Status::Failed("cannot create the output file " + partPath_ + ": " + AvErrorText(rc));
        }
        file_.reset(io);
        ctx_->pb = io;
        fileCreated_ = true;
    }
    // MPEG program streams hold back half a second by default, which would start the
    // output at 0.5 s; our timestamps already start at 0.
    Dictionary opts;
    if (ctx_->oformat->priv_class &&
        av_opt_find(const_cast<AVClass**>(&ctx_->oformat->priv_class), "preload", nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ))
        opts.Set("preload", "0");
    // Matroska's CRC-32 elements are optional, and computing them over every cluster costs
    // as much CPU as the rest of a direct join together.
    if (ctx_->oformat->priv_class && av_opt_find(const_cast<AVClass**>(&ctx_->oformat->priv_class), "write_crc32",
                                                 nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ))
        opts.Set("write_crc32", "0");
    if (std::strcmp(ctx_->oformat->name, "mov") == 0) KeepLanguagesInMov(ctx_.get());
    int rc = avformat_write_header(ctx_.get(), opts.address());
    if (rc < 0) {
        Abandon();
        return Status::Failed("cannot write the output header: " + AvErrorText(rc));
    }
    headerWritten_ = true;
    // Cover art goes first: readers (and the MP3 writer) expect it before the sound.
    for (SideTrack& t : sideTracks) {
        if (!t.picture) continue;
        t.picture->stream_index = t.stream->index;
        t.picture->pts = t.picture->dts = 0;
        if (Status s = Write(t.picture.get()); !s.ok()) return s;
        t.picture.reset();
    }
    return {};
}

Status OutputSink::Write(AVPacket* pkt) {
    const int index = pkt->stream_index;
    if (index < 0 || static_cast<size_t>(index) >= ctx_->nb_streams) return Status::Failed("no such output stream");
    if (clocks_.size() < ctx_->nb_streams) clocks_.resize(ctx_->nb_streams);
    Clock& c = clocks_[index];
    if (pkt->dts == AV_NOPTS_VALUE) {
        // Demuxers leave the decode time of the first pictures of a reordered stream open
        // (Matroska does). Its presentation time is no substitute: it can lie past the
        // pictures that follow, so take the smallest step on from the last decode time.
        const bool reordered = ctx_->streams[index]->codecpar->video_delay > 0;
        if (c.lastDts == AV_NOPTS_VALUE || (!reordered && pkt->pts != AV_NOPTS_VALUE))
            pkt->dts = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : 0;
        else
            pkt->dts = c.lastDts + 1;
    }
    if (c.lastDts != AV_NOPTS_VALUE && pkt->dts <= c.lastDts) pkt->dts = c.lastDts + 1;
    if (pkt->pts == AV_NOPTS_VALUE || pkt->pts < pkt->dts) pkt->pts = pkt->dts;
    if (pkt->duration < 0) pkt->duration = 0;
    c.lastDts = pkt->dts;
    c.endTs = std::max(c.endTs, pkt->pts + pkt->duration);
    pkt->pos = -1;
    if (!writeFailure_.ok()) return writeFailure_;
    // A file whose folder is removed can still be written, into nothing: look now and then.
    if (const int64_t now = av_gettime_relative(); fileCreated_ && now - lastPresenceCheck_ > 500000) {
        lastPresenceCheck_ = now;
        if (struct stat st{}; ::stat(partPath_.c_str(), &st) != 0) {
            writeFailure_ = Status::Failed("the output file " + partPath_ +
                                           " is gone: its folder was removed or renamed while it was written");
            return writeFailure_;
        }
    }
    int rc = av_interleaved_write_frame(ctx_.get(), pkt);
    if (rc >= 0 && ctx_->pb && ctx_->pb->error < 0) rc = ctx_->pb->error;
    if (rc < 0) {
        writeFailure_ = Status::Failed("cannot write to the output file " + path_ + ": " + AvErrorText(rc));
        return writeFailure_;
    }
    ++packets_;
    return {};
}

int64_t OutputSink::EndMicros(const AVStream* st) const {
    if (!st || st->index < 0 || static_cast<size_t>(st->index) >= clocks_.size()) return 0;
    return av_rescale_q(clocks_[st->index].endTs, st->time_base, AV_TIME_BASE_Q);
}

int64_t OutputSink::EndMicros() const {
    return std::max(EndMicros(video), EndMicros(audio));
}

void OutputSink::RunSoundOn(int64_t startMicros, int64_t codedMicros, int64_t durationMicros) {
    if (startMicros == AV_NOPTS_VALUE) return;
    if (codedMicros > 0 && soundEnd_ != AV_NOPTS_VALUE && std::llabs(startMicros - soundEnd_) < codedMicros / 2) {
        soundEnd_ += codedMicros;
        return;
    }
    const int64_t end = startMicros + (codedMicros > 0 ? codedMicros : std::max<int64_t>(durationMicros, 0));
    soundEnd_ = soundEnd_ == AV_NOPTS_VALUE ? end : std::max(soundEnd_, end);
}

bool OutputSink::AddChapter(int64_t startMicros, int64_t endMicros, const AVDictionary* metadata) {
    AVFormatContext* out = ctx_.get();
    void* grown = av_realloc_array(out->chapters, out->nb_chapters + 1, sizeof(AVChapter*));
    if (!grown) return false;
    out->chapters = static_cast<AVChapter**>(grown);
    auto* ch = static_cast<AVChapter*>(av_mallocz(sizeof(AVChapter)));
    if (!ch) return false;
    ch->id = static_cast<int64_t>(out->nb_chapters) + 1;
    ch->time_base = AVRational{1, 1000};
    ch->start = av_rescale_q(startMicros, AV_TIME_BASE_Q, ch->time_base);
    ch->end = av_rescale_q(endMicros, AV_TIME_BASE_Q, ch->time_base);
    av_dict_copy(&ch->metadata, metadata, 0);
    out->chapters[out->nb_chapters++] = ch;
    return true;
}

void OutputSink::ClearChapters() {
    AVFormatContext* out = ctx_.get();
    for (unsigned k = 0; k < out->nb_chapters; ++k) {
        av_dict_free(&out->chapters[k]->metadata);
        av_freep(&out->chapters[k]);
    }
    av_freep(&out->chapters);
    out->nb_chapters = 0;
}

int64_t OutputSink::SoundEndMicros() const {
    return soundEnd_ != AV_NOPTS_VALUE ? soundEnd_ : EndMicros(audio);
}

Status OutputSink::Finish() {
    if (finished_) return writeFailure_;
    if (!writeFailure_.ok() || !headerWritten_ || packets_ == 0) {
        Abandon();
        return writeFailure_;
    }
    // A writer that works out its packets' length from the stream's at the end (CAF, for
    // sound whose packets do not say) finds it here: a copied stream is not told it otherwise.
    for (unsigned k = 0; k < ctx_->nb_streams && k < clocks_.size(); ++k)
        if (ctx_->streams[k]->duration <= 0) ctx_->streams[k]->duration = clocks_[k].endTs;
    int rc = av_write_trailer(ctx_.get());
    if (rc < 0) {
        writeFailure_ = Status::Failed("cannot finish the output file " + path_ + ": " + AvErrorText(rc));
    } else if (fileCreated_) {
        // What is still buffered reaches the disk only here; a full disk shows now.
        avio_flush(ctx_->pb);
        rc = ctx_->pb->error;
        ctx_->pb = nullptr;
        AVIOContext* io = file_.release();
        const int closed = avio_closep(&io);
        if (rc >= 0) rc = closed;
        if (rc < 0) {
            writeFailure_ = Status::Failed("cannot finish the output file " + path_ + ": " + AvErrorText(rc));
        } else if (struct stat st{}; ::stat(partPath_.c_str(), &st) != 0) {
            writeFailure_ = Status::Failed("the output file " + partPath_ +
                                           " is gone: its folder was removed or renamed while it was written");
        } else if (Status off = TurnOffTracks(partPath_, HiddenSubtitleTracks()); !off.ok()) {
            writeFailure_ = std::move(off);
        } else if (std::string error, placed = PlaceWithoutReplacing(partPath_, path_, error); placed.empty()) {
            writeFailure_ = Status::Failed(error);
        } else {
            path_ = std::move(placed);
        }
    }
    if (!writeFailure_.ok()) {
        Abandon();
        return writeFailure_;
    }
    finished_ = true;
    return {};
}

std::vector<uint32_t> OutputSink::HiddenSubtitleTracks() const {
    std::vector<uint32_t> ids;
    if (!WrittenAsMp4(ctx_->oformat->name)) return ids;
    // The MP4 writer enables the first subtitle track when none is the default, and readers
    // then show it unasked: only the default one may stay enabled.
    for (unsigned i = 0; i < ctx_->nb_streams; ++i) {
        const AVStream* st = ctx_->streams[i];
        if (st->codecpar->codec_type == AVMEDIA_TYPE_SUBTITLE && !(st->disposition & AV_DISPOSITION_DEFAULT))
            ids.push_back(i + 1);
    }
    return ids;
}

void OutputSink::CloseFile() {
    ctx_->pb = nullptr;
    file_.reset();
}

void OutputSink::Abandon() {
    if (finished_) return;
    finished_ = true;
    if (ctx_ && fileCreated_) {
        CloseFile();
        ::unlink(partPath_.c_str());
    }
}

}  // namespace ulvane
