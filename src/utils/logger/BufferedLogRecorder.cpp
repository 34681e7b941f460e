#include "orvanpush/logger/BufferedLogRecorder.h"

namespace orvanpush {

template class BufferedLogRecorder<std::string>;
template class BufferedLogRecorder<LogEntry>;
template class BufferedLogRecorder<std::pair<LogEntry, std::string>>;

BufferedMessageRecorder::BufferedMessageRecorder(LogFormatters formatters, int bufferLimit,
                                                 std::shared_ptr<platform::DispatchQueue> queue)
    : BufferedLogRecorder(
          std::move(formatters), bufferLimit, std::move(queue),
          [](const LogEntry&, std::string_view message) { return std::string(message); }) {}

BufferedLogEntryRecorder::BufferedLogEntryRecorder(LogFormatters formatters, int bufferLimit,
                                                   std::shared_ptr<platform::DispatchQueue> queue)
    : BufferedLogRecorder(std::move(formatters), bufferLimit, std::move(queue),
                          [](const LogEntry& entry, std::string_view) { return entry; }) {}

BufferedLogEntryMessageRecorder::BufferedLogEntryMessageRecorder(
    LogFormatters formatters, int bufferLimit, std::shared_ptr<platform::DispatchQueue> queue)
    : BufferedLogRecorder(std::move(formatters), bufferLimit, std::move(queue),
                          [](const LogEntry& entry, std::string_view message) {
                              return std::pair(entry, std::string(message));
                          }) {}

}  // namespace orvanpush
