#pragma once

#include <concepts>
#include <memory>
#include <optional>
#include <string>
#include "orvanpush/Export.h"
#include "orvanpush/logger/SourceLocation.h"

#include "orvanpush/logger/LogSeverity.h"
#include "orvanpush/logger/LogValue.h"

namespace orvanpush {

class LogReceptacle;

/// A severity bound to a receptacle: each call makes an entry of that severity (module `sdk`, no
/// context, the calling thread and the current time) and hands it to the receptacle. The forms
/// that take the call site name its function as entries carry it ("KeyChain::load": no return
/// type, parameters or library namespaces).
///
///   if (const auto& channel = orvanpush::Log::info()) {
///       channel->message("Send logs is 1");
///   }
class ORVANPUSH_EXPORT LogChannel {
  public:
    /// A channel making entries of `severity` for `receptacle`. Cheap to copy; thread-safe.
    LogChannel(LogSeverity severity, std::shared_ptr<LogReceptacle> receptacle);

    /// The severity of the entries it makes, and the receptacle it hands them to.
    LogSeverity severity() const { return severity_; }
    const std::shared_ptr<LogReceptacle>& receptacle() const { return receptacle_; }

    /// Logs a message entry with `text`, made at the given call site.
    void message(std::string text, std::string function, std::string filePath, int fileLine) const;
    /// The same, at the caller's site.
    void message(std::string text, SourceLocation site = SourceLocation::current()) const;

    /// Logs a value entry; `std::nullopt` logs an absent value.
    void value(std::optional<LogValue> value, std::string function, std::string filePath,
               int fileLine) const;
    /// The same, at the caller's site.
    void value(std::optional<LogValue> value,
               SourceLocation site = SourceLocation::current()) const;
    /// Logs any value: `channel.value(42)`.
    template <class T>
    requires(!std::convertible_to<const T&, std::optional<LogValue>>) void value(
        const T& value, SourceLocation site = SourceLocation::current()) const {
        this->value(std::optional<LogValue>(LogValue(value)), site);
    }

    /// Logs a trace entry: a marker that `function` was entered.
    void trace(std::string function, std::string filePath, int fileLine) const;
    /// The same, for the caller's function.
    void trace(SourceLocation site = SourceLocation::current()) const;

  private:
    LogSeverity severity_;
    std::shared_ptr<LogReceptacle> receptacle_;
};

}  // namespace orvanpush
