// NAL units in both packet formats, parameter sets from extradata, and their ids; the
// picture types and headers of MPEG-4 Part 2 packets.
#include <gtest/gtest.h>

#include "engine/mpeg4_visual.h"
#include "engine/nal_units.h"

using namespace ulvane;

TEST(NalUnits, SplitAndJoinInBothFormatsAndSurviveDamage) {
    const std::vector<NalUnit> units = {{0x67, 0x64, 0x00, 0x1f}, {0x68, 0xee}, {0x65, 0x88, 0x00, 0x00, 0x01}};
    for (int size : {0, 2, 4}) {
        SCOPED_TRACE(size);
        const std::vector<uint8_t> bytes = JoinNalUnits(units, size);
        if (size == 0) {
            // A unit that ends in zero bytes loses them to the next start code: the last one here
            // holds 0 0 1 inside, which a real encoder escapes; cut it to what Annex B can carry.
            std::vector<NalUnit> carried = units;
            carried[2] = {0x65, 0x88};
            EXPECT_EQ(SplitNalUnits(JoinNalUnits(carried, 0), 0), carried);
        } else {
            EXPECT_EQ(SplitNalUnits(bytes, size), units);
            // A length running past the end keeps the units before it.
            std::vector<uint8_t> cut(bytes.begin(), bytes.end() - 2);
            EXPECT_EQ(SplitNalUnits(cut, size).size(), 2u);
        }
    }
    // 3-byte start codes too.
    const std::vector<uint8_t> three = {0, 0, 1, 0x67, 0x42, 0, 0, 1, 0x68, 0xce};
    EXPECT_EQ(SplitNalUnits(three, 0), (std::vector<NalUnit>{{0x67, 0x42}, {0x68, 0xce}}));
}

TEST(NalUnits, ParameterSetsAndTheirIdsComeFromAvcCAndAnnexB) {
    // SPS id 0 (ue "1"), PPS id 3 (ue "00100") referring to SPS 0.
    const NalUnit sps = {0x67, 0x64, 0x00, 0x1f, 0xac, 0xd9};
    const NalUnit pps = {0x68, 0x20, 0x88};
    const std::vector<uint8_t> avcc = {1,    0x64, 0x00, 0x1f, 0xff, 0xe1, 0, 6,    0x67, 0x64,
                                       0x00, 0x1f, 0xac, 0xd9, 1,    0,    3, 0x68, 0x20, 0x88};
    EXPECT_EQ(NalFormatOf(NalCodec::H264, avcc).lengthSize, 4);
    EXPECT_EQ(ParameterSetsOf(NalCodec::H264, avcc), (std::vector<NalUnit>{sps, pps}));
    EXPECT_EQ(H264ParameterSetId(sps), 0);
    EXPECT_EQ(H264ParameterSetId(pps), 3);
    EXPECT_EQ(H264ParameterSetId({0x65, 0x88}), -1);
    const std::vector<uint8_t> annexB = JoinNalUnits({sps, pps}, 0);
    EXPECT_EQ(NalFormatOf(NalCodec::H264, annexB).lengthSize, 0);
    EXPECT_EQ(ParameterSetsOf(NalCodec::H264, annexB), (std::vector<NalUnit>{sps, pps}));
    // A truncated avcC gives what it holds, no more.
    EXPECT_EQ(ParameterSetsOf(NalCodec::H264, std::vector<uint8_t>(avcc.begin(), avcc.begin() + 12)).size(), 0u);
}

TEST(NalUnits, RandomAccessPicturesAreKnownByType) {
    EXPECT_TRUE(StartsAtRandomAccess(NalCodec::H264, {{0x09, 0x10}, {0x67}, {0x65, 0x88}}));
    EXPECT_FALSE(StartsAtRandomAccess(NalCodec::H264, {{0x06, 0x05}, {0x41, 0x9a}}));  // a non-IDR picture
    // HEVC: CRA (21) and IDR (19) start afresh; a trailing picture (1) does not.
    EXPECT_TRUE(StartsAtRandomAccess(NalCodec::Hevc, {{21 << 1, 1}}));
    EXPECT_TRUE(StartsAtRandomAccess(NalCodec::Hevc, {{32 << 1, 1}, {19 << 1, 1}}));
    EXPECT_FALSE(StartsAtRandomAccess(NalCodec::Hevc, {{1 << 1, 1}}));
}

TEST(Mpeg4Visual, PictureTypesAndStreamHeadersAreReadFromStartCodes) {
    // Stream headers (visual object sequence, video object layer), a group header, then an
    // I picture: its two type bits are 00.
    const std::vector<uint8_t> key = {0, 0, 1,    0xB0, 0x01, 0, 0, 1,    0x20, 0x08, 0,
                                      0, 1, 0xB3, 0x00, 0,    0, 1, 0xB6, 0x10, 0x00};
    EXPECT_EQ(FirstVopType(key), VopType::I);
    EXPECT_TRUE(HasVolHeader(key));
    // A P picture (01) alone, and a B picture (10) packed after it: the first one counts.
    const std::vector<uint8_t> packed = {0, 0, 1, 0xB6, 0x50, 0x12, 0, 0, 1, 0xB6, 0x90};
    EXPECT_EQ(FirstVopType(packed), VopType::P);
    EXPECT_FALSE(HasVolHeader(packed));
    // Headers alone, a start code cut off at the end, and nothing.
    EXPECT_EQ(FirstVopType({key.data(), 10}), VopType::None);
    EXPECT_EQ(FirstVopType(std::vector<uint8_t>{0x12, 0, 0, 1, 0xB6}), VopType::None);
    EXPECT_EQ(FirstVopType(std::vector<uint8_t>{}), VopType::None);
}
