#include "orvanpush/logger/RotatingLogFileRecorder.h"

#include <chrono>
#include <filesystem>
#include <set>
#include <utility>
#include <vector>

#include "orvanpush/platform/Console.h"
#include "orvanpush/platform/PlatformConfig.h"
#include "platform/DateFormatter.h"
#include "platform/FileSystem.h"
#include "platform/Home.h"

namespace orvanpush {
namespace {

using namespace std::chrono_literals;

// The local calendar day of a date, in the device's calendar and time zone.
const platform::DateFormatter& dayFormatter() {
    static const platform::DateFormatter formatter("yyyy-MM-dd");
    return formatter;
}

std::string filenameForDay(const std::string& day) {
    const std::string& bundleIdentifier = platform::PlatformConfig::current()->bundleIdentifier;
    return bundleIdentifier.empty() ? day + ".log" : day + "-" + bundleIdentifier + ".log";
}

// Local midnight of the day `day` names; nothing when it cannot be found.
std::optional<Date> startOfDay(const std::string& day, Date within) {
    auto start = dayFormatter().date(day);
    if (!start || *start > within) {
        return std::nullopt;
    }
    return start;
}

// A moment of the calendar day before `date`'s, whatever the lengths of the days involved.
Date previousDay(Date date) {
    auto start = startOfDay(dayFormatter().string(date), date);
    return start ? *start - 1s : date - 24h;
}

std::string joinPath(const std::string& directory, const std::string& name) {
    return (std::filesystem::path(directory) / name).string();
}

}  // namespace

RotatingLogFileRecorder::RotatingLogFileRecorder(int daysToKeep, std::string directoryPath,
                                                 LogFormatters formatters, Clock clock)
    : LogRecorderBase(std::move(formatters)),
      daysToKeep_(daysToKeep),
      directoryPath_(std::move(directoryPath)),
      clock_(clock ? std::move(clock) : Clock([] { return std::chrono::system_clock::now(); })) {}

std::string RotatingLogFileRecorder::logFilename(Date date) {
    return filenameForDay(dayFormatter().string(date));
}

std::optional<Date> RotatingLogFileRecorder::mostRecentLogTime() const {
    std::lock_guard lock(mutex_);
    return mostRecentLogTime_;
}

std::shared_ptr<FileLogRecorder> RotatingLogFileRecorder::currentFileRecorder() const {
    std::lock_guard lock(mutex_);
    return currentFileRecorder_;
}

void RotatingLogFileRecorder::createLogDirectory() const {
    if (platform::FileSystem::exists(directoryPath_)) {
        return;
    }
    if (auto result = platform::FileSystem::createDirectories(directoryPath_); !result) {
        platform::Console::printLine("ERRROR LOG RECORDER: " + result.error);
    }
}

void RotatingLogFileRecorder::prune() const {
    std::set<std::string> keep;
    Date day = clock_();
    for (int kept = 0; kept < daysToKeep_; ++kept) {
        keep.insert(logFilename(day));
        day = previousDay(day);
    }

    std::vector<std::string> names;
    if (auto listed = platform::FileSystem::listDirectory(directoryPath_, names); !listed) {
        platform::Console::printLine("Error attempting to read directory at path <" +
                                     directoryPath_ + ">: " + listed.error);
        return;
    }
    for (const auto& name : names) {
        if (name.starts_with('.') || keep.contains(name)) {
            continue;
        }
        std::string path = joinPath(directoryPath_, name);
        if (auto removed = platform::FileSystem::removeItem(path); !removed) {
            platform::Console::printLine("Error attempting to delete the unneeded file <" + path +
                                         ">: " + removed.error);
        }
    }
}

void RotatingLogFileRecorder::record(std::string_view, const LogEntry& entry,
                                     platform::DispatchQueue&, bool synchronousMode) {
    std::lock_guard lock(mutex_);
    if (!mostRecentLogTime_ || !currentDay_.contains(entry.timestamp) || !currentFileRecorder_) {
        switchFile(entry.timestamp);
    }
    mostRecentLogTime_ = entry.timestamp;
    if (currentFileRecorder_) {
        currentFileRecorder_->record("", entry, *queue(), synchronousMode);
    }
}

// Formatting the day's name is the costly part of a write, so it is done only when an entry
// falls outside the span already known to belong to the current file's day.
void RotatingLogFileRecorder::switchFile(Date timestamp) {
    const platform::DateFormatter& formatter = dayFormatter();
    const std::string day = formatter.string(timestamp);
    const std::string filename = filenameForDay(day);
    const DaySpan span = daySpan(day, timestamp);

    if (mostRecentLogTime_ && filename == currentFilename_) {
        currentDay_ = span;
        if (currentFileRecorder_) {
            return;
        }
        // The day's file failed to open before; try again rather than lose the rest of the day.
    } else {
        prune();
        currentFileRecorder_.reset();
    }
    currentFilename_ = filename;
    currentDay_ = span;
    if (platform::isSafePathComponent(filename)) {
        currentFileRecorder_ =
            FileLogRecorder::open(joinPath(directoryPath_, filename), formatters(), queue());
    }
}

// The whole local day when its bounds can be found and checked, otherwise just the second
// of `timestamp`. Days are not always 24 hours long, so the end is found as the start of the
// day that follows, which begins within 26 hours.
RotatingLogFileRecorder::DaySpan RotatingLogFileRecorder::daySpan(const std::string& day,
                                                                  Date timestamp) {
    const platform::DateFormatter& formatter = dayFormatter();
    if (auto start = startOfDay(day, timestamp)) {
        auto end = formatter.date(formatter.string(*start + 26h));
        if (end && timestamp < *end && formatter.string(*start) == day &&
            formatter.string(*end - 1ms) == day) {
            return {*start, *end};
        }
    }
    auto second = std::chrono::floor<std::chrono::seconds>(timestamp);
    return {second, second + 1s};
}

}  // namespace orvanpush
