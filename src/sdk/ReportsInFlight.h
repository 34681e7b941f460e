#pragma once

// The status reports this process has under way, shared by every instance (each getInstance
// builds a new object, while the queue of unsent statuses lives in the shared store). A report
// is in flight from just before it is sent until the main-queue job that marks its row sent or
// unsent; the re-send of queued statuses skips the reports in flight, so a status is never
// sent twice at once by this process, and it tries first the statuses it attempted least
// recently, so statuses the server keeps refusing never hold back the others.
//
//   ReportsInFlight::add(status);                       // a new report
//   auto chosen = ReportsInFlight::claim(queued, 5);    // a round of re-sends
//   ReportsInFlight::finish(status, /*sent=*/true);      // in the job that marked it

#include <cstddef>
#include <string>
#include <vector>

namespace orvanpush::detail {

/// A message's status as reports name it: the message id and "Delivered" or "Read".
struct ReportedStatus {
    std::string messageId;
    std::string statusName;

    auto operator<=>(const ReportedStatus&) const = default;
};

class ReportsInFlight {
  public:
    /// A report of `status` is about to be sent (even if another one is in flight).
    static void add(const ReportedStatus& status);

    /// Chooses up to `limit` of the `queued` statuses (in the store's order) to re-send, and
    /// adds them to the reports in flight: those never attempted by this process first, in
    /// their order, then the others by their last attempt, oldest first. Statuses in flight
    /// are left out and do not count against the limit.
    static std::vector<ReportedStatus> claim(const std::vector<ReportedStatus>& queued,
                                             std::size_t limit);

    /// A report of `status` has ended: its row was marked sent (`sent`) or unsent.
    static void finish(const ReportedStatus& status, bool sent);

    /// How many reports of `status` are in flight.
    static std::size_t count(const ReportedStatus& status);
};

}  // namespace orvanpush::detail
