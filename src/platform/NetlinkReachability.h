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

namespace orvanpush::platform {

/// A network interface as the rule sees it.
struct NetworkInterface {
    int index = 0;
    bool up = false;       ///< IFF_UP
    bool running = false;  ///< IFF_RUNNING: it has a carrier
    bool loopback = false;
    bool cellular = false;  ///< a WWAN device (sysfs DEVTYPE=wwan)
};

/// One next hop of a default route of the main table.
struct DefaultRoute {
    int family = 0;  ///< AF_INET or AF_INET6
    int interfaceIndex = 0;
    bool hasGateway = false;
    std::uint32_t priority = 0;  ///< the route's metric; lower wins
};

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
