// The encoder time base for each output frame rate.
#include <gtest/gtest.h>

#include "engine/transcoder.h"

using ulvane::OutputTimeBase;

static bool Same(AVRational a, AVRational b) {
    return av_cmp_q(a, b) == 0;
}

TEST(OutputTimeBase, PresetRatesUseTheirTable) {
    EXPECT_TRUE(Same(OutputTimeBase(29.97, {25, 1}, AV_CODEC_ID_H264), {1001, 30000}));
    EXPECT_TRUE(Same(OutputTimeBase(23.975, {25, 1}, AV_CODEC_ID_H264), {1001, 24000}));
    EXPECT_TRUE(Same(OutputTimeBase(14.985, {25, 1}, AV_CODEC_ID_H264), {1001, 15000}));
    EXPECT_TRUE(Same(OutputTimeBase(18, {25, 1}, AV_CODEC_ID_H264), {1, 18}));
    EXPECT_TRUE(Same(OutputTimeBase(30, {25, 1}, AV_CODEC_ID_H264), {1, 30}));
    EXPECT_TRUE(Same(OutputTimeBase(8, {25, 1}, AV_CODEC_ID_MPEG4), {1, 8}));
}

TEST(OutputTimeBase, SourceRateWhenAskedFor) {
    EXPECT_TRUE(Same(OutputTimeBase(0, {25, 1}, AV_CODEC_ID_H264), {1, 25}));
    EXPECT_TRUE(Same(OutputTimeBase(0, {30000, 1001}, AV_CODEC_ID_H264), {1001, 30000}));
    EXPECT_TRUE(Same(OutputTimeBase(0, {982057, 32768}, AV_CODEC_ID_MPEG4), {100, 2997}));
    EXPECT_TRUE(Same(OutputTimeBase(0, {785645, 32768}, AV_CODEC_ID_MPEG4), {1001, 24000}));
}

TEST(OutputTimeBase, UnusableSourceRatesFallBackTo25) {
    EXPECT_TRUE(Same(OutputTimeBase(0, {0, 1}, AV_CODEC_ID_H264), {1, 25}));
    EXPECT_TRUE(Same(OutputTimeBase(0, {90000, 1}, AV_CODEC_ID_H264), {1, 25}));
}
