// Side tracks of a direct job: which ones an output keeps, how text subtitles change format,
// and how their packets are timed onto the output.
#include "engine/side_tracks.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavcodec/codec_desc.h>
}

#include "engine/stream_meta.h"

namespace ulvane {

namespace {}  // namespace

bool HoldsSeveralSoundTracks(const AVOutputFormat* ofmt) {
    static const char* const kNames[] = {"matroska", "webm", "mov", "mp4",    "3gp",  "3g2", "ipod", "ismv", "psp",
                                         "f4v",      "avi",  "asf", "mpegts", "mpeg", "vob", "dvd",  "nut"};
    for (const char* n : kNames)
        if (std::strcmp(ofmt->name, n) == 0) return true;
    return false;
}

namespace {

bool IsTextSubtitle(AVCodecID id) {
    const AVCodecDescriptor* d = avcodec_descriptor_get(id);
    return d && d->type == AVMEDIA_TYPE_SUBTITLE && (d->props & AV_CODEC_PROP_TEXT_SUB);
}

enum class Keep { Copy, Convert, Drop };

// How an output keeps a side track: copied, converted to the container's text subtitle
// format (`target`), or left out.
Keep HowToKeep(const AVStream* st, const AVOutputFormat* ofmt, AVCodecID& target) {
    const AVCodecID id = st->codecpar->codec_id;
    target = id;
    if (IsAttachment(st)) {
        // Matroska keeps attachments by name and type; without them it cannot.
        if (std::strcmp(ofmt->name, "matroska") == 0)
            return av_dict_get(st->metadata, "filename", nullptr, 0) &&
                           av_dict_get(st->metadata, "mimetype", nullptr, 0)
                       ? Keep::Copy
                       : Keep::Drop;
        // MP3 and MP4 files keep a JPEG or PNG cover.
        const bool cover = st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
                           (id == AV_CODEC_ID_MJPEG || id == AV_CODEC_ID_PNG) && st->attached_pic.size > 0;
        for (const char* n : {"mp3", "mp4", "mov", "ipod"})
            if (cover && std::strcmp(ofmt->name, n) == 0) return Keep::Copy;
        return Keep::Drop;
    }
    switch (st->codecpar->codec_type) {
        case AVMEDIA_TYPE_AUDIO:
            // Containers without a codec list (MPEG-TS) take what their readers know.
            return HoldsSeveralSoundTracks(ofmt) && avformat_query_codec(ofmt, id, FF_COMPLIANCE_NORMAL) != 0
                       ? Keep::Copy
                       : Keep::Drop;
        case AVMEDIA_TYPE_SUBTITLE: {
            const int known = avformat_query_codec(ofmt, id, FF_COMPLIANCE_NORMAL);
            // MPEG-TS carries bitmap subtitles and teletext without listing them.
            if (known == 1 || (known < 0 && !IsTextSubtitle(id))) return Keep::Copy;
            // The container's own text format: the one it names, else the first it holds.
            if (!IsTextSubtitle(id) || !avcodec_find_decoder(id)) return Keep::Drop;
            for (AVCodecID own : {ofmt->subtitle_codec, AV_CODEC_ID_MOV_TEXT, AV_CODEC_ID_SUBRIP, AV_CODEC_ID_ASS,
                                  AV_CODEC_ID_WEBVTT}) {
                if (IsTextSubtitle(own) && avcodec_find_encoder(own) &&
                    avformat_query_codec(ofmt, own, FF_COMPLIANCE_NORMAL) == 1) {
                    target = own;
                    return Keep::Convert;
                }
            }
            return Keep::Drop;
        }
        default:
            return Keep::Drop;
    }
}

// The input streams that are side tracks, in order.
std::vector<int> SideStreamsOf(const MediaInput& in) {
    std::vector<int> out;
    for (unsigned i = 0; i < in.ctx()->nb_streams; ++i)
        if (IsSideStream(in, static_cast<int>(i))) out.push_back(static_cast<int>(i));
    return out;
}

const char* KindName(AVMediaType type) {
    return type == AVMEDIA_TYPE_AUDIO ? "sound track" : type == AVMEDIA_TYPE_SUBTITLE ? "subtitle track" : "attachment";
}

// The kind a side track is counted as: attached pictures are attachments.
AVMediaType KindOf(const AVStream* st) {
    return IsAttachment(st) ? AVMEDIA_TYPE_ATTACHMENT : st->codecpar->codec_type;
}

// "sound track 2 (ac3)": the stream's place among the input's streams of its kind.
std::string TrackName(const MediaInput& in, int index) {
    const AVFormatContext* ctx = in.ctx();
    const AVStream* st = ctx->streams[index];
    int number = 0;
    for (int i = 0; i <= index; ++i) number += KindOf(ctx->streams[i]) == KindOf(st) ? 1 : 0;
    return std::string(KindName(KindOf(st))) + " " + std::to_string(number) + " (" +
           avcodec_get_name(st->codecpar->codec_id) + ")";
}

// The side tracks of `in` that an output keeps and that carry packets, in order: what a later
// input of a join must match. Attachments are left out: the first file's are the output's.
std::vector<int> CarriedStreams(const MediaInput& in, const AVOutputFormat* ofmt) {
    std::vector<int> out;
    for (int index : SideStreamsOf(in)) {
        const AVStream* st = in.ctx()->streams[index];
        AVCodecID target = AV_CODEC_ID_NONE;
        if (!IsAttachment(st) && HowToKeep(st, ofmt, target) != Keep::Drop) out.push_back(index);
    }
    return out;
}

std::vector<const OutputSink::SideTrack*> CarryingTracks(const OutputSink& sink) {
    std::vector<const OutputSink::SideTrack*> out;
    for (const OutputSink::SideTrack& t : sink.sideTracks)
        if (t.kind != AVMEDIA_TYPE_ATTACHMENT) out.push_back(&t);
    return out;
}

}  // namespace

// Decodes a text subtitle and encodes its text again in another text format.
class SubtitleConverter {
public:
    Status Open(const AVStream* in, AVCodecID target, AVCodecParameters* outPar) {
        const AVCodec* decoder = avcodec_find_decoder(in->codecpar->codec_id);
        const AVCodec* encoder = avcodec_find_encoder(target);
        if (!decoder || !encoder) return Status::Failed("no subtitle converter");
        dec_.reset(avcodec_alloc_context3(decoder));
        enc_.reset(avcodec_alloc_context3(encoder));
        if (!dec_ || !enc_ || avcodec_parameters_to_context(dec_.get(), in->codecpar) < 0)
            return Status::Failed("out of memory");
        dec_->pkt_timebase = in->time_base;
        if (avcodec_open2(dec_.get(), decoder, nullptr) < 0) return Status::Failed("cannot read the subtitles");
        enc_->time_base = in->time_base;
        // The decoder describes its styles as an ASS header, which every text encoder reads.
        if (dec_->subtitle_header && dec_->subtitle_header_size > 0) {
            enc_->subtitle_header = static_cast<uint8_t*>(av_mallocz(dec_->subtitle_header_size + 1));
            if (!enc_->subtitle_header) return Status::Failed("out of memory");
            std::memcpy(enc_->subtitle_header, dec_->subtitle_header, dec_->subtitle_header_size);
            enc_->subtitle_header_size = dec_->subtitle_header_size;
        }
        if (avcodec_open2(enc_.get(), encoder, nullptr) < 0) return Status::Failed("cannot write the subtitles");
        if (avcodec_parameters_from_context(outPar, enc_.get()) < 0) return Status::Failed("out of memory");
        return {};
    }

