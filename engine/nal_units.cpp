// NAL units.
#include "engine/nal_units.h"

#include <algorithm>

namespace ulvane {

namespace {

// avcC: version 1, then profile, compatibility, level, 0b111111xx with the length size - 1.
bool IsAvcC(std::span<const uint8_t> e) {
    return e.size() >= 7 && e[0] == 1;
}
// hvcC: version 1 and 23 bytes of header before the arrays. Annex B extradata starts 0 0 (0) 1.
bool IsHvcC(std::span<const uint8_t> e) {
    return e.size() >= 23 && e[0] == 1;
}

uint32_t ReadBig(std::span<const uint8_t> d, size_t at, int bytes) {
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) v = (v << 8) | d[at + static_cast<size_t>(i)];
    return v;
}

// Units behind 3- or 4-byte start codes; zero bytes trailing a unit belong to the next start code.
std::vector<NalUnit> SplitAnnexB(std::span<const uint8_t> d) {
    std::vector<NalUnit> units;
    size_t i = 0, start = SIZE_MAX;
    const auto close = [&](size_t end) {
        while (end > start && d[end - 1] == 0) --end;
        if (start != SIZE_MAX && end > start)
            units.emplace_back(d.begin() + static_cast<ptrdiff_t>(start), d.begin() + static_cast<ptrdiff_t>(end));
    };
    while (i + 2 < d.size()) {
        if (d[i] == 0 && d[i + 1] == 0 && d[i + 2] == 1) {
            close(i);
            start = i + 3;
            i += 3;
        } else {
            ++i;
        }
    }
    close(d.size());
    return units;
}

}  // namespace

NalFormat NalFormatOf(NalCodec codec, std::span<const uint8_t> extradata) {
    NalFormat f;
    f.codec = codec;
    if (codec == NalCodec::H264 && IsAvcC(extradata)) f.lengthSize = (extradata[4] & 3) + 1;
    if (codec == NalCodec::Hevc && IsHvcC(extradata)) f.lengthSize = (extradata[21] & 3) + 1;
    if (f.lengthSize == 3) f.lengthSize = 4;  // not allowed; treated as the common size
    return f;
}

std::vector<NalUnit> SplitNalUnits(std::span<const uint8_t> data, int lengthSize) {
    if (lengthSize == 0) return SplitAnnexB(data);
    std::vector<NalUnit> units;
    for (size_t at = 0; at + static_cast<size_t>(lengthSize) <= data.size();) {
        const size_t n = ReadBig(data, at, lengthSize);
        at += static_cast<size_t>(lengthSize);
        if (n > data.size() - at) break;  // damaged: keep what came before
        if (n > 0)
            units.emplace_back(data.begin() + static_cast<ptrdiff_t>(at),
                               data.begin() + static_cast<ptrdiff_t>(at + n));
        at += n;
    }
    return units;
}

std::vector<uint8_t> JoinNalUnits(const std::vector<NalUnit>& units, int lengthSize) {
    std::vector<uint8_t> out;
    for (const NalUnit& u : units) {
        if (lengthSize == 0) {
            out.insert(out.end(), {0, 0, 0, 1});
        } else {
            for (int i = lengthSize - 1; i >= 0; --i) out.push_back(static_cast<uint8_t>(u.size() >> (8 * i)));
        }
        out.insert(out.end(), u.begin(), u.end());
    }
    return out;
}

std::vector<NalUnit> ParameterSetsOf(NalCodec codec, std::span<const uint8_t> e) {
    std::vector<NalUnit> sets;
    const auto take = [&](size_t& at) {
        if (at + 2 > e.size()) return false;
        const size_t n = ReadBig(e, at, 2);
        at += 2;
        if (n > e.size() - at) return false;
        sets.emplace_back(e.begin() + static_cast<ptrdiff_t>(at), e.begin() + static_cast<ptrdiff_t>(at + n));
        at += n;
        return true;
    };
    if (codec == NalCodec::H264 && IsAvcC(e)) {
        size_t at = 5;
        const int sps = e[at++] & 0x1f;
        for (int i = 0; i < sps; ++i)
            if (!take(at)) return sets;
        if (at >= e.size()) return sets;
        const int pps = e[at++];
        for (int i = 0; i < pps; ++i)
            if (!take(at)) return sets;
        return sets;
    }
    if (codec == NalCodec::Hevc && IsHvcC(e)) {
        size_t at = 22;
        const int arrays = e[at++];
        for (int a = 0; a < arrays && at + 3 <= e.size(); ++a) {
            ++at;  // completeness and type; the units carry their type themselves
            const int count = static_cast<int>(ReadBig(e, at, 2));
            at += 2;
            for (int i = 0; i < count; ++i)
                if (!take(at)) return sets;
        }
        return sets;
    }
    for (NalUnit& u : SplitAnnexB(e))
        if (IsParameterSet(codec, NalType(codec, u))) sets.push_back(std::move(u));
    return sets;
}

int NalType(NalCodec codec, const NalUnit& unit) {
    if (unit.empty()) return -1;
    return codec == NalCodec::H264 ? unit[0] & 0x1f : (unit[0] >> 1) & 0x3f;
}

