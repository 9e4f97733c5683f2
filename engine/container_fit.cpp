// A file's tracks against another container's: the main ones must fit as they are; the
// others are copied, converted (text subtitles) or left out, as the direct stages do.
#include "engine/container_fit.h"

#include <cstring>

extern "C" {
#include <libavformat/avformat.h>
}

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
    // A container that lists its codecs must list the main ones; one without a list (MPEG-TS)
    // takes what its readers know.
    for (const AVStream* st : {static_cast<const AVStream*>(in->video()), static_cast<const AVStream*>(in->audio())}) {
        if (!st) continue;
        const bool fits = avformat_query_codec(ofmt, st->codecpar->codec_id, FF_COMPLIANCE_NORMAL) != 0 &&
                          (!LengthPrefixed(st) || TakesLengthPrefixedUnits(ofmt));
        if (fits) continue;
        fit.refusedKind = st == in->video() ? 'v' : 'a';
        fit.refusedCodec = avcodec_get_name(st->codecpar->codec_id);
        fit.refused = std::string(fit.refusedKind == 'v' ? "video" : "sound") + " (" + fit.refusedCodec + ")";
        break;
    }
    fit.trackChanges = SideTrackChanges(*in, ofmt);
    for (const TrackChange& c : fit.trackChanges) fit.changes.push_back(ChangeText(c));
    return fit;
}

}  // namespace ulvane
