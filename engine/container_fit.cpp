// A file's tracks against another container's: the main ones must fit as they are; the
// others are copied, converted (text subtitles) or left out, as the direct stages do.
#include "engine/container_fit.h"

#include <cstring>

extern "C" {
#include <libavformat/avformat.h>
}

#include "engine/ffmpeg_util.h"
#include "engine/media_input.h"
#include "engine/side_tracks.h"

namespace ulvane {

namespace {

const AVOutputFormat* FormatFor(const std::string& extension) {
    if (extension.empty() || extension.find_first_of("/\\") != std::string::npos) return nullptr;
    return av_guess_format(nullptr, ("x." + extension).c_str(), nullptr);
}

// H.264 and HEVC stored with length-prefixed units (MP4, Matroska) go as they are only into
// containers whose writers take that form, or turn it into start codes themselves (MPEG-TS).
bool TakesLengthPrefixedUnits(const AVOutputFormat* ofmt) {
    for (const char* n : {"mp4", "mov", "3gp", "3g2", "ipod", "ismv", "psp", "f4v", "matroska", "flv", "mpegts"})
        if (std::strcmp(ofmt->name, n) == 0) return true;
    return false;
}

bool LengthPrefixed(const AVStream* st) {
    const AVCodecParameters* p = st->codecpar;
    return (p->codec_id == AV_CODEC_ID_H264 || p->codec_id == AV_CODEC_ID_HEVC) && p->extradata_size > 0 &&
           p->extradata[0] == 1;
}

// Containers whose writers take more than their readers give back. A WAV file keeps no
// codec's global header, so AAC or Vorbis in it decode for a moment and then stop; an MPEG-TS
// reader knows only the stream types of its standards and reads the rest as private data.
// True for every other container.
bool ReadsBackWhole(const AVOutputFormat* ofmt, AVCodecID id) {
    const char* codec = avcodec_get_name(id);
    if (std::strcmp(ofmt->name, "wav") == 0)
        return std::strncmp(codec, "pcm_", 4) == 0 || std::strncmp(codec, "adpcm_", 6) == 0 || id == AV_CODEC_ID_MP2 ||
               id == AV_CODEC_ID_MP3 || id == AV_CODEC_ID_AC3 || id == AV_CODEC_ID_FLAC || id == AV_CODEC_ID_GSM_MS;
    if (std::strcmp(ofmt->name, "mpegts") == 0) {
        for (AVCodecID known :
             {AV_CODEC_ID_MP2, AV_CODEC_ID_MP3, AV_CODEC_ID_AAC, AV_CODEC_ID_AAC_LATM, AV_CODEC_ID_AC3,
              AV_CODEC_ID_EAC3, AV_CODEC_ID_DTS, AV_CODEC_ID_TRUEHD, AV_CODEC_ID_OPUS, AV_CODEC_ID_S302M,
              AV_CODEC_ID_H264, AV_CODEC_ID_HEVC, AV_CODEC_ID_MPEG1VIDEO, AV_CODEC_ID_MPEG2VIDEO, AV_CODEC_ID_MPEG4,
              AV_CODEC_ID_VC1, AV_CODEC_ID_DIRAC, AV_CODEC_ID_CAVS})
            if (id == known) return true;
        return false;
    }
    return true;
}

// Whether the container's writer starts a file of these streams as they are: some refuse
// what their codec lists do not rule out (an MP3 or FLAC file holds one stream of its own
// codec, MP4 FLAC needs an experimental switch). Written to memory, never to a file.
bool WriterStarts(const AVOutputFormat* ofmt, std::initializer_list<const AVStream*> streams) {
    AVFormatContext* raw = nullptr;
    if (avformat_alloc_output_context2(&raw, ofmt, nullptr, nullptr) < 0 || !raw) return false;
    OutputFormatPtr out(raw);
    for (const AVStream* in : streams) {
        if (!in) continue;
        AVStream* st = avformat_new_stream(out.get(), nullptr);
        if (!st || avcodec_parameters_copy(st->codecpar, in->codecpar) < 0) return false;
        st->codecpar->codec_tag = 0;
        st->time_base = in->time_base;
    }
    if (avio_open_dyn_buf(&out->pb) < 0) return false;
    const bool started = avformat_write_header(out.get(), nullptr) >= 0;
    uint8_t* bytes = nullptr;
    avio_close_dyn_buf(out->pb, &bytes);
    av_free(bytes);
    out->pb = nullptr;
    return started;
}

// A main stream that cannot go into the container as it is, or nullptr when both fit.
const AVStream* RefusedStream(const AVOutputFormat* ofmt, const AVStream* video, const AVStream* audio) {
    // A writer without a codec list (MP3, FLAC) answers neither yes nor no; its header decides.
    for (const AVStream* st : {video, audio}) {
        if (!st) continue;
        const AVCodecID id = st->codecpar->codec_id;
        if (avformat_query_codec(ofmt, id, FF_COMPLIANCE_NORMAL) == 0 || !ReadsBackWhole(ofmt, id) ||
            (LengthPrefixed(st) && !TakesLengthPrefixedUnits(ofmt)))
            return st;
    }
    if (WriterStarts(ofmt, {video, audio})) return nullptr;
    return video && !WriterStarts(ofmt, {video}) ? video : audio;
}

}  // namespace

bool WritesContainer(const std::string& extension) {
    return FormatFor(extension) != nullptr;
}

bool StoresRotation(const std::string& extension) {
    const AVOutputFormat* ofmt = FormatFor(extension);
    if (!ofmt) return false;
    for (const char* n : {"mp4", "mov", "3gp", "3g2", "ipod", "ismv", "psp", "f4v"})
        if (std::strcmp(ofmt->name, n) == 0) return true;
    return false;
}

ContainerFit FitContainer(const std::string& path, const std::string& extension, const std::string& tracks) {
    ContainerFit fit;
    const AVOutputFormat* ofmt = FormatFor(extension);
    fit.writable = ofmt != nullptr;
    std::unique_ptr<MediaInput> in;
    if (Status s = MediaInput::Open(path, in, nullptr, MediaInput::Analysis::Header); !s.ok()) {
        fit.error = s.reason();
        return fit;
    }
    if (Status s = in->KeepTracks(tracks); !s.ok()) {
        fit.error = s.reason();
        return fit;
    }
    fit.opened = true;
    if (!ofmt) return fit;
    if (const AVStream* st = RefusedStream(ofmt, in->video(), in->audio())) {
        fit.refusedKind = st == in->video() ? 'v' : 'a';
        fit.refusedCodec = avcodec_get_name(st->codecpar->codec_id);
        fit.refused = std::string(fit.refusedKind == 'v' ? "video" : "sound") + " (" + fit.refusedCodec + ")";
    }
    fit.trackChanges = SideTrackChanges(*in, ofmt);
    for (const TrackChange& c : fit.trackChanges) fit.changes.push_back(ChangeText(c));
    return fit;
}

}  // namespace ulvane
