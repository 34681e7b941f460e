#pragma once

// The SDK's two logging settings, kept in the process's own store and changed by the log
// server. Each is read from the store the first time it is used in the process and at every
// reload, then kept in memory; assigning a different value persists it. A store that cannot be
// read leaves memory as it is (the default before any read succeeded) and is never overwritten
// with a default; a write that fails is logged and tried again at the next reload or
// assignment, the assigned value staying in force meanwhile. Safe to use from any thread.
//
//   if (LogSettings::sendLogs() == "1") { ... }
//   LogSettings::setLogLevel("trace");

#include <optional>
#include <string>

namespace orvanpush::detail {

class LogSettings {
  public:
    LogSettings() = delete;

    static constexpr const char* logLevelKey = "_log_level";
    static constexpr const char* sendLogsKey = "_send_logs";
    static constexpr const char* defaultLogLevel = "error";
    static constexpr const char* defaultSendLogs = "1";

    /// The SDK log level: "off", "error", "info" or "trace" (anything else disables the files).
    static std::string logLevel();
    static void setLogLevel(const std::string& level);

    /// "1" when entries go to the log files and the files may be uploaded.
    static std::string sendLogs();
    static void setSendLogs(const std::string& sendLogs);

    /// Reads both settings from the store again (a missing key reads as the default); writes
    /// instead a value whose earlier write failed.
    static void reload();

    /// Any key of the store, read and written directly as an optional string; an absent value
    /// removes the key.
    static std::optional<std::string> get(const std::string& key);
    static void set(const std::string& key, const std::optional<std::string>& value);
};

}  // namespace orvanpush::detail
