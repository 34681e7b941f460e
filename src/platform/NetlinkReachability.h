#pragma once

// Reachability flags of the network in general from the kernel's routing table, read and
// watched over NETLINK_ROUTE. Nothing is sent to any network.
//
// A reading dumps the links and the IPv4 and IPv6 routes on a socket of its own. The watch (a
// socket subscribed to link, address and route events, and a thread) starts when a queue is set
// and stops when it is cleared, through an eventfd; after each burst of events the flags are read
// again on the queue and handed to the callback. A lost event (ENOBUFS) is one more reason to read
// everything again.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "orvanpush/Reachability.h"
#include "platform/RouteDumpReader.h"

namespace orvanpush::platform {

/// The flags the routing table gives: reachable when a default route leaves through an interface
/// that is up, running and not loopback; of such routes the kernel's choice (IPv4 first, then the
/// lowest metric) decides "direct" (no gateway) and "WWAN" (a cellular interface). 0 otherwise.
ReachabilityFlags routingReachabilityFlags(const std::vector<NetworkInterface>& interfaces,
                                           const std::vector<DefaultRoute>& routes);

class NetlinkReachability final : public ReachabilityFlagSource {
  public:
    NetlinkReachability();
    /// Stops the watch.
    ~NetlinkReachability() override;

    std::optional<ReachabilityFlags> getFlags() override;
    bool setCallback(Callback callback) override;
    bool setDispatchQueue(std::shared_ptr<DispatchQueue> queue) override;
    std::int32_t lastError() const override { return lastError_.load(); }

  private:
    struct Shared;
    class Monitor;

    std::shared_ptr<Shared> shared_;
    std::mutex monitorMutex_;
    std::unique_ptr<Monitor> monitor_;
    std::atomic<std::int32_t> lastError_{0};
};

}  // namespace orvanpush::platform
