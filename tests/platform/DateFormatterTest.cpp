#include "platform/DateFormatter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/ProcessInfo.h"

namespace orvanpush::platform {
namespace {

using namespace std::chrono_literals;

// 2023-11-05 11:03:27.250 UTC
const Date kSample = Date(1699182207250ms);

TEST(DateFormatterTest,
     RendersInTheGivenZoneParsesWhatItPrintsAndNeverServesAnotherSecondFromItsCache) {
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

    DateFormatter seconds("HH:mm:ss", "GMT");
    EXPECT_EQ(seconds.string(kSample), "11:03:27");
    EXPECT_EQ(seconds.string(kSample + 750ms), "11:03:28");
    DateFormatter fractions("ss.SSS", "GMT");
    EXPECT_EQ(fractions.string(kSample), "27.250");
    EXPECT_EQ(fractions.string(kSample + 1ms), "27.251");
    // Before 1970 the second boundary rounds down too.
    EXPECT_EQ(seconds.string(Date(-1ms)), "23:59:59");
}

// Patterns of numbers and offsets print without the locale library in a POSIX locale; a locale
// id with keywords takes the locale library's path, which must print and read the same.
TEST(DateFormatterTest, FixedPatternsPrintAndReadAsTheLocaleLibraryDoes) {
    const char* patterns[] = {
        "yyyy-MM-dd HH:mm:ssZZZ",
        "yyyy-MM-dd HH:mm:ss.SSS xxx",
        "yyyy-MM-dd'T'HH:mm:ssXXXXX",
        "yyyyMMdd",
        "yy 'o''clock' '' y",
        "M-d H:m:s S SS SSSS Z ZZZZZ X XX XXX XXXX XXXXX x xx xxx xxxx xxxxx"};
    const Date instants[] = {kSample,
                             Date(-1500ms),
                             Date(1711846799999ms),   // 2024-03-31 00:59:59.999 UTC
                             Date(1729989000000ms),   // 2024-10-27 00:30 UTC
                             Date(44064000000ms),     // 1971-05-26
                             Date(9214646400000ms)};  // 2262-01-01
    const char* days[] = {"2024-03-31", "2024-10-27", "2023-09-03", "2023-11-05",
                          "2023-02-29", "1969-12-31", "2024-1-5",   "2263-01-01"};
    const char* previous = getenv("TZ");
    const std::string restore = previous ? previous : "";
    for (const char* zone : {"GMT", "Europe/Berlin", "America/St_Johns", "Asia/Kathmandu",
                             "Africa/Monrovia", "America/Santiago", "America/Havana"}) {
        setenv("TZ", zone, 1);
        const std::string given = std::string(zone) == "GMT" ? "GMT" : "";
        for (const char* pattern : patterns) {
            DateFormatter fixed(pattern, given, "en_US_POSIX");
            DateFormatter icu(pattern, given, "en_US_POSIX@numbers=latn");
            for (Date instant : instants) {
                EXPECT_EQ(fixed.string(instant), icu.string(instant)) << pattern << " " << zone;
            }
        }
        DateFormatter fixedDays("yyyy-MM-dd", given, "en_US_POSIX");
        DateFormatter icuDays("yyyy-MM-dd", given, "en_US_POSIX@numbers=latn");
        for (const char* day : days) {
            EXPECT_EQ(fixedDays.date(day), icuDays.date(day)) << day << " " << zone;
        }
    }
    previous ? setenv("TZ", restore.c_str(), 1) : unsetenv("TZ");
    tzset();
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
