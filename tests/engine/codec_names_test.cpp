// The codec name table of the preset rows.
#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/codec_id.h>
}

#include "engine/codec_names.h"

using namespace ulvane;

TEST(CodecNames, CodecNamesGiveThisFfmpegsIdentifiers) {
    EXPECT_EQ(VideoCodecIdFromName("MPEG4"), AV_CODEC_ID_MPEG4);
    EXPECT_EQ(VideoCodecIdFromName("H.264"), AV_CODEC_ID_H264);
    EXPECT_EQ(VideoCodecIdFromName("FLV"), AV_CODEC_ID_FLV1);
    EXPECT_EQ(VideoCodecIdFromName("DivX"), AV_CODEC_ID_MSMPEG4V3);
    EXPECT_EQ(AudioCodecIdFromName("WMA8"), AV_CODEC_ID_WMAV2);
    EXPECT_EQ(AudioCodecIdFromName("VORBIS"), AV_CODEC_ID_VORBIS);
    EXPECT_FALSE(VideoCodecIdFromName("h.264"));
    EXPECT_FALSE(AudioCodecIdFromName("OPUS"));
}
