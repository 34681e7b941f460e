#include "platform/DateFormatter.h"

#include <cctype>

#include <gtest/gtest.h>

#include "platform/ProcessInfo.h"

namespace orvanpush::platform {
namespace {

using namespace std::chrono_literals;

// 2023-11-05 11:03:27.250 UTC
const Date kSample = Date(1699182207250ms);

TEST(DateFormatterTest, RendersPatternsInTheGivenZone) {
    EXPECT_EQ(DateFormatter("yyyy-MM-dd HH:mm:ssZZZ", "Europe/Moscow").string(kSample),
              "2023-11-05 14:03:27+0300");
    EXPECT_EQ(DateFormatter("yyyy-MM-dd HH:mm:ss.SSS xxx", "GMT", "en_US_POSIX").string(kSample),
              "2023-11-05 11:03:27.250 +00:00");
    EXPECT_EQ(DateFormatter("yyyyMMdd", "America/Los_Angeles").string(kSample), "20231105");
    EXPECT_EQ(DateFormatter("'day' yyyy-MM-dd", "GMT").string(kSample), "day 2023-11-05");
}

TEST(DateFormatterTest, SecondCacheNeverServesAnotherSecondOrFraction) {
    DateFormatter seconds("HH:mm:ss", "GMT");
    EXPECT_EQ(seconds.string(kSample), "11:03:27");
    EXPECT_EQ(seconds.string(kSample + 500ms), "11:03:27");
    EXPECT_EQ(seconds.string(kSample + 750ms), "11:03:28");
    EXPECT_EQ(seconds.string(kSample - 251ms), "11:03:26");
    DateFormatter fractions("ss.SSS", "GMT");
    EXPECT_EQ(fractions.string(kSample), "27.250");
    EXPECT_EQ(fractions.string(kSample + 1ms), "27.251");
    // Before 1970 the second boundary rounds down too.
    EXPECT_EQ(seconds.string(Date(-1ms)), "23:59:59");
}

TEST(DateFormatterTest, ParsesWhatItPrints) {
    DateFormatter formatter("yyyy-MM-dd'T'HH:mm:ss.SSSxxx", "GMT", "en_US_POSIX");
    auto text = formatter.string(kSample);
    EXPECT_EQ(formatter.date(text), kSample);
    EXPECT_FALSE(formatter.date("not a date"));
}

TEST(FormatDoubleTest, PrintsShortestRoundTripWithPointZero) {
    EXPECT_EQ(formatDouble(20), "20.0");
    EXPECT_EQ(formatDouble(1700000000.25), "1700000000.25");
    EXPECT_EQ(formatDouble(0.1), "0.1");
    EXPECT_EQ(formatDouble(-3), "-3.0");
    EXPECT_EQ(formatDouble(1.7e9), "1700000000.0");
    EXPECT_EQ(formatDouble(0.0001), "0.0001");
    EXPECT_EQ(formatDouble(1e16), "1e+16");
    EXPECT_EQ(formatDouble(0.00001), "1e-05");
}

TEST(ProcessInfoTest, IdentifiersHaveTheirPlatformShapes) {
    EXPECT_EQ(ProcessInfo::processName(), "test_platform");
    EXPECT_GT(ProcessInfo::processId(), 0);
    EXPECT_EQ(ProcessInfo::threadNumber(), ProcessInfo::threadNumber());
    EXPECT_EQ(demangledName(typeid(std::vector<int>)), "std::vector<int, std::allocator<int> >");
    auto uuid = makeUuid();
    ASSERT_EQ(uuid.size(), 36u);
    for (std::size_t i = 0; i < uuid.size(); ++i) {
        bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        EXPECT_TRUE(dash ? uuid[i] == '-' : std::isxdigit(uuid[i]) && !std::islower(uuid[i]))
            << uuid;
    }
    EXPECT_EQ(uuid[14], '4') << "version 4";
    EXPECT_NE(std::string("89AB").find(uuid[19]), std::string::npos) << "RFC 4122 variant";
    EXPECT_NE(uuid, makeUuid());
}

}  // namespace
}  // namespace orvanpush::platform
