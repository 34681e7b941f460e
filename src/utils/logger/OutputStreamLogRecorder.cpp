#include "orvanpush/logger/OutputStreamLogRecorder.h"

#include <utility>

namespace orvanpush {

OutputStreamLogRecorder::OutputStreamLogRecorder(std::FILE* stream, LogFormatters formatters,
                                                 std::shared_ptr<platform::DispatchQueue> queue)
    : LogRecorderBase(std::move(formatters), std::move(queue)), stream_(stream) {}

void OutputStreamLogRecorder::record(std::string_view message, const LogEntry&,
                                     platform::DispatchQueue&, bool synchronousMode) {
    std::fwrite(message.data(), 1, message.size(), stream_);
    if (needsLineEnd(message)) {
        std::fputc('\n', stream_);
    }
    if (synchronousMode) {
        std::fflush(stream_);
    }
}

StandardOutputLogRecorder::StandardOutputLogRecorder(LogFormatters formatters,
                                                     std::shared_ptr<platform::DispatchQueue> queue)
    : OutputStreamLogRecorder(stdout, std::move(formatters), std::move(queue)) {}

StandardErrorLogRecorder::StandardErrorLogRecorder(LogFormatters formatters,
                                                   std::shared_ptr<platform::DispatchQueue> queue)
    : OutputStreamLogRecorder(stderr, std::move(formatters), std::move(queue)) {}

}  // namespace orvanpush
