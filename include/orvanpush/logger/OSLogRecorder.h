#pragma once

#include <functional>
#include <memory>
#include <string>
#include "orvanpush/Export.h"

#include "orvanpush/logger/LogRecorder.h"

namespace orvanpush {

namespace platform {
class SystemLog;
}

/// The kinds of message of the system log.
enum class OSLogType { default_, info, debug, error, fault };

/// Chooses the system-log type of an entry.
class ORVANPUSH_EXPORT OSLogTypeTranslator {
  public:
    enum class Kind {
        function,      ///< whatever the given function answers
        default_,      ///< `error` for error entries, `info` for info, the default type otherwise
        strict,        ///< as `default_`
        relaxed,       ///< as `default_`
        allAsDefault,  ///< always the default type
        allAsInfo,     ///< always `info`
        allAsDebug,    ///< always `debug`
    };
    /// Chooses the type of an entry; called on the recorder's queue.
    using Function = std::function<OSLogType(const LogEntry& entry)>;

    /// A translator of one of the fixed kinds (not `Kind::function`).
    explicit OSLogTypeTranslator(Kind kind = Kind::default_);
    /// A translator that asks `function`.
    static OSLogTypeTranslator function(Function function);

    /// The kind it was made with.
    Kind kind() const { return kind_; }
    /// The system-log type for `entry`, as the kind says.
    OSLogType logType(const LogEntry& entry) const;

  private:
    Kind kind_;
    Function function_;
};

/// Writes each message to the system log (syslog on Linux), with the type the translator
/// chooses, tagged with the subsystem.
class ORVANPUSH_EXPORT OSLogRecorder : public LogRecorder {
  public:
    /// An empty subsystem means the process's bundle identifier. Without a queue the recorder
    /// creates its own.
    explicit OSLogRecorder(LogFormatters formatters, std::string subsystem = {},
                           OSLogTypeTranslator logTypeTranslator = OSLogTypeTranslator(),
                           std::shared_ptr<platform::DispatchQueue> queue = nullptr);

    /// True: the system log is always there.
    static bool isAvailable();

    /// The values it was built with; the subsystem is the bundle identifier when none was given.
    const LogFormatters& formatters() const override { return formatters_; }
    const OSLogTypeTranslator& logTypeTranslator() const { return logTypeTranslator_; }
    const std::string& subsystem() const;
    /// Writes `message` to the system log with the entry's type; on the recorder's queue.
    void record(std::string_view message, const LogEntry& entry,
                platform::DispatchQueue& currentQueue, bool synchronousMode) override;
    /// The recorder's serial queue.
    const std::shared_ptr<platform::DispatchQueue>& queue() const override { return queue_; }

  private:
    LogFormatters formatters_;
    OSLogTypeTranslator logTypeTranslator_;
    std::shared_ptr<const platform::SystemLog> log_;
    std::shared_ptr<platform::DispatchQueue> queue_;
};

}  // namespace orvanpush