bool IsParameterSet(NalCodec codec, int type) {
    return codec == NalCodec::H264 ? type == 7 || type == 8 : type >= 32 && type <= 34;
}

bool IsRandomAccessPicture(NalCodec codec, int type) {
    return codec == NalCodec::H264 ? type == 5 : type >= 16 && type <= 21;
}

std::vector<NalUnit> AsBrokenLink(NalCodec codec, std::vector<NalUnit> units) {
    constexpr int kCra = 21, kBlaWithoutLeading = 18;
    if (codec != NalCodec::Hevc) return units;
    for (NalUnit& u : units)  // the type sits between the forbidden bit and the layer id's top bit
        if (NalType(codec, u) == kCra) u[0] = static_cast<uint8_t>((u[0] & 0x81) | (kBlaWithoutLeading << 1));
    return units;
}

namespace {

// Reads the bits of a unit's payload, emulation prevention bytes (0 0 3) taken out. Past the
// end every read fails: a damaged unit gives nullopt, never a guess.
class PayloadBits {
public:
    explicit PayloadBits(const NalUnit& unit, size_t headerBytes = 1) {
        for (size_t i = headerBytes, zeros = 0; i < unit.size(); ++i) {
            if (zeros >= 2 && unit[i] == 3) {
                zeros = 0;
                continue;
            }
            zeros = unit[i] == 0 ? zeros + 1 : 0;
            bytes_.push_back(unit[i]);
        }
    }
    std::optional<uint32_t> Bits(int n) {
        uint32_t value = 0;
        for (int i = 0; i < n; ++i) {
            if (bit_ >= bytes_.size() * 8) return std::nullopt;
            value = (value << 1) | ((bytes_[bit_ / 8] >> (7 - bit_ % 8)) & 1u);
            ++bit_;
        }
        return value;
    }
    std::optional<bool> Flag() {
        const std::optional<uint32_t> b = Bits(1);
        return b ? std::optional<bool>(*b != 0) : std::nullopt;
    }
    // ue(v): n zero bits, a one, n bits.
    std::optional<uint32_t> Ue() {
        int zeros = 0;
        for (std::optional<uint32_t> b = Bits(1); b != 1u; b = Bits(1))
            if (!b || ++zeros > 31) return std::nullopt;
        const std::optional<uint32_t> rest = Bits(zeros);
        if (!rest) return std::nullopt;
        return static_cast<uint32_t>((uint64_t{1} << zeros) - 1 + *rest);
    }
    // Reads and drops ue(v) or se(v) values (they take the same bits); false past the end.
    bool SkipUe(int count = 1) {
        for (int i = 0; i < count; ++i)
            if (!Ue()) return false;
        return true;
    }
    bool SkipBits(int n) { return Bits(n).has_value(); }

private:
    std::vector<uint8_t> bytes_;
    size_t bit_ = 0;
};

// The H.264 decoder's buffering parameters (hrd_parameters of the VUI); false past the end.
bool SkipHrd(PayloadBits& bits) {
    const std::optional<uint32_t> count = bits.Ue();
    if (!count || *count > 31 || !bits.SkipBits(8)) return false;
    for (uint32_t i = 0; i <= *count; ++i)
        if (!bits.SkipUe(2) || !bits.SkipBits(1)) return false;
    return bits.SkipBits(20);
}

// An H.264 scaling list of `size` entries, coded as deltas; false past the end.
bool SkipScalingList(PayloadBits& bits, int size) {
    int last = 8, next = 8;
    for (int j = 0; j < size && next != 0; ++j) {
        const std::optional<uint32_t> code = bits.Ue();
        if (!code) return false;
        // se(v) from ue(v): 1, 2, 3, 4 ... are 1, -1, 2, -2 ...
        const int64_t delta = (*code & 1) ? (int64_t{*code} + 1) / 2 : -(int64_t{*code} / 2);
        next = static_cast<int>(((last + delta) % 256 + 256) % 256);
        last = next == 0 ? last : next;
    }
    return true;
}

// max_num_reorder_frames of an H.264 sequence parameter set, read through to its VUI's
// bitstream restriction; nullopt when the set does not state it or is damaged.
std::optional<int> SpsReorderDepth(const NalUnit& sps) {
    PayloadBits bits(sps);
    const std::optional<uint32_t> profile = bits.Bits(8);
    if (!profile || !bits.SkipBits(16) || !bits.SkipUe()) return std::nullopt;
    static constexpr uint32_t kHighProfiles[] = {100, 110, 122, 244, 44, 83, 86, 118, 128, 138, 139, 134, 135};
    if (std::find(std::begin(kHighProfiles), std::end(kHighProfiles), *profile) != std::end(kHighProfiles)) {
        const std::optional<uint32_t> chroma = bits.Ue();
        if (!chroma || (*chroma == 3 && !bits.SkipBits(1)) || !bits.SkipUe(2) || !bits.SkipBits(1)) return std::nullopt;
        const std::optional<bool> matrices = bits.Flag();
        if (!matrices) return std::nullopt;
        for (int i = 0; *matrices && i < (*chroma == 3 ? 12 : 8); ++i) {
            const std::optional<bool> present = bits.Flag();
            if (!present || (*present && !SkipScalingList(bits, i < 6 ? 16 : 64))) return std::nullopt;
        }
    }
    const std::optional<uint32_t> pocType = bits.SkipUe() ? bits.Ue() : std::nullopt;
    if (!pocType) return std::nullopt;
    if (*pocType == 0 && !bits.SkipUe()) return std::nullopt;
    if (*pocType == 1) {
        const std::optional<uint32_t> cycle = bits.SkipBits(1) && bits.SkipUe(2) ? bits.Ue() : std::nullopt;
        if (!cycle || *cycle > 255 || !bits.SkipUe(static_cast<int>(*cycle))) return std::nullopt;
    }
    // Reference frames, gaps, width, height.
    if (!bits.SkipUe() || !bits.SkipBits(1) || !bits.SkipUe(2)) return std::nullopt;
    const std::optional<bool> framesOnly = bits.Flag();
    if (!framesOnly || (!*framesOnly && !bits.SkipBits(1)) || !bits.SkipBits(1)) return std::nullopt;
    const std::optional<bool> cropping = bits.Flag();
    if (!cropping || (*cropping && !bits.SkipUe(4))) return std::nullopt;
    if (bits.Flag() != true) return std::nullopt;  // no VUI
    // The aspect ratio (255: stated as two 16-bit numbers), overscan, signal type, chroma place.
    const std::optional<bool> aspect = bits.Flag();
    if (!aspect) return std::nullopt;
    if (*aspect) {
        const std::optional<uint32_t> idc = bits.Bits(8);
        if (!idc || (*idc == 255 && !bits.SkipBits(32))) return std::nullopt;
    }
    const std::optional<bool> overscan = bits.Flag();
    if (!overscan || (*overscan && !bits.SkipBits(1))) return std::nullopt;
    const std::optional<bool> signal = bits.Flag();
    if (!signal) return std::nullopt;
    if (*signal) {
        const std::optional<bool> colours = bits.SkipBits(4) ? bits.Flag() : std::nullopt;
        if (!colours || (*colours && !bits.SkipBits(24))) return std::nullopt;
    }
    const std::optional<bool> chromaPlace = bits.Flag();
    if (!chromaPlace || (*chromaPlace && !bits.SkipUe(2))) return std::nullopt;
    const std::optional<bool> timing = bits.Flag();
    if (!timing || (*timing && !bits.SkipBits(65))) return std::nullopt;
    const std::optional<bool> nalHrd = bits.Flag();
    if (!nalHrd || (*nalHrd && !SkipHrd(bits))) return std::nullopt;
    const std::optional<bool> vclHrd = bits.Flag();
    if (!vclHrd || (*vclHrd && !SkipHrd(bits))) return std::nullopt;
    if ((*nalHrd || *vclHrd) && !bits.SkipBits(1)) return std::nullopt;
    // The picture structure flag, then the restriction: its motion vector flag and four limits.
    if (!bits.SkipBits(1) || bits.Flag() != true || !bits.SkipBits(1) || !bits.SkipUe(4)) return std::nullopt;
    const std::optional<uint32_t> reorder = bits.Ue();
    if (!reorder || *reorder > 16) return std::nullopt;
    return static_cast<int>(*reorder);
}

}  // namespace

