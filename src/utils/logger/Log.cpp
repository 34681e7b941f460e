#include "orvanpush/logger/Log.h"

#include <atomic>
#include <mutex>
#include <utility>

namespace orvanpush {
namespace {

// The channels are written once, under the lock, before `enabled` is set; readers look at
// them only after seeing the flag, so reading needs no lock.
struct ChannelRegistry {
    std::mutex lock;
    std::atomic<bool> enabled{false};
    std::optional<LogChannel> error;
    std::optional<LogChannel> info;
    std::optional<LogChannel> trace;
};

ChannelRegistry& registry() {
    static ChannelRegistry channels;
    return channels;
}

const std::optional<LogChannel>& installed(const std::optional<LogChannel>& channel) {
    static const std::optional<LogChannel> absent;
    return registry().enabled.load(std::memory_order_acquire) ? channel : absent;
}

std::optional<LogChannel> channelFor(LogSeverity severity,
                                     const std::shared_ptr<LogReceptacle>& receptacle) {
    if (severity < receptacle->minimumSeverity()) {
        return std::nullopt;
    }
    return LogChannel(severity, receptacle);
}

}  // namespace

const std::optional<LogChannel>& Log::error() {
    return installed(registry().error);
}
const std::optional<LogChannel>& Log::info() {
    return installed(registry().info);
}
const std::optional<LogChannel>& Log::trace() {
    return installed(registry().trace);
}

const std::optional<LogChannel>& Log::channel(LogSeverity severity) {
    switch (severity) {
        case LogSeverity::error:
            return error();
        case LogSeverity::info:
            return info();
        case LogSeverity::trace:
            return trace();
        case LogSeverity::off:
            break;
    }
    static const std::optional<LogChannel> none;
    return none;
}

void Log::enable(std::optional<LogChannel> errorChannel, std::optional<LogChannel> infoChannel,
                 std::optional<LogChannel> traceChannel) {
    ChannelRegistry& channels = registry();
    std::lock_guard guard(channels.lock);
    if (channels.enabled.load(std::memory_order_relaxed)) {
        return;
    }
    channels.error = std::move(errorChannel);
    channels.info = std::move(infoChannel);
    channels.trace = std::move(traceChannel);
    channels.enabled.store(true, std::memory_order_release);
}

void Log::neverEnable() {
    enable(std::nullopt, std::nullopt, std::nullopt);
}

void Log::enable(const std::shared_ptr<LogReceptacle>& receptacle) {
    enable(channelFor(LogSeverity::error, receptacle), channelFor(LogSeverity::info, receptacle),
           channelFor(LogSeverity::trace, receptacle));
}

void Log::enable(const LogConfigurationPtr& configuration) {
    enable(LogConfigurations{configuration});
}

void Log::enable(const LogConfigurations& configurations) {
    enable(LogReceptacle::create(configurations));
}

void Log::trace(LogSeverity severity, std::string function, std::string filePath, int fileLine) {
    if (const auto& target = channel(severity)) {
        target->trace(std::move(function), std::move(filePath), fileLine);
    }
}

void Log::trace(LogSeverity severity, SourceLocation site) {
    if (const auto& target = channel(severity)) {
        target->trace(site);
    }
}

void Log::message(LogSeverity severity, std::string text, std::string function,
                  std::string filePath, int fileLine) {
    if (const auto& target = channel(severity)) {
        target->message(std::move(text), std::move(function), std::move(filePath), fileLine);
    }
}

void Log::message(LogSeverity severity, std::string text, SourceLocation site) {
    if (const auto& target = channel(severity)) {
        target->message(std::move(text), site);
    }
}

void Log::value(LogSeverity severity, std::optional<LogValue> value, std::string function,
                std::string filePath, int fileLine) {
    if (const auto& target = channel(severity)) {
        target->value(std::move(value), std::move(function), std::move(filePath), fileLine);
    }
}

void Log::value(LogSeverity severity, std::optional<LogValue> value, SourceLocation site) {
    if (const auto& target = channel(severity)) {
        target->value(std::move(value), site);
    }
}

}  // namespace orvanpush
