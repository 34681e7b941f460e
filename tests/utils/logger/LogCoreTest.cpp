#include <chrono>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "orvanpush/logger/LogEntry.h"
#include "orvanpush/logger/LogSeverity.h"
#include "orvanpush/logger/LogSeverityFilter.h"
#include "orvanpush/logger/LogValue.h"
#include "platform/ProcessInfo.h"
#include "utils/logger/LogTestSupport.h"

namespace orvanpush {
namespace {

using testing::makeEntry;

TEST(LogSeverityTest, RawValuesRoundTripAndNothingElseIsASeverity) {
    for (LogSeverity severity : allLogSeverities) {
        EXPECT_EQ(logSeverityFromRawValue(toString(severity)), severity);
    }
    EXPECT_EQ(toString(LogSeverity::error), "error");
    for (const char* text : {"warning", "ERROR", "Info", "", " off"}) {
        EXPECT_EQ(logSeverityFromRawValue(text), std::nullopt) << text;
    }
}

TEST(LogSeverityTest, OrderedByImportance) {
    const std::vector<LogSeverity> ascending{LogSeverity::trace, LogSeverity::info,
                                             LogSeverity::error, LogSeverity::off};
    for (std::size_t i = 0; i < ascending.size(); ++i) {
        for (std::size_t j = 0; j < ascending.size(); ++j) {
            EXPECT_EQ(ascending[i] < ascending[j], i < j);
            EXPECT_EQ(ascending[i] >= ascending[j], i >= j);
            EXPECT_EQ(ascending[i] > ascending[j], i > j);
            EXPECT_EQ(ascending[i] <= ascending[j], i <= j);
        }
    }
}

TEST(LogSeverityFilterTest, AcceptsEntriesAtOrAboveItsSeverity) {
    const LogSeverityFilter info(LogSeverity::info);
    EXPECT_FALSE(info.shouldRecord(makeEntry(LogSeverity::trace, "t")));
    EXPECT_TRUE(info.shouldRecord(makeEntry(LogSeverity::info, "i")));
    EXPECT_TRUE(info.shouldRecord(makeEntry(LogSeverity::error, "e")));

    const LogSeverityFilter trace(LogSeverity::trace);
    for (LogSeverity severity : allLogSeverities) {
        EXPECT_TRUE(trace.shouldRecord(makeEntry(severity, "any")));
    }
}

TEST(LogEntryTest, CarriesTheProcessIdentity) {
    auto first = makeEntry(LogSeverity::info, "a");
    auto second = makeEntry(LogSeverity::error, "b");
    EXPECT_EQ(first.processName, platform::ProcessInfo::processName());
    EXPECT_EQ(first.processID, platform::ProcessInfo::processId());
    EXPECT_EQ(second.processName, first.processName);
    EXPECT_EQ(second.processID, first.processID);
}

struct Point {
    int x;
    int y;
};
std::ostream& operator<<(std::ostream& out, const Point& point) {
    return out << "(" << point.x << ", " << point.y << ")";
}
struct Opaque {};

TEST(LogValueTest, NamesAndDescribesValuesAsTheLogFilesShowThem) {
    EXPECT_EQ(LogValue(5).typeName(), "Int");
    EXPECT_EQ(LogValue(5).text(), "5");
    EXPECT_EQ(LogValue(20.0).typeName(), "Double");
    EXPECT_EQ(LogValue(20.0).text(), "20.0");
    EXPECT_EQ(LogValue(0.25).text(), "0.25");
    EXPECT_EQ(LogValue(true).text(), "true");
    EXPECT_EQ(LogValue(std::string("plain")).typeName(), "String");
    EXPECT_EQ(LogValue(std::string("plain")).text(), "\"plain\"");
    EXPECT_EQ(LogValue(Point{1, 2}).text(), "(1, 2)");
    EXPECT_NE(LogValue(Point{1, 2}).typeName().find("Point"), std::string::npos);
    EXPECT_NE(LogValue(Opaque{}).text().find("Opaque"), std::string::npos);
}

TEST(LogValueTest, QuotedTextEscapesWhatWouldBreakTheQuotes) {
    EXPECT_EQ(LogValue(std::string("say \"hi\"\\\n\r\tend")).text(), R"("say \"hi\"\\\n\r\tend")");
    EXPECT_EQ(LogValue(std::string()).text(), "\"\"");
}

}  // namespace
}  // namespace orvanpush
