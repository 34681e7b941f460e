#include "platform/DateFormatter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/ProcessInfo.h"

namespace orvanpush::platform {
namespace {

using namespace std::chrono_literals;

// 2023-11-05 11:03:27.250 UTC
const Date kSample = Date(1699182207250ms);

TEST(DateFormatterTest, RendersPatternsInTheGivenZoneAndParsesWhatItPrints) {
    EXPECT_EQ(DateFormatter("yyyy-MM-dd HH:mm:ssZZZ", "Europe/Moscow").string(kSample),
              "2023-11-05 14:03:27+0300");
    DateFormatter formatter("yyyy-MM-dd HH:mm:ss.SSS xxx", "GMT", "en_US_POSIX");
    EXPECT_EQ(formatter.string(kSample), "2023-11-05 11:03:27.250 +00:00");
    EXPECT_EQ(formatter.date(formatter.string(kSample)), kSample);
    EXPECT_FALSE(formatter.date("not a date"));
    // Years a Date cannot hold are refused, not wrapped.
    EXPECT_TRUE(formatter.date("2262-01-01 00:00:00.000 +00:00"));
    EXPECT_FALSE(formatter.date("2263-01-01 00:00:00.000 +00:00"));
    EXPECT_FALSE(formatter.date("123456-01-01 00:00:00.000 +00:00"));
}

TEST(DateFormatterTest, SecondCacheNeverServesAnotherSecondOrFraction) {
    DateFormatter seconds("HH:mm:ss", "GMT");
    EXPECT_EQ(seconds.string(kSample), "11:03:27");
    EXPECT_EQ(seconds.string(kSample + 750ms), "11:03:28");
    DateFormatter fractions("ss.SSS", "GMT");
    EXPECT_EQ(fractions.string(kSample), "27.250");
    EXPECT_EQ(fractions.string(kSample + 1ms), "27.251");
    // Before 1970 the second boundary rounds down too.
    EXPECT_EQ(seconds.string(Date(-1ms)), "23:59:59");
}

TEST(FormatDoubleTest, PrintsShortestRoundTripInPlainDecimalsForEverydayMagnitudes) {
    EXPECT_EQ(formatDouble(20), "20.0");
    EXPECT_EQ(formatDouble(0.1), "0.1");
    EXPECT_EQ(formatDouble(1.7e9), "1700000000.0");
    EXPECT_EQ(formatDouble(1700000000.25), "1700000000.25");
    EXPECT_EQ(formatDouble(1e16), "1e+16");
    EXPECT_EQ(formatDouble(0.00001), "1e-05");
}

TEST(ProcessInfoTest, UuidsAreRandomVersion4InUpperCase) {
    const auto uuid = makeUuid();
    EXPECT_THAT(uuid, ::testing::MatchesRegex(
                          "[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}"));
    EXPECT_NE(uuid, makeUuid());
}

}  // namespace
}  // namespace orvanpush::platform
