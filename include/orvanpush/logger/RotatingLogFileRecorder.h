#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include "orvanpush/Export.h"

#include "orvanpush/Types.h"
#include "orvanpush/logger/FileLogRecorder.h"
#include "orvanpush/logger/LogRecorderBase.h"

namespace orvanpush {

/// Writes each entry to the file of its local calendar day in a directory, named by
/// `logFilename`, and keeps only the files of the last `daysToKeep` days. Switching to another
/// day's file prunes the directory first. `record` may be called from any thread at once: the
/// calls are serialised, so every line is whole.
///
///   auto recorder = std::make_shared<orvanpush::RotatingLogFileRecorder>(7, path, formatters);
///   recorder->createLogDirectory();
class ORVANPUSH_EXPORT RotatingLogFileRecorder : public LogRecorderBase {
  public:
    /// The current time, which decides what pruning keeps; the file an entry goes to is
    /// decided by the entry's own timestamp.
    using Clock = std::function<Date()>;

    /// A negative `daysToKeep` keeps nothing, as 0 does. An empty clock is the system clock.
    RotatingLogFileRecorder(int daysToKeep, std::string directoryPath, LogFormatters formatters,
                            Clock clock = {});

    /// The name of the file of `date`'s local day: "2023-11-05-com.example.app.log" with the
    /// process's bundle identifier, "2023-11-05.log" without one.
    static std::string logFilename(Date date);

    /// The values it was built with.
    int daysToKeep() const { return daysToKeep_; }
    const std::string& directoryPath() const { return directoryPath_; }
    /// The timestamp of the last entry recorded; absent before the first.
    std::optional<Date> mostRecentLogTime() const;
    /// The file of the current day; absent before the first entry or when it failed to open.
    std::shared_ptr<FileLogRecorder> currentFileRecorder() const;

    /// Creates the directory (and its parents) when nothing exists at its path; a failure is
    /// printed on the console.
    void createLogDirectory() const;
    /// Removes every entry of the directory except hidden ones and the files of the last
    /// `daysToKeep` days (today included); failures are printed on the console.
    void prune() const;

    /// Appends the first formatter's line for `entry` to the file of its day, with a line
    /// feed; `message` is not used. While the directory is missing, entries are dropped.
    void record(std::string_view message, const LogEntry& entry,
                platform::DispatchQueue& currentQueue, bool synchronousMode) override;

  private:
    /// A span of time known to lie within the current file's day.
    struct ORVANPUSH_EXPORT DaySpan {
        Date start;
        Date end;
        bool contains(Date date) const { return start <= date && date < end; }
    };

    static DaySpan daySpan(const std::string& day, Date timestamp);
    void switchFile(Date timestamp);

    int daysToKeep_;
    std::string directoryPath_;
    Clock clock_;

    mutable std::mutex mutex_;
    std::optional<Date> mostRecentLogTime_;
    std::shared_ptr<FileLogRecorder> currentFileRecorder_;
    std::string currentFilename_;
    DaySpan currentDay_;
};

}  // namespace orvanpush