int H264ParameterSetId(const NalUnit& unit) {
    const int type = NalType(NalCodec::H264, unit);
    if (type != 7 && type != 8) return -1;
    PayloadBits bits(unit);
    if (type == 7 && !bits.SkipBits(24)) return -1;  // an SPS starts with profile, constraints and level
    const std::optional<uint32_t> id = bits.Ue();
    return id && *id <= 255 ? static_cast<int>(*id) : -1;
}

std::optional<int> H264ReorderDepth(std::span<const uint8_t> extradata) {
    for (const NalUnit& u : ParameterSetsOf(NalCodec::H264, extradata))
        if (NalType(NalCodec::H264, u) == 7) return SpsReorderDepth(u);
    return std::nullopt;
}

bool StartsAtRandomAccess(NalCodec codec, const std::vector<NalUnit>& units) {
    for (const NalUnit& u : units) {
        const int t = NalType(codec, u);
        const bool picture = codec == NalCodec::H264 ? (t >= 1 && t <= 5) : (t >= 0 && t <= 31);
        if (picture) return IsRandomAccessPicture(codec, t);
    }
    return false;
}

std::vector<NalUnit> WithParameterSets(NalCodec codec, std::vector<NalUnit> units, const std::vector<NalUnit>& sets) {
    const int delimiter = codec == NalCodec::H264 ? 9 : 35;
    const auto at = units.begin() + (!units.empty() && NalType(codec, units.front()) == delimiter ? 1 : 0);
    units.insert(at, sets.begin(), sets.end());
    return units;
}

}  // namespace ulvane
