#pragma once

// Small helpers for the logging framework's tests: entries, formatters and filters built from
// lambdas, and a way to run a test body in a fresh process (for process-wide state).

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include "orvanpush/logger/LogEntry.h"
#include "orvanpush/logger/LogFilter.h"
#include "orvanpush/logger/LogFormatter.h"
#include "support/TestHome.h"

namespace orvanpush::testing {

inline LogEntry makeEntry(LogSeverity severity, std::string text,
                          Date timestamp = std::chrono::system_clock::now()) {
    return LogEntry(LogEntry::Message{std::move(text)}, severity, std::nullopt, LoggerModule::sdk,
                    "/src/Test.cpp", 1, "test()", 1, timestamp);
}

inline const std::string& messageText(const LogEntry& entry) {
    return std::get<LogEntry::Message>(entry.payload).text;
}

/// A formatter that answers with whatever its function gives.
class FunctionFormatter : public LogFormatter {
  public:
    using Function = std::function<std::optional<std::string>(const LogEntry&)>;
    explicit FunctionFormatter(Function function) : function_(std::move(function)) {}
    std::optional<std::string> format(const LogEntry& entry) const override {
        return function_(entry);
    }

  private:
    Function function_;
};

/// Formats a message entry as its text; nothing for other entries.
inline LogFormatterPtr messageFormatter() {
    return std::make_shared<FunctionFormatter>(
        [](const LogEntry& entry) -> std::optional<std::string> {
            if (const auto* message = std::get_if<LogEntry::Message>(&entry.payload)) {
                return message->text;
            }
            return std::nullopt;
        });
}

inline LogFormatterPtr fixedFormatter(std::optional<std::string> text) {
    return std::make_shared<FunctionFormatter>([text](const LogEntry&) { return text; });
}

/// A filter with a fixed answer that counts how often it was asked.
class CountingFilter : public LogFilter {
  public:
    explicit CountingFilter(bool answer) : answer_(answer) {}
    bool shouldRecord(const LogEntry&) const override {
        ++asked;
        return answer_;
    }
    mutable std::atomic<int> asked{0};

  private:
    bool answer_;
};

/// Runs `body` with its failures collected, repeats them on standard error and answers the
/// exit status of a child process: 0 when nothing failed.
inline int runReportingFailures(const std::function<void()>& body) {
    ::testing::TestPartResultArray results;
    {
        ::testing::ScopedFakeTestPartResultReporter reporter(
            ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ALL_THREADS, &results);
        body();
    }
    int status = 0;
    for (int i = 0; i < results.size(); ++i) {
        const auto& result = results.GetTestPartResult(i);
        if (result.failed()) {
            status = 1;
            std::fprintf(stderr, "%s:%d: %s\n", result.file_name() ? result.file_name() : "?",
                         result.line_number(), result.message());
        }
    }
    std::error_code ignored;
    std::filesystem::remove_all(testHome(), ignored);
    std::fflush(nullptr);
    return status;
}

/// Runs `body` in a child process of its own, so that it may change process-wide state (the
/// log channels, the time zone, the platform configuration). Failures inside the child fail
/// the test.
inline void inFreshProcess(const std::function<void()>& body) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::_Exit(runReportingFailures(body)), ::testing::ExitedWithCode(0), "");
}

}  // namespace orvanpush::testing