    // The packet's text in the target format; false when it holds none (or cannot be read).
    bool Convert(const AVPacket* in, PacketPtr& out) {
        AVSubtitle sub{};
        int got = 0;
        if (avcodec_decode_subtitle2(dec_.get(), &sub, &got, const_cast<AVPacket*>(in)) < 0 || !got) return false;
        sub.end_display_time -= sub.start_display_time;
        sub.start_display_time = 0;
        std::vector<uint8_t> buffer(1 << 16);
        const int bytes = avcodec_encode_subtitle(enc_.get(), buffer.data(), static_cast<int>(buffer.size()), &sub);
        const uint32_t shownMillis = sub.end_display_time;
        avsubtitle_free(&sub);
        out = MakePacket();
        if (bytes <= 0 || !out || av_new_packet(out.get(), bytes) < 0) return false;
        std::memcpy(out->data, buffer.data(), static_cast<size_t>(bytes));
        out->pts = in->pts;
        out->dts = in->dts;
        out->duration =
            in->duration > 0 ? in->duration : av_rescale_q(shownMillis, AVRational{1, 1000}, dec_->pkt_timebase);
        out->flags = AV_PKT_FLAG_KEY;
        return true;
    }

private:
    CodecContextPtr dec_, enc_;
};

bool IsAttachment(const AVStream* st) {
    return st->codecpar->codec_type == AVMEDIA_TYPE_ATTACHMENT ||
           (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && (st->disposition & AV_DISPOSITION_ATTACHED_PIC));
}

bool IsSideStream(const MediaInput& in, int index) {
    if (index == in.videoIndex() || index == in.audioIndex() || !in.Kept(index)) return false;
    if (RepeatsAnEarlierStream(in.ctx(), static_cast<unsigned>(index))) return false;
    const AVStream* st = in.ctx()->streams[index];
    const AVMediaType type = st->codecpar->codec_type;
    return type == AVMEDIA_TYPE_AUDIO || type == AVMEDIA_TYPE_SUBTITLE || IsAttachment(st);
}

Status SetUpSideTrack(const MediaInput& in, int index, OutputSink& sink, std::string& dropped) {
    const AVStream* st = in.ctx()->streams[index];
    AVCodecID target = AV_CODEC_ID_NONE;
    const Keep keep = HowToKeep(st, sink.ctx()->oformat, target);
    if (keep == Keep::Drop) {
        dropped += (dropped.empty() ? "" : ", ") + TrackName(in, index);
        return {};
    }
    AVStream* out = nullptr;
    if (Status s = sink.AddStream(out); !s.ok()) return s;
    if (keep == Keep::Copy) {
        if (avcodec_parameters_copy(out->codecpar, st->codecpar) < 0)
            return Status::Failed("cannot copy the stream parameters");
        out->codecpar->codec_tag = 0;
    } else {
        SubtitleConverter probe;  // checks the conversion works and gives the output's parameters
        if (Status s = probe.Open(st, target, out->codecpar); !s.ok()) return s;
    }
    out->time_base = st->time_base;
    if (IsAttachment(st) && std::strcmp(sink.ctx()->oformat->name, "matroska") != 0) {
        // Cover art of an MP3 or MP4 file: a picture stream with its one picture.
        av_dict_copy(&out->metadata, st->metadata, 0);
        out->disposition = AV_DISPOSITION_ATTACHED_PIC;
        PacketPtr picture = MakePacket();
        if (!picture || av_packet_ref(picture.get(), &st->attached_pic) < 0) return Status::Failed("out of memory");
        picture->flags |= AV_PKT_FLAG_KEY;
        sink.sideTracks.push_back({out, AVMEDIA_TYPE_ATTACHMENT, st->codecpar->codec_id, std::move(picture)});
        return {};
    }
    if (IsAttachment(st)) {
        av_dict_copy(&out->metadata, st->metadata, 0);
        if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
            // An image attachment reads as a picture stream; it is written back as the file it is.
            const AVPacket& pic = st->attached_pic;
            avcodec_parameters_free(&out->codecpar);
            out->codecpar = avcodec_parameters_alloc();
            if (!out->codecpar || pic.size <= 0) return Status::Failed("cannot copy the attachment");
            out->codecpar->codec_type = AVMEDIA_TYPE_ATTACHMENT;
            out->codecpar->codec_id = st->codecpar->codec_id;
            out->codecpar->extradata = static_cast<uint8_t*>(av_mallocz(pic.size + AV_INPUT_BUFFER_PADDING_SIZE));
            if (!out->codecpar->extradata) return Status::Failed("out of memory");
            std::memcpy(out->codecpar->extradata, pic.data, static_cast<size_t>(pic.size));
            out->codecpar->extradata_size = pic.size;
        }
    } else {
        CopyStreamLooks(st, out, false);
    }
    sink.sideTracks.push_back({out, KindOf(st), st->codecpar->codec_id, nullptr});
    return {};
}

