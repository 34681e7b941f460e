#pragma once

// What the transport and endpoint tests share: sending through a Service and waiting for the
// one completion, the simplest target, and a disabled test run in a process of its own.

#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "api/AnyTarget.h"
#include "api/ResultDecoding.h"
#include "api/Service.h"
#include "platform/OutstandingWork.h"
#include "support/ChildProcess.h"
#include "support/OneCompletion.h"
#include "support/TestHome.h"
#include "utils/LoggingUtils.h"

namespace orvanpush::testing {

inline std::shared_ptr<detail::LoggingUtils> testLoggingUtils() {
    return std::make_shared<detail::LoggingUtils>("tests", nullptr);
}

inline detail::Service testService(const std::string& baseAddress,
                                   std::optional<std::string> login = "login",
                                   std::optional<std::string> password = "password") {
    return detail::Service(baseAddress, std::move(login), std::move(password), "test",
                           testLoggingUtils());
}

inline detail::AnyTarget<BaseApiResult> baseTarget(detail::ApiParameters parameters) {
    return {.parameters = std::move(parameters),
            .responseConverter = [](const platform::HttpResponse& response) {
                return detail::decodeBaseApiResult(response.body);
            }};
}

/// Sends `target` and waits for its completion; fails the test unless the completion comes
/// exactly once (the request's work is over before the count is checked).
template <typename R>
R sendAndWait(const detail::Service& service, detail::AnyTarget<R> target,
              std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    OneCompletion<R> answer;
    service.send<R>(std::move(target), answer.completion());
    return answer.wait(timeout).value_or(R(ResultKind::error, -1, "no completion"));
}

inline constexpr std::string_view kChildReportMarker = "CHILD-REPORT:";

struct ChildResult {
    int exitCode = -1;
    /// What the child passed to reportToParent (empty when it did not).
    std::string reported;
};

/// Runs the disabled test `name` of this program in a process of its own, for what only another
/// process shows (another locale or time zone, an exit with work in flight), with `environment`
/// ("NAME=value" entries) added to this one's.
inline ChildResult runChildTest(const std::string& name,
                                const std::vector<std::string>& environment) {
    ChildProcess child({thisProgram(), "--gtest_also_run_disabled_tests", "--gtest_filter=" + name},
                       environment);
    child.closeInput();
    ChildResult result;
    while (auto line = child.readLine()) {
        if (const auto at = line->find(kChildReportMarker); at != std::string::npos) {
            result.reported = line->substr(at + kChildReportMarker.size());
        }
    }
    result.exitCode = child.wait();
    return result;
}

/// In a child test: hands `text` (one line) back to the parent.
inline void reportToParent(const std::string& text) {
    std::cout << kChildReportMarker << text << std::endl;
}

}  // namespace orvanpush::testing
