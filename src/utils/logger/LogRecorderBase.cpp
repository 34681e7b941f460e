#include "orvanpush/logger/LogRecorderBase.h"

#include <typeinfo>
#include <utility>

#include "platform/ProcessInfo.h"

namespace orvanpush {

LogRecorderBase::LogRecorderBase(LogFormatters formatters,
                                 std::shared_ptr<platform::DispatchQueue> queue)
    : formatters_(std::move(formatters)), queue_(std::move(queue)) {}

void LogRecorderBase::record(std::string_view, const LogEntry&, platform::DispatchQueue&, bool) {}

// Created on first use rather than in the constructor, where the dynamic type that names the
// queue is not known yet.
const std::shared_ptr<platform::DispatchQueue>& LogRecorderBase::queue() const {
    std::call_once(queueOnce_, [this] {
        if (!queue_) {
            queue_ =
                std::make_shared<platform::DispatchQueue>(platform::demangledName(typeid(*this)));
        }
    });
    return queue_;
}

bool LogRecorderBase::needsLineEnd(std::string_view message) {
    return message.empty() || (message.back() != '\n' && message.back() != '\r');
}

}  // namespace orvanpush
