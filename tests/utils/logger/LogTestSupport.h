#pragma once

// Small helpers for the logging framework's tests: entries, formatters and filters, files read
// back whole, and a way to run a test body in a fresh process (for process-wide state).

#include <atomic>
#include <fstream>
#include <functional>
#include <iostream>

#include <gtest/gtest.h>

#include "orvanpush/logger/FieldLogFormatters.h"
#include "orvanpush/logger/LogEntry.h"
#include "orvanpush/logger/LogFilter.h"
#include "platform/FileSystem.h"
#include "support/TestHome.h"

namespace orvanpush::testing {

inline LogEntry makeEntry(LogSeverity severity, std::string text,
                          Date timestamp = std::chrono::system_clock::now()) {
    return LogEntry(LogEntry::Message{std::move(text)}, severity, std::nullopt, LoggerModule::sdk,
                    "/src/Test.cpp", 1, "test()", 1, timestamp);
}

/// Formats a message entry as its text; nothing for other entries.
inline LogFormatterPtr messageFormatter() {
    return std::make_shared<PayloadMessageLogFormatter>();
}

/// A formatter with the same answer for every entry. It only formats, as a host's might.
class FixedFormatter : public LogFormatter {
  public:
    explicit FixedFormatter(std::optional<std::string> text) : text_(std::move(text)) {}
    std::optional<std::string> format(const LogEntry&) const override { return text_; }

  private:
    std::optional<std::string> text_;
};

inline LogFormatterPtr fixedFormatter(std::optional<std::string> text) {
    return std::make_shared<FixedFormatter>(std::move(text));
}

/// A filter with a fixed answer that counts how often it was asked.
struct CountingFilter : LogFilter {
    explicit CountingFilter(bool answer) : answer(answer) {}
    bool shouldRecord(const LogEntry&) const override {
        ++asked;
        return answer;
    }
    const bool answer;
    mutable std::atomic<int> asked{0};
};

inline std::string readFile(const std::filesystem::path& path) {
    return platform::FileSystem::readFile(path).value_or("");
}

/// Runs `body` in a child process of its own, so that it may change process-wide state (the
/// log channels, the time zone, the platform configuration). Failures inside the child fail
/// the test: they turn its exit status non-zero and are printed where the parent shows them.
inline void inFreshProcess(const std::function<void()>& body) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto run = [&body] {
        body();
        const auto& result = *::testing::UnitTest::GetInstance()->current_test_info()->result();
        for (int i = 0; i < result.total_part_count(); ++i) {
            std::cerr << result.GetTestPartResult(i) << std::endl;
        }
        std::error_code ignored;
        std::filesystem::remove_all(testHome(), ignored);  // the child's own home
        std::fflush(nullptr);
        return result.Failed() ? 1 : 0;
    };
    EXPECT_EXIT(std::_Exit(run()), ::testing::ExitedWithCode(0), "");
}

}  // namespace orvanpush::testing
