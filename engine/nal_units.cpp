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

int H264ParameterSetId(const NalUnit& unit) {
    const int type = NalType(NalCodec::H264, unit);
    if (type != 7 && type != 8) return -1;
    // The payload's bits, emulation prevention bytes (0 0 3) taken out.
    std::vector<uint8_t> rbsp;
    for (size_t i = 1, zeros = 0; i < unit.size() && rbsp.size() < 16; ++i) {
        if (zeros >= 2 && unit[i] == 3) {
            zeros = 0;
            continue;
        }
        zeros = unit[i] == 0 ? zeros + 1 : 0;
        rbsp.push_back(unit[i]);
    }
    size_t bit = type == 7 ? 24 : 0;  // an SPS starts with profile, constraints and level
    const auto next = [&]() -> int {
        if (bit >= rbsp.size() * 8) return -1;
        const int b = (rbsp[bit / 8] >> (7 - bit % 8)) & 1;
        ++bit;
        return b;
    };
    // ue(v): n zero bits, a one, n bits.
    int zeros = 0;
    for (int b = next(); b == 0; b = next())
        if (++zeros > 8) return -1;
    int value = 1;
    for (int i = 0; i < zeros; ++i) {
        const int b = next();
        if (b < 0) return -1;
        value = (value << 1) | b;
    }
    return value - 1;
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