std::vector<TrackChange> SideTrackChanges(const MediaInput& in, const AVOutputFormat* ofmt) {
    std::vector<TrackChange> changes;
    const AVFormatContext* ctx = in.ctx();
    for (int index : SideStreamsOf(in)) {
        AVCodecID target = AV_CODEC_ID_NONE;
        const AVStream* st = ctx->streams[index];
        const Keep keep = HowToKeep(st, ofmt, target);
        if (keep != Keep::Drop && keep != Keep::Convert) continue;
        TrackChange c;
        const AVMediaType kind = KindOf(st);
        c.kind = kind == AVMEDIA_TYPE_AUDIO ? 'a' : kind == AVMEDIA_TYPE_SUBTITLE ? 's' : 't';
        for (int i = 0; i <= index; ++i) c.number += KindOf(ctx->streams[i]) == kind ? 1 : 0;
        c.codec = avcodec_get_name(st->codecpar->codec_id);
        if (keep == Keep::Convert) c.convertedTo = avcodec_get_name(target);
        changes.push_back(std::move(c));
    }
    return changes;
}

std::string ChangeText(const TrackChange& c) {
    const char* kind = c.kind == 'a' ? "sound track" : c.kind == 's' ? "subtitle track" : "attachment";
    return std::string(kind) + " " + std::to_string(c.number) + " (" + c.codec +
           "): " + (c.convertedTo.empty() ? "left out" : "converted to " + c.convertedTo);
}

