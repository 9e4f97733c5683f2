// H.264 and HEVC access units as lists of NAL units: split from and joined into the two
// ways containers carry them (Annex B start codes, as in MPEG-TS; or a big-endian length
// before each unit, as in MP4 and Matroska), the parameter sets of a stream's extradata,
// and what kind of picture a packet holds.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace ulvane {

using NalUnit = std::vector<uint8_t>;  // one unit, header byte(s) first, no start code or length

enum class NalCodec { H264, Hevc };

// How a stream's packets carry their units: lengthSize 0 for Annex B start codes, else the
// size in bytes (1, 2 or 4) of the length before each unit.
struct NalFormat {
    NalCodec codec = NalCodec::H264;
    int lengthSize = 0;
};

// The format of a stream with this extradata: avcC/hvcC give the length size; anything
// else (Annex B parameter sets, or none) means start codes.
NalFormat NalFormatOf(NalCodec codec, std::span<const uint8_t> extradata);

// The units of one packet; a damaged length ends the list early.
std::vector<NalUnit> SplitNalUnits(std::span<const uint8_t> data, int lengthSize);
// One packet's bytes from units (4-byte start codes for Annex B).
std::vector<uint8_t> JoinNalUnits(const std::vector<NalUnit>& units, int lengthSize);

// The parameter sets held in a stream's extradata (avcC, hvcC or Annex B), in order:
// VPS, SPS, PPS as the extradata lists them.
std::vector<NalUnit> ParameterSetsOf(NalCodec codec, std::span<const uint8_t> extradata);

// The unit's type: 5 bits for H.264, 6 bits for HEVC; -1 for an empty unit.
int NalType(NalCodec codec, const NalUnit& unit);
bool IsParameterSet(NalCodec codec, int type);
// A picture that starts a new coded video sequence without anything before it: an IDR
// picture in H.264; an IRAP picture (IDR, CRA, BLA) in HEVC.
bool IsRandomAccessPicture(NalCodec codec, int type);
// `units` with an HEVC CRA picture's slices made a broken-link picture without leading
// pictures (BLA_N_LP), for a CRA that follows pictures from elsewhere. It starts afresh as a
// CRA does after an end-of-sequence unit, but without dropping the pictures before it that a
// decoder holds back for display (FFmpeg's decoder gives one picture a packet, so after
// pictures with B-frames it holds some back until the end). Other units stay as they are.
std::vector<NalUnit> AsBrokenLink(NalCodec codec, std::vector<NalUnit> units);

// The id an H.264 sequence or picture parameter set gives itself; -1 for other units or a
// damaged one.
int H264ParameterSetId(const NalUnit& unit);
// How many pictures an H.264 decoder holds back for reordering, as the first sequence
// parameter set of the extradata states it (max_num_reorder_frames, which FFmpeg's decoder
// takes as its delay); nullopt when the set does not state it or cannot be read.
std::optional<int> H264ReorderDepth(std::span<const uint8_t> extradata);

// `units` with `sets` placed before the picture: after an access unit delimiter when the
// units begin with one, else first.
std::vector<NalUnit> WithParameterSets(NalCodec codec, std::vector<NalUnit> units, const std::vector<NalUnit>& sets);

// Whether a packet's first picture unit is a random-access picture.
bool StartsAtRandomAccess(NalCodec codec, const std::vector<NalUnit>& units);

}  // namespace ulvane
