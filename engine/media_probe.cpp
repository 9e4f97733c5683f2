// The media probe.
#include "engine/media_probe.h"

#include <cctype>
#include <cmath>
#include <cstring>

#include <algorithm>
#include <optional>
#include <set>

extern "C" {
#include <libavutil/display.h>
}

#include "engine/decode_loop.h"
#include "engine/media_input.h"
#include "engine/nal_units.h"
#include "engine/side_tracks.h"

namespace ulvane {

namespace {

// Duration of a file whose container does not state one (a live recording, say): the
// end of the last packets, read from the file's tail when it can seek, else from the start.
int64_t EstimateDuration(MediaInput& in) {
    AVFormatContext* ctx = in.ctx();
    const int64_t size = ctx->pb ? avio_size(ctx->pb) : -1;
    if (size > 0 && (ctx->iformat->flags & AVFMT_NO_BYTE_SEEK) == 0)
        av_seek_frame(ctx, -1, std::max<int64_t>(0, size - (4 << 20)), AVSEEK_FLAG_BYTE);
    int64_t end = AV_NOPTS_VALUE;
    PacketPtr pkt = MakePacket();
    for (int n = 0; n < 200000 && in.ReadPacket(pkt.get()) >= 0; ++n) {
        const AVStream* st = ctx->streams[pkt->stream_index];
        const int64_t ts = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
        if (ts != AV_NOPTS_VALUE) {
            const int64_t e = ToMicros(ts + std::max<int64_t>(pkt->duration, 0), st->time_base);
            end = end == AV_NOPTS_VALUE ? e : std::max(end, e);
        }
        av_packet_unref(pkt.get());
    }
    return end == AV_NOPTS_VALUE ? 0 : std::max<int64_t>(end - in.startMicros(), 0);
}

// Where the pictures and sound of a file cut short (a download stopped, a copy broken off)
// really end, when its header states a length the file does not hold; nullopt when the file
// holds what its header says, or its end cannot tell. Only the end of the file is read, so a
// long healthy file costs a seek and a few packets: from the last entry of the main stream's
// index that lies inside the file, where the header brought an index (MP4, FLV's key frame
// list) that reaches past the file's end or near the stated end; in Matroska from the key
// frame its cues give before the stated end (a file without cues is read through); else
// from the file's last MiB. Lengths measured from the packets' times (MPEG-TS and PS) already are
// the file's own, and one guessed from the bit rate is no header's word.
std::optional<int64_t> ShortEnd(MediaInput& in, int64_t statedMicros) {
    AVFormatContext* ctx = in.ctx();
    const int64_t size = ctx->pb ? avio_size(ctx->pb) : -1;
    AVStream* st = in.video() ? in.video() : in.audio();
    if (!st || size <= 0 || statedMicros <= 0 || (ctx->iformat->flags & AVFMT_TS_DISCONT) ||
        ctx->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE)
        return std::nullopt;
    const AVIndexEntry* from = nullptr;  // the last entry inside the file
    bool reachesTheEnd = false;
    for (int k = avformat_index_get_entries_count(st) - 1; k >= 0 && !from; --k) {
        const AVIndexEntry* e = avformat_index_get_entry(st, k);
        if (e->pos + e->size > size)
            reachesTheEnd = true;
        else
            from = e;
    }
    // An index the reader made of what it read so far (at most the stream analysis) says
    // nothing of the end; one from the header lies past the file's end or near the stated end.
    constexpr int64_t kNearTheEnd = 30000000;
    if (from && !reachesTheEnd &&
        ToMicros(from->timestamp, st->time_base) - in.startMicros() < statedMicros - kNearTheEnd)
        from = nullptr;
    int rc = -1;
    if (std::strstr(ctx->iformat->name, "matroska"))  // its cues come with the first seek
        rc = av_seek_frame(ctx, st->index, av_rescale_q(statedMicros + in.startMicros(), AV_TIME_BASE_Q, st->time_base),
                           AVSEEK_FLAG_BACKWARD);
    else if (from)
        rc = av_seek_frame(ctx, st->index, from->timestamp, AVSEEK_FLAG_BACKWARD);
    else if ((ctx->iformat->flags & AVFMT_NO_BYTE_SEEK) == 0)
        rc = av_seek_frame(ctx, -1, std::max<int64_t>(0, size - (1 << 20)), AVSEEK_FLAG_BYTE);
    if (rc < 0) return std::nullopt;
    int64_t end = INT64_MIN;
    PacketPtr pkt = MakePacket();
    for (int n = 0; n < 100000 && in.ReadPacket(pkt.get()) >= 0; ++n) {
        const AVStream* of = ctx->streams[pkt->stream_index];
        const int64_t ts = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
        if (ts != AV_NOPTS_VALUE && (of == in.video() || of == in.audio()))
            end = std::max(end, ToMicros(ts + std::max<int64_t>(pkt->duration, 0), of->time_base) - in.startMicros());
        av_packet_unref(pkt.get());
    }
    // Half a second, or 2% of a long file, is a container's rounding, not a missing part.
    if (end == INT64_MIN || end < 0 || end >= statedMicros - std::max<int64_t>(500000, statedMicros / 50))
        return std::nullopt;
    return end;
}

// Whether the video decoder makes a picture of the first packets. Only the opening of the
// stream is decoded (a damaged picture later on is no reason to refuse the file); a
// decoder that reorders gets the packets it needs to give its first picture.
bool DecodesAPicture(MediaInput& in) {
    DecodeLoop loop(in.videoDecoder());
    int packets = 0;
    const DecodeEnd end = loop.Run(
        [&](AVPacket* pkt) {
            if (packets++ >= 300) return AVERROR_INVALIDDATA;
            return ReadStreamPacket(in, in.videoIndex(), pkt) < 0 ? AVERROR_EOF : 0;
        },
        [](AVFrame*) { return FrameVerdict::kStop; });
    return end.kind == DecodeEnd::kStopped;
}

// The clockwise turn in degrees, 0 to 359, that the stream's display matrix asks for: the
// matrix of a phone held upright (ffprobe's "rotation -90") turns the picture by 90.
int ClockwiseTurn(const AVStream* st) {
    size_t size = 0;
    const auto* m =
        st ? reinterpret_cast<const int32_t*>(av_stream_get_side_data(st, AV_PKT_DATA_DISPLAYMATRIX, &size)) : nullptr;
    if (!m || size < 9 * sizeof(int32_t)) return 0;
    const double counterClockwise = av_display_rotation_get(m);
    if (!std::isfinite(counterClockwise)) return 0;
    const int turn = static_cast<int>(std::lround(-counterClockwise)) % 360;
    return turn < 0 ? turn + 360 : turn;
}

// The probe's code for why an input could not be opened or decoded.
int ProbeCode(const Status& status) {
    switch (status.code()) {
        case MediaInput::kCannotOpen:
            return kProbeCannotOpen;
        case MediaInput::kNoStreamInfo:
            return kProbeNoStreamInfo;
        case MediaInput::kNoStreams:
            return kProbeNoStreams;
        case MediaInput::kNoDecoder:
            return kProbeNoDecoder;
        case MediaInput::kNotAFile:
            return kProbeNotAFile;
        default:
            return kProbeDecoderFails;
    }
}

// How many pictures the video holds back for reordering, which a direct join compares, as
// far as the input as opened tells it: streams analysed; else a header read without
// analysing them: no video, a codec that never
// reorders, H.264 in MP4/MOV (whose header gives each picture's times), or H.264 whose
// sequence parameter set states it (as encoders write it, and as the decoder then takes it).
// nullopt: only decoding tells.
std::optional<int> HeaderReorderDepth(const MediaInput& in) {
    const AVStream* v = in.video();
    if (!v) return -1;
    if (in.analysed()) return v->codecpar->video_delay;
    const AVCodecDescriptor* d = avcodec_descriptor_get(v->codecpar->codec_id);
    if (!d || !(d->props & AV_CODEC_PROP_REORDER)) return v->codecpar->video_delay;
    if (v->codecpar->codec_id != AV_CODEC_ID_H264) return std::nullopt;
    if (std::strstr(in.ctx()->iformat->name, "mov")) return v->codecpar->video_delay;
    return H264ReorderDepth(Extradata(v));
}

}  // namespace

int ProbeMediaFile(ConversionJob& job, ProbeDepth depth) {
    std::unique_ptr<MediaInput> in;
    const auto analysis = depth == ProbeDepth::Decode ? MediaInput::Analysis::Full : MediaInput::Analysis::Header;
    if (Status s = MediaInput::Open(job.probePath, in, nullptr, analysis); !s.ok()) return ProbeCode(s);
    if (!job.probeTracks.empty()) {
        if (Status s = in->KeepTracks(job.probeTracks); !s.ok()) return kProbeNoStreams;
    }
    std::optional<int> reorderDepth;
    if (analysis == MediaInput::Analysis::Header) {
        reorderDepth = HeaderReorderDepth(*in);
        if (!reorderDepth) {
            if (Status s = MediaInput::Open(job.probePath, in); !s.ok()) return ProbeCode(s);
            if (!job.probeTracks.empty() && !in->KeepTracks(job.probeTracks).ok()) return kProbeNoStreams;
        }
    }
    if (depth == ProbeDepth::Decode) {
        // Only the video must decode; the sound is not looked at here.
        if (Status s = in->OpenDecoders(false, false); !s.ok()) return ProbeCode(s);
        if (in->video() && !DecodesAPicture(*in)) return kProbeUndecodable;
    }

    MediaInfo& info = job.info;
    if (const AVStream* v = in->video()) {
        const AVCodecContext* dec = in->videoDecoder();
        info.videoWidth = dec ? dec->width : v->codecpar->width;
        info.videoHeight = dec ? dec->height : v->codecpar->height;
        AVRational rate = v->r_frame_rate;
        if (rate.den != 0 && rate.num / rate.den > 1000) rate.den = 1001;
        info.frameRateNum = rate.num;
        info.frameRateDen = rate.den;
    } else {
        info.videoWidth = 0;
        info.videoHeight = 0;
    }
    info.rotationDegrees = ClockwiseTurn(in->video());
    int64_t duration = in->durationMicros();
    if (duration <= 0) duration = EstimateDuration(*in);
    info.statedDurationMicros = duration;
    if (const std::optional<int64_t> end = ShortEnd(*in, duration)) duration = *end;
    info.durationMicros = duration;
    info.rangeStartMicros = 0;
    info.rangeEndMicros = duration;
    info.hidesLeadingPictures = in->HidesLeadingPictures();
    info.videoCodec = in->video() ? avcodec_get_name(in->video()->codecpar->codec_id) : "";
    info.videoReorderDepth = in->video() ? reorderDepth.value_or(in->video()->codecpar->video_delay) : -1;
    info.audioTracks = info.subtitleTracks = 0;
    info.otherTracks.clear();
    for (unsigned k = 0; k < in->ctx()->nb_streams; ++k) {
        const AVStream* st = in->ctx()->streams[k];
        if (RepeatsAnEarlierStream(in->ctx(), k) || !in->Kept(static_cast<int>(k))) continue;
        info.audioTracks += IsAudioStream(st);
        info.subtitleTracks += st->codecpar->codec_type == AVMEDIA_TYPE_SUBTITLE;
        if (IsSideStream(*in, static_cast<int>(k)) && !IsAttachment(st))
            info.otherTracks +=
                (info.otherTracks.empty() ? "" : ", ") + std::string(avcodec_get_name(st->codecpar->codec_id));
    }
    info.chapters.clear();
    for (unsigned k = 0; k < in->ctx()->nb_chapters; ++k) {
        const AVChapter* ch = in->ctx()->chapters[k];
        const AVDictionaryEntry* title = av_dict_get(ch->metadata, "title", nullptr, 0);
        info.chapters.push_back({av_rescale_q(ch->start, ch->time_base, AV_TIME_BASE_Q) - in->startMicros(),
                                 av_rescale_q(ch->end, ch->time_base, AV_TIME_BASE_Q) - in->startMicros(),
                                 title ? title->value : ""});
    }
    info.audioCodec.clear();
    info.sampleRate = info.channels = 0;
    if (const AVStream* a = in->audio()) {
        info.audioCodec = avcodec_get_name(a->codecpar->codec_id);
        info.sampleRate = a->codecpar->sample_rate;
        info.channels = a->codecpar->ch_layout.nb_channels;
    }
    return kProbeOk;
}

const char* ProbeResultText(int result) {
    switch (result) {
        case kProbeOk:
            return "usable";
        case kProbeCannotOpen:
            return "it cannot be opened as a media file";
        case kProbeNoStreamInfo:
            return "its stream information cannot be read";
        case kProbeNoStreams:
            return "it holds neither pictures nor sound";
        case kProbeNoDecoder:
            return "no decoder exists for its video codec";
        case kProbeDecoderFails:
            return "its video decoder cannot be opened";
        case kProbeNotAFile:
            return "it is not a regular file (a FIFO, device, socket or folder)";
        case kProbeUndecodable:
            return "its pictures cannot be decoded";
        default:
            return "unknown probe result";
    }
}

std::vector<std::string> MediaFileExtensions() {
    // Formats whose files hold no sound or moving pictures of their own.
    static const std::set<std::string> kNotMedia = {
        "aqt", "ass",    "bmp", "cur",    "dds",  "dfxp", "dpx",  "exr",  "gif",  "hdr",  "ico", "idx",
        "j2c", "j2k",    "jls", "jp2",    "jpeg", "jpg",  "jps",  "jss",  "lrc",  "mpl2", "pam", "pbm",
        "pcx", "pfm",    "pgm", "pgmyuv", "phm",  "pic",  "pix",  "pjs",  "png",  "ppm",  "psd", "qoi",
        "ras", "rs",     "rt",  "sami",   "sbv",  "scc",  "sgi",  "smi",  "srt",  "ssa",  "stl", "sub",
        "sun", "sunras", "sup", "svg",    "tga",  "tif",  "tiff", "ttml", "txt",  "usf",  "vtt", "webp",
        "xbm", "xpm",    "xwd", "y",      "yuv",  "im1",  "im8",  "im24", "im32", "rgb",  "ass"};
    // Common names whose formats FFmpeg recognises by their content, not by a listed extension.
    std::set<std::string> found = {
        "264", "265", "3g2", "3gp", "aac", "ac3",  "aif",  "aiff", "amr",  "ape",  "asf", "au",   "avi", "caf",
        "dts", "dv",  "evo", "f4a", "f4v", "flac", "flv",  "h264", "h265", "hevc", "ivf", "m1v",  "m2t", "m2ts",
        "m2v", "m4a", "m4v", "mka", "mkv", "mod",  "mov",  "mp2",  "mp3",  "mp4",  "mpe", "mpeg", "mpg", "mts",
        "mxf", "nut", "oga", "ogg", "ogm", "ogv",  "ogx",  "opus", "qt",   "ra",   "rm",  "rmvb", "spx", "tod",
        "tp",  "trp", "ts",  "vob", "vro", "wav",  "webm", "wma",  "wmv",  "wtv",  "y4m"};
    void* at = nullptr;
    while (const AVInputFormat* f = av_demuxer_iterate(&at)) {
        if (!f->extensions) continue;
        std::string list = f->extensions;
        for (size_t begin = 0; begin <= list.size();) {
            const size_t comma = std::min(list.find(',', begin), list.size());
            std::string ext = list.substr(begin, comma - begin);
            for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (!ext.empty() && !kNotMedia.count(ext)) found.insert(ext);
            begin = comma + 1;
        }
    }
    return {found.begin(), found.end()};
}

}  // namespace ulvane
