// The codec name table: the names the preset rows use, and FFmpeg's identifiers for them.
#include "engine/codec_names.h"

#include <array>

extern "C" {
#include <libavcodec/codec_id.h>
}

namespace ulvane {

namespace {

struct CodecEntry {
    std::string_view name;
    int id;
};
// The identifiers of the FFmpeg we are built with: their numbers moved between FFmpeg
// generations (H.264 was 28 before 5.0 and is 27 now), so they are never written as numbers.
constexpr std::array<CodecEntry, 10> kVideoCodecs{{
    {"MPEG4", AV_CODEC_ID_MPEG4},
    {"H.264", AV_CODEC_ID_H264},
    {"H.263", AV_CODEC_ID_H263},
    {"DivX", AV_CODEC_ID_MSMPEG4V3},
    {"FLV", AV_CODEC_ID_FLV1},
    {"WMV1", AV_CODEC_ID_WMV1},
    {"WMV2", AV_CODEC_ID_WMV2},
    {"MPEG1VIDEO", AV_CODEC_ID_MPEG1VIDEO},
    {"MPEG2VIDEO", AV_CODEC_ID_MPEG2VIDEO},
    {"H.265", AV_CODEC_ID_HEVC},
}};
constexpr std::array<CodecEntry, 7> kAudioCodecs{{
    {"AAC", AV_CODEC_ID_AAC},
    {"AC3", AV_CODEC_ID_AC3},
    {"MP3", AV_CODEC_ID_MP3},
    {"MP2", AV_CODEC_ID_MP2},
    {"VORBIS", AV_CODEC_ID_VORBIS},
    {"WMA7", AV_CODEC_ID_WMAV1},
    {"WMA8", AV_CODEC_ID_WMAV2},
}};

template <size_t N>
std::optional<int> Lookup(const std::array<CodecEntry, N>& table, std::string_view name) {
    for (const CodecEntry& e : table)
        if (e.name == name) return e.id;
    return std::nullopt;
}

}  // namespace

std::optional<int> VideoCodecIdFromName(std::string_view name) {
    return Lookup(kVideoCodecs, name);
}
std::optional<int> AudioCodecIdFromName(std::string_view name) {
    return Lookup(kAudioCodecs, name);
}

}  // namespace ulvane
