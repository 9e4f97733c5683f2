// MPEG-4 Part 2 (MPEG-4 Visual) streams, as far as a splice needs them: what the start codes
// of a packet say it holds.
#pragma once

#include <cstdint>
#include <span>

namespace ulvane {

enum class VopType { None = -1, I = 0, P = 1, B = 2, S = 3 };

// The coding type of the first video object plane (picture) in `data`; None when it holds
// none (a damaged packet, or headers alone).
VopType FirstVopType(std::span<const uint8_t> data);

// Whether `data` holds a video object layer header: the stream's size, time resolution and
// coding tools, which every decoder must have seen before a picture.
bool HasVolHeader(std::span<const uint8_t> data);

}  // namespace ulvane
