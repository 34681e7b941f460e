#include "orvanpush/logger/LogReceptacle.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace orvanpush {
namespace {

// A configuration with recorders comes before its children; one without contributes only its
// children.
void flatten(const LogConfigurationPtr& configuration, LogConfigurations& flattened) {
    if (!configuration) {
        return;
    }
    if (!configuration->recorders().empty()) {
        flattened.push_back(configuration);
    }
    if (const auto& children = configuration->configurations()) {
        for (const auto& child : *children) {
            flatten(child, flattened);
        }
    }
}

LogSeverity leastMinimum(const LogConfigurations& configurations) {
    LogSeverity minimum = LogSeverity::off;
    for (const auto& configuration : configurations) {
        minimum = std::min(minimum, configuration->minimumSeverity());
    }
    return minimum;
}

bool passesFilters(const LogConfiguration& configuration, const LogEntry& entry) {
    return std::all_of(configuration.filters().begin(), configuration.filters().end(),
                       [&](const LogFilterPtr& filter) { return filter->shouldRecord(entry); });
}

// Runs on the recorder's queue: the first formatter that has text for the entry decides what
// is recorded.
void recordFormatted(LogRecorder& recorder, const LogEntry& entry, bool synchronousMode) {
    for (const auto& formatter : recorder.formatters()) {
        if (auto text = formatter->format(entry)) {
            recorder.record(*text, entry, *recorder.queue(), synchronousMode);
            return;
        }
    }
}

}  // namespace

std::shared_ptr<LogReceptacle> LogReceptacle::create(const LogConfigurations& configuration) {
    // The constructor is private; this local class lends it to make_shared.
    struct Constructible : LogReceptacle {
        explicit Constructible(const LogConfigurations& configuration)
            : LogReceptacle(configuration) {}
    };
    return std::make_shared<Constructible>(configuration);
}

LogReceptacle::LogReceptacle(const LogConfigurations& configuration) {
    for (const auto& each : configuration) {
        flatten(each, configuration_);
    }
    minimumSeverity_ = leastMinimum(configuration_);
}

const std::shared_ptr<platform::DispatchQueue>& LogReceptacle::acceptQueue() {
    std::call_once(acceptQueueOnce_, [this] {
        acceptQueue_ = std::make_shared<platform::DispatchQueue>("LogReceptacle.acceptQueue");
    });
    return acceptQueue_;
}

void LogReceptacle::log(const LogEntry& entry) {
    std::vector<const LogConfigurationPtr*> asynchronous;
    std::vector<const LogConfiguration*> synchronous;
    for (const auto& configuration : configuration_) {
        if (entry.severity < configuration->minimumSeverity()) {
            continue;
        }
        if (configuration->synchronousMode()) {
            synchronous.push_back(configuration.get());
        } else {
            asynchronous.push_back(&configuration);
        }
    }
    if (!asynchronous.empty()) {
        auto shared = std::make_shared<const LogEntry>(entry);
        for (const LogConfigurationPtr* configuration : asynchronous) {
            dispatchAsynchronously(*configuration, shared);
        }
    }
    for (const LogConfiguration* configuration : synchronous) {
        dispatchSynchronously(*configuration, entry);
    }
}

void LogReceptacle::dispatchAsynchronously(const LogConfigurationPtr& configuration,
                                           const std::shared_ptr<const LogEntry>& entry) {
    acceptQueue()->async([receptacle = weak_from_this(), configuration, entry] {
        if (receptacle.expired() || !passesFilters(*configuration, *entry)) {
            return;
        }
        for (const auto& recorder : configuration->recorders()) {
            recorder->queue()->async(
                [recorder, entry] { recordFormatted(*recorder, *entry, false); });
        }
    });
}

// Only the filters run on the accept queue; the caller then waits on each recorder's queue
// itself. Holding the accept queue while waiting for a recorder would deadlock as soon as that
// recorder logged synchronously in turn.
void LogReceptacle::dispatchSynchronously(const LogConfiguration& configuration,
                                          const LogEntry& entry) {
    bool accepted = false;
    acceptQueue()->sync([&] { accepted = passesFilters(configuration, entry); });
    if (!accepted) {
        return;
    }
    for (const auto& recorder : configuration.recorders()) {
        recorder->queue()->sync([&] { recordFormatted(*recorder, entry, true); });
    }
}

}  // namespace orvanpush
