#pragma once

// What the request commands share: waiting for a completion within --timeout, and printing
// result records, optional texts and dates alike in every command.

#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Cli.h"
#include "orvanpush/BaseApiResult.h"
#include "orvanpush/Types.h"

namespace orvanpush::cli {

using ResultCompletion = std::function<void(std::optional<BaseApiResult>)>;

/// A completion's value, handed over from the library's thread. The completion may come after
/// the command gave up waiting; it then finds the state still alive.
template <class T>
class Awaited {
  public:
    std::function<void(T)> completion() {
        return [promise = promise_](T value) { promise->set_value(std::move(value)); };
    }

    /// The value, or nothing when `timeout` passed first.
    std::optional<T> wait(std::chrono::milliseconds timeout) {
        if (future_.wait_for(timeout) != std::future_status::ready) {
            return std::nullopt;
        }
        return future_.get();
    }

  private:
    std::shared_ptr<std::promise<T>> promise_ = std::make_shared<std::promise<T>>();
    std::future<T> future_ = promise_->get_future();
};

/// Prints that the completion did not come within --timeout; returns the exit code.
int completionTimedOut(const Output& out);

/// The outcome of a request whose completion carried no result record.
Json noResult();

Json orNull(const std::optional<std::string>& value);
/// The text, or "(none)".
std::string shown(const std::optional<std::string>& value);
/// ISO 8601 in UTC with milliseconds ("2024-03-01T10:00:00.000Z").
std::string isoDate(Date date);
Json dateOrNull(const std::optional<Date>& date);

/// The wire keys of a result record.
Json resultObject(const BaseApiResult& result);
/// The result record for a person: "result: success" or "result: error N: description".
std::vector<std::string> resultLines(const BaseApiResult& result);
/// 0 for a success, 1 for an error result or none.
int exitCodeOf(const std::optional<BaseApiResult>& result);

/// Runs a request, waits for its completion and prints its result keys.
int printResultOf(const CliContext& context, const std::function<void(ResultCompletion)>& request);

}  // namespace orvanpush::cli
