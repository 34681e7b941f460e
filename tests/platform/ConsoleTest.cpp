#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "orvanpush/platform/Console.h"

namespace orvanpush::platform {
namespace {

using Destination = Console::Destination;

// What a line, a log entry and an error log entry leave on standard output and standard error.
std::pair<std::string, std::string> printedTo(Destination destination) {
    Console::sendTo(destination);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    Console::printLine("line");
    Console::printLogLine("entry\n", false);
    Console::printLogLine("fault", true);
    auto out = testing::internal::GetCapturedStdout();
    auto err = testing::internal::GetCapturedStderr();
    Console::sendTo(Destination::standardStreams);
    return {out, err};
}

TEST(ConsoleTest, WritesWhereTheHostSentItOrToAWriterUntilADestinationIsSet) {
    const std::tuple<Destination, std::string, std::string> cases[] = {
        {Destination::standardStreams, "line\nentry\n", "fault\n"},
        {Destination::standardError, "", "line\nentry\nfault\n"},
        {Destination::nowhere, "", ""}};
    for (const auto& [destination, out, err] : cases) {
        EXPECT_EQ(printedTo(destination), std::pair(out, err));
    }

    std::vector<std::string> lines;
    Console::redirect([&lines](std::string_view line) { lines.emplace_back(line); });
    Console::printLine("line");
    Console::printLogLine("fault\n", true);
    EXPECT_EQ(lines, (std::vector<std::string>{"line", "fault"}));
    EXPECT_EQ(printedTo(Destination::nowhere), std::pair(std::string(), std::string()));
    EXPECT_EQ(lines.size(), 2u);
}

}  // namespace
}  // namespace orvanpush::platform