Status CheckSideTracks(const MediaInput& in, const OutputSink& sink) {
    const std::vector<int> mine = CarriedStreams(in, sink.ctx()->oformat);
    const std::vector<const OutputSink::SideTrack*> first = CarryingTracks(sink);
    for (size_t k = 0; k < mine.size(); ++k) {
        const AVCodecParameters* par = in.ctx()->streams[mine[k]]->codecpar;
        if (k >= first.size())
            return Status::Failed("it has a " + TrackName(in, mine[k]) +
                                  " the first file lacks; join these files with re-encoding");
        if (first[k]->kind != par->codec_type || first[k]->sourceCodec != par->codec_id)
            return Status::Failed("its " + TrackName(in, mine[k]) + " differs from the first file's track there (" +
                                  avcodec_get_name(first[k]->sourceCodec) + "); join these files with re-encoding");
    }
    if (mine.size() < first.size()) {
        const OutputSink::SideTrack& missing = *first[mine.size()];
        // Its number among the first file's tracks of its kind (the main sound is sound track 1).
        int number = missing.kind == AVMEDIA_TYPE_AUDIO ? 1 : 0;
        for (size_t j = 0; j <= mine.size(); ++j) number += first[j]->kind == missing.kind ? 1 : 0;
        return Status::Failed(std::string("it lacks the first file's ") + KindName(missing.kind) + " " +
                              std::to_string(number) + " (" + avcodec_get_name(missing.sourceCodec) +
                              "); join these files with re-encoding");
    }
    return {};
}

