// The codec names of the preset rows ("MPEG4", "H.264", "AAC", ...) and the FFmpeg codec
// identifiers they stand for. The identifiers are those of the FFmpeg we are built with:
// their numbers moved between FFmpeg generations, so they are never stored as numbers.
#pragma once

#include <optional>
#include <string_view>

namespace ulvane {

// FFmpeg codec identifiers by name ("MPEG4" -> AV_CODEC_ID_MPEG4); nullopt for unknown
// names. Names are compared exactly, letter case included.
std::optional<int> VideoCodecIdFromName(std::string_view name);
std::optional<int> AudioCodecIdFromName(std::string_view name);

}  // namespace ulvane
