// FormatTime and ParseTime: the texts the window shows and reads.
#include <gtest/gtest.h>

#include <limits>

#include "core/time_text.h"

using ulvane::FormatTime;
using ulvane::ParseTime;
using ulvane::ParseTypedTime;

TEST(TimeText, FormatsHoursMinutesSecondsAndMillis) {
    EXPECT_EQ(FormatTime(0), "00:00:00.000");
    EXPECT_EQ(FormatTime(3723004), "01:02:03.004");
    EXPECT_EQ(FormatTime(45), "00:00:00.045");
    EXPECT_EQ(FormatTime(100), "00:00:00.100");
    EXPECT_EQ(FormatTime(59999), "00:00:59.999");
    EXPECT_EQ(FormatTime(36000000 - 1), "09:59:59.999");
    EXPECT_EQ(FormatTime(360000000), "100:00:00.000");
    EXPECT_EQ(FormatTime(std::numeric_limits<int32_t>::max()), "596:31:23.647");
}

TEST(TimeText, NegativeTimesShowAsZero) {
    EXPECT_EQ(FormatTime(-5), "00:00:00.000");
}

TEST(TimeText, ParsesTheTimeFormat) {
    EXPECT_EQ(ParseTime("00:01:30.500"), 90500);
    EXPECT_EQ(ParseTime("0:11:30.000"), 690000);
    EXPECT_EQ(ParseTime("01:02:03.004"), 3723004);
    EXPECT_EQ(ParseTime("100:00:00.000"), 360000000);
}

TEST(TimeText, ReadsOddTextsByTheSameRules) {
    EXPECT_EQ(ParseTime("90"), 90090);  // read both as seconds and as milliseconds
    EXPECT_EQ(ParseTime(""), 0);
    EXPECT_EQ(ParseTime("abc"), 0);
    EXPECT_EQ(ParseTime("  00:00:05.250"), 5250);
    EXPECT_EQ(ParseTime("1:2"), 3722001);  // 1 h 2 min, 2 s after the last ":", 1 ms from the start
    EXPECT_EQ(ParseTime("00:00:-1.000"), -1000);
}

TEST(TimeText, RoundTripsEveryShownTime) {
    for (int32_t ms : {0, 1, 9, 10, 99, 999, 1000, 59999, 60000, 3599999, 3600000, 86399999, 360000000})
        EXPECT_EQ(ParseTime(FormatTime(ms)), ms) << ms;
}

TEST(TimeText, HugeNumbersSaturateInsteadOfOverflowing) {
    EXPECT_EQ(ParseTime("99999999999:00:00.000"), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(ParseTime("-99999999999:00:00.000"), std::numeric_limits<int32_t>::min());
}

TEST(TypedTime, ReadsEveryFormAUserTypes) {
    EXPECT_EQ(ParseTypedTime("00:00:02.5"), 2500000);
    EXPECT_EQ(ParseTypedTime("2.5"), 2500000);
    EXPECT_EQ(ParseTypedTime("1:30"), 90000000);  // minutes and seconds
    EXPECT_EQ(ParseTypedTime("1:02:03"), 3723000000);
    EXPECT_EQ(ParseTypedTime("01:02:03.004"), 3723004000);
    EXPECT_EQ(ParseTypedTime("00:00:04.9999"), 4999900);
    EXPECT_EQ(ParseTypedTime("0.0000004"), 0);  // finer than a microsecond rounds
    EXPECT_EQ(ParseTypedTime("0.0000005"), 1);
    EXPECT_EQ(ParseTypedTime("90"), 90000000);
    EXPECT_EQ(ParseTypedTime("  12:00.25 "), 720250000);
    EXPECT_EQ(ParseTypedTime("100:00:00"), int64_t{360000} * 1000000);
}

TEST(TypedTime, RefusesAnythingElse) {
    for (const char* bad :
         {"",     " ",    "abc",  "99:99:99", "1:60",  "1:2:3:4", "-5", "+5",  "1.",   ".5",
          "1..2", "1:.5", "1::2", ":30",      "1:30:", "1.5:30",  "5s", "1,5", "0x10", "00:00:04.99a"})
        EXPECT_FALSE(ParseTypedTime(bad)) << "'" << bad << "'";
}

TEST(TypedTime, ReadsEveryTimeTheWindowShows) {
    for (int32_t ms : {0, 1, 999, 59999, 3599999, 86399999})
        EXPECT_EQ(ParseTypedTime(FormatTime(ms)), int64_t{ms} * 1000) << FormatTime(ms);
}
