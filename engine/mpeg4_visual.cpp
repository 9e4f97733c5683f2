// MPEG-4 Visual start codes (see mpeg4_visual.h).
#include "engine/mpeg4_visual.h"

namespace ulvane {

namespace {

// Calls `at(code, rest)` for each start code (00 00 01 code) with the bytes after it, until
// `at` returns true; returns whether one did.
template <typename At>
bool EachStartCode(std::span<const uint8_t> data, At at) {
    for (size_t i = 0; i + 3 < data.size(); ++i) {
        if (data[i] != 0 || data[i + 1] != 0 || data[i + 2] != 1) continue;
        if (at(data[i + 3], data.subspan(i + 4))) return true;
        i += 3;
    }
    return false;
}

}  // namespace

VopType FirstVopType(std::span<const uint8_t> data) {
    VopType type = VopType::None;
    EachStartCode(data, [&](uint8_t code, std::span<const uint8_t> rest) {
        if (code != 0xB6) return false;  // a picture's start code
        if (!rest.empty()) type = static_cast<VopType>(rest[0] >> 6);
        return true;
    });
    return type;
}

bool HasVolHeader(std::span<const uint8_t> data) {
    return EachStartCode(data, [](uint8_t code, std::span<const uint8_t>) { return code >= 0x20 && code <= 0x2F; });
}

}  // namespace ulvane
