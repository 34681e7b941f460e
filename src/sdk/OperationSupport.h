#pragma once

// Pieces the facade's operations share: the retry count, the repair of host strings on entry,
// and the texts of their log entries.

#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "orvanpush/BaseApiResult.h"
#include "orvanpush/TextError.h"
#include "orvanpush/logger/LogSeverity.h"
#include "orvanpush/logger/SourceLocation.h"

namespace orvanpush::detail {

/// Every request of these operations is sent again up to three times on a server error.
inline constexpr int kRetryCount = 3;

/// `value` made valid UTF-8, as every host string is on entry, before it is signed or sent.
std::optional<std::string> repaired(const std::optional<std::string>& value);

/// The code and description of an error result as the operations log them: "104: Not found",
/// or "104: no description" without one.
std::string errorDetails(const BaseApiResult& result, std::string_view separator = ": ");

/// The text of an optional error as log entries print it: its description, or "no description".
std::string descriptionOf(const std::optional<TextError>& error);

/// The parameter line logged before signing: "Parameters: " and each pair as `name - value`,
/// separated by ", ". Values come quoted: printedString(text) (escaped, so that a value never
/// breaks the line), or a printed dictionary between double quotes.
std::string parameterLine(const std::vector<std::pair<std::string, std::string>>& pairs);

/// Logs one entry of the facade (module sdk, info unless said otherwise), with the caller's
/// file, line and function.
void logEntry(std::string text, LogSeverity severity = LogSeverity::info,
              SourceLocation site = SourceLocation::current());

/// Calls `postCompleted` with `result` when the host gave one. What it throws is logged and
/// goes no further: the operation has completed, and the caller may be a library thread.
template <typename Completion, typename Result>
void complete(const Completion& postCompleted, Result result) {
    if (!postCompleted) {
        return;
    }
    try {
        postCompleted(std::optional<Result>(std::move(result)));
    } catch (const std::exception& error) {
        logEntry(std::string("The completion threw: ") + error.what(), LogSeverity::error);
    } catch (...) {
        logEntry("The completion threw", LogSeverity::error);
    }
}

}  // namespace orvanpush::detail
