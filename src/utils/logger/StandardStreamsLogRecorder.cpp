#include "orvanpush/logger/StandardStreamsLogRecorder.h"

#include <utility>

#include "orvanpush/platform/Console.h"

namespace orvanpush {

StandardStreamsLogRecorder::StandardStreamsLogRecorder(
    LogFormatters formatters, std::shared_ptr<platform::DispatchQueue> queue)
    : LogRecorderBase(std::move(formatters), std::move(queue)),
      output_(std::make_shared<StandardOutputLogRecorder>(this->formatters(), this->queue())),
      error_(std::make_shared<StandardErrorLogRecorder>(this->formatters(), this->queue())),
      console_(true) {}

StandardStreamsLogRecorder::StandardStreamsLogRecorder(
    std::FILE* outputStream, std::FILE* errorStream, LogFormatters formatters,
    std::shared_ptr<platform::DispatchQueue> queue)
    : LogRecorderBase(std::move(formatters), std::move(queue)),
      output_(std::make_shared<OutputStreamLogRecorder>(outputStream, this->formatters(),
                                                        this->queue())),
      error_(std::make_shared<OutputStreamLogRecorder>(errorStream, this->formatters(),
                                                       this->queue())) {}

void StandardStreamsLogRecorder::record(std::string_view message, const LogEntry& entry,
                                        platform::DispatchQueue& currentQueue,
                                        bool synchronousMode) {
    const bool isError = entry.severity > LogSeverity::info;
    if (console_) {
        platform::Console::printLogLine(message, isError);
        return;
    }
    OutputStreamLogRecorder& target = isError ? *error_ : *output_;
    target.record(message, entry, currentQueue, synchronousMode);
}

}  // namespace orvanpush