struct SideTracks::Track {
    const AVStream* in = nullptr;
    AVStream* out = nullptr;
    bool sound = false;
    std::unique_ptr<SubtitleConverter> converter;
    std::deque<PacketPtr> waiting;
    bool done = false;
    int64_t lastTaken = AV_NOPTS_VALUE;  // a subtitle read twice (gathered, then read again) is taken once
};

SideTracks::SideTracks(MediaInput& in, OutputSink& sink) : in_(in), sink_(sink) {
    trackOf_.assign(in.ctx()->nb_streams, -1);
    const AVOutputFormat* ofmt = sink.ctx()->oformat;
    const std::vector<int> mine = CarriedStreams(in, ofmt);
    const std::vector<const OutputSink::SideTrack*> outputs = CarryingTracks(sink);
    for (size_t k = 0; k < mine.size() && k < outputs.size(); ++k) {
        const AVStream* st = in.ctx()->streams[mine[k]];
        AVCodecID target = AV_CODEC_ID_NONE;
        auto t = std::make_unique<Track>();
        t->in = st;
        t->out = outputs[k]->stream;
        t->sound = st->codecpar->codec_type == AVMEDIA_TYPE_AUDIO;
        if (HowToKeep(st, ofmt, target) == Keep::Convert) {
            t->converter = std::make_unique<SubtitleConverter>();
            AVCodecParameters* scratch = avcodec_parameters_alloc();
            const bool opened = scratch && t->converter->Open(st, target, scratch).ok();
            avcodec_parameters_free(&scratch);
            if (!opened) continue;
        }
        anySubtitles_ |= !t->sound;
        trackOf_[mine[k]] = static_cast<int>(tracks_.size());
        tracks_.push_back(std::move(t));
    }
}

SideTracks::~SideTracks() = default;

void SideTracks::GatherShownAt(MediaInput& in, int64_t atMicros) {
    if (!anySubtitles_) return;
    constexpr int64_t kLongestSubtitle = 60 * 1000000LL;
    if (!in.SeekTo(atMicros - kLongestSubtitle)) return;
    const int main = in.videoIndex() >= 0 ? in.videoIndex() : in.audioIndex();
    for (int read = 0; read < 100000; ++read) {
        PacketPtr pkt = MakePacket();
        if (in.ReadPacket(pkt.get()) < 0) break;
        const int index = pkt->stream_index;
        if (index == main) {
            const int64_t t = pkt->dts != AV_NOPTS_VALUE ? pkt->dts : pkt->pts;
            if (t != AV_NOPTS_VALUE && ToMicros(t, in.ctx()->streams[index]->time_base) >= atMicros) break;
        } else if (Owns(index) && !tracks_[trackOf_[index]]->sound) {
            (void)Take(std::move(pkt));
        }
    }
}

Status SideTracks::Take(PacketPtr pkt) {
    Track& t = *tracks_[trackOf_[pkt->stream_index]];
    if (t.done) return {};
    if (!t.sound && pkt->pts != AV_NOPTS_VALUE) {
        if (t.lastTaken != AV_NOPTS_VALUE && pkt->pts <= t.lastTaken) return {};
        t.lastTaken = pkt->pts;
    }
    t.waiting.push_back(std::move(pkt));
    if (t.waiting.size() > 4096) t.waiting.pop_front();  // a bounded backlog before the start is known
    return Release(t);
}

Status SideTracks::Begin(int64_t fromMicros, int64_t shiftMicros, bool holdStart) {
    begun_ = true;
    from_ = fromMicros;
    shift_ = shiftMicros;
    holdStart_ = holdStart;
    for (auto& t : tracks_)
        if (Status s = Release(*t); !s.ok()) return s;
    return {};
}

Status SideTracks::Limit(int64_t limitMicros, bool final) {
    limit_ = limitMicros;
    final_ = final;
    if (final && begun_ && !chaptersAdded_) AddChapters();
    for (auto& t : tracks_)
        if (Status s = Release(*t); !s.ok()) return s;
    return {};
}

