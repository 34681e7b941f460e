#include "sdk/ReportsInFlight.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

namespace orvanpush::detail {
namespace {

struct Entry {
    std::size_t inFlight = 0;
    /// The order of the last attempt among this process's reports; none once it was sent.
    std::optional<std::uint64_t> lastAttempt;
};

class Registry {
  public:
    void add(const ReportedStatus& status) {
        std::lock_guard lock(mutex_);
        start(entries_[status]);
    }

    std::vector<ReportedStatus> claim(const std::vector<ReportedStatus>& queued,
                                      std::size_t limit) {
        std::lock_guard lock(mutex_);
        std::vector<std::pair<std::optional<std::uint64_t>, const ReportedStatus*>> candidates;
        for (const auto& status : queued) {
            const auto found = entries_.find(status);
            candidates.emplace_back(
                found == entries_.end() ? std::nullopt : found->second.lastAttempt, &status);
        }
        // Never attempted (no value) sorts first; the store's order stays among equals.
        std::stable_sort(candidates.begin(), candidates.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        std::vector<ReportedStatus> chosen;
        for (const auto& [attempt, status] : candidates) {
            if (chosen.size() == limit) {
                break;
            }
            auto& entry = entries_[*status];
            if (entry.inFlight == 0) {
                start(entry);
                chosen.push_back(*status);
            }
        }
        return chosen;
    }

    void finish(const ReportedStatus& status, bool sent) {
        std::lock_guard lock(mutex_);
        const auto found = entries_.find(status);
        if (found == entries_.end()) {
            return;
        }
        auto& entry = found->second;
        entry.inFlight -= std::min<std::size_t>(entry.inFlight, 1);
        if (sent) {
            entry.lastAttempt.reset();
        }
        if (entry.inFlight == 0 && !entry.lastAttempt) {
            entries_.erase(found);
        }
    }

    std::size_t count(const ReportedStatus& status) {
        std::lock_guard lock(mutex_);
        const auto found = entries_.find(status);
        return found == entries_.end() ? 0 : found->second.inFlight;
    }

  private:
    void start(Entry& entry) {
        ++entry.inFlight;
        entry.lastAttempt = nextAttempt_++;
    }

    std::mutex mutex_;
    std::map<ReportedStatus, Entry> entries_;
    std::uint64_t nextAttempt_ = 0;
};

// Never destroyed: a main-queue job or a completion may still end a report while the process
// exits and destroys its statics.
Registry& registry() {
    alignas(Registry) static std::byte storage[sizeof(Registry)];
    static Registry* const shared = std::construct_at(reinterpret_cast<Registry*>(storage));
    return *shared;
}

}  // namespace

void ReportsInFlight::add(const ReportedStatus& status) {
    registry().add(status);
}

std::vector<ReportedStatus> ReportsInFlight::claim(const std::vector<ReportedStatus>& queued,
                                                   std::size_t limit) {
    return registry().claim(queued, limit);
}

void ReportsInFlight::finish(const ReportedStatus& status, bool sent) {
    registry().finish(status, sent);
}

std::size_t ReportsInFlight::count(const ReportedStatus& status) {
    return registry().count(status);
}

}  // namespace orvanpush::detail