void SideTracks::Reset() {
    begun_ = final_ = chaptersAdded_ = false;
    limit_ = INT64_MAX;
    readAfterMain_ = 0;
    for (auto& t : tracks_) {
        t->waiting.clear();
        t->done = false;
        t->lastTaken = AV_NOPTS_VALUE;
    }
}

bool SideTracks::Done() const {
    return std::all_of(tracks_.begin(), tracks_.end(), [](const auto& t) { return !t->sound || t->done; });
}

// The chapters of the input that begin before the limit and end after the beginning, cut to
// both and moved onto the output timeline. Muxers read them when they finish the file.
void SideTracks::AddChapters() {
    chaptersAdded_ = true;
    const AVFormatContext* src = in_.ctx();
    for (unsigned i = 0; i < src->nb_chapters; ++i) {
        const AVChapter* c = src->chapters[i];
        const int64_t start = std::max(ToMicros(c->start, c->time_base), from_);
        const int64_t end = std::min(ToMicros(c->end, c->time_base), limit_);
        if (start >= limit_ || end <= start) continue;
        if (!sink_.AddChapter(start + shift_, end + shift_, c->metadata)) return;
    }
}

Status SideTracks::Release(Track& t) {
    if (!begun_) return {};
    while (!t.waiting.empty()) {
        AVPacket* p = t.waiting.front().get();
        const int64_t raw = p->pts != AV_NOPTS_VALUE ? p->pts : p->dts;
        if (raw == AV_NOPTS_VALUE) {
            t.waiting.pop_front();
            continue;
        }
        int64_t at = ToMicros(raw, t.in->time_base);
        int64_t dur = std::max<int64_t>(0, ToMicros(p->duration, t.in->time_base));
        if (at >= limit_) {
            if (!final_) return {};  // decided when the pictures end
            if (t.sound) t.done = true;
            t.waiting.clear();
            return {};
        }
        bool keep = true;
        if (t.sound) {
            keep = holdStart_ ? at + dur > from_ : at >= from_;
        } else if (at < from_) {
            // A subtitle already on screen where the output begins is shown from there on. One
            // without a duration (a bitmap page, cleared by the next one) moves to the start with
            // what follows it: a page cleared before the start is cleared there again.
            keep = dur > 0 ? at + dur > from_ : !IsTextSubtitle(t.in->codecpar->codec_id);
            dur = dur > 0 ? at + dur - from_ : 0;
            at = from_;
        }
        if (!t.sound && limit_ != INT64_MAX && at + dur > limit_) {
            // A subtitle still shown at the end is cut there, where the pictures end; that is
            // known once they have.
            if (!final_) return {};
            dur = limit_ - at;
        }
        if (keep) {
            if (Status s = Emit(t, p, at, dur); !s.ok()) return s;
        }
        t.waiting.pop_front();
    }
    return {};
}

Status SideTracks::Emit(Track& t, AVPacket* pkt, int64_t atMicros, int64_t durMicros) {
    PacketPtr converted;
    if (t.converter) {
        if (!t.converter->Convert(pkt, converted)) return {};  // nothing to show
        pkt = converted.get();
        if (durMicros == 0) durMicros = std::max<int64_t>(0, ToMicros(pkt->duration, t.in->time_base));
    }
    const AVRational tb = t.out->time_base;
    const int64_t pts = av_rescale_q(atMicros + shift_, AV_TIME_BASE_Q, tb);
    int64_t dts = pts;
    if (t.sound && pkt->dts != AV_NOPTS_VALUE && pkt->pts != AV_NOPTS_VALUE)
        dts = av_rescale_q(ToMicros(pkt->dts, t.in->time_base) + shift_, AV_TIME_BASE_Q, tb);
    pkt->pts = pts;
    pkt->dts = std::min(dts, pts);
    pkt->duration = av_rescale_q(durMicros, AV_TIME_BASE_Q, tb);
    pkt->stream_index = t.out->index;
    return sink_.Write(pkt);
}

}  // namespace ulvane
