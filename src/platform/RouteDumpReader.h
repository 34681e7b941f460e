#pragma once

// The kernel's answers to NETLINK_ROUTE dump requests for links and routes, read from the bytes
// of each datagram. Only what the reachability rule needs is kept: each link's flags and name,
// and the default routes of the main table with their next hops. A message or attribute whose
// length does not fit its bytes ends the reading of what holds it; nothing is read past them.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

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

/// The links and default routes that dumps listed.
struct RoutingTable {
    std::vector<NetworkInterface> interfaces;
    std::vector<std::string> names;  ///< each interface's name, by position in `interfaces`
    std::vector<DefaultRoute> routes;
};

/// Reads the answers to dump requests, one datagram at a time, into one routing table.
class RouteDumpReader {
  public:
    enum class Outcome {
        incomplete,   ///< more datagrams of the answer follow
        done,         ///< the answer ended
        interrupted,  ///< the answer ended, but the tables changed while it was made
        failed,       ///< the kernel refused the request: see `error()`
    };

    /// Reads the answer to the request numbered `sequence` from now on; messages of other
    /// requests are skipped. The table keeps what earlier answers added.
    void expect(std::uint32_t sequence);
    /// Reads one datagram of the answer.
    Outcome read(std::span<const std::uint8_t> datagram);
    /// The kernel's errno for a `failed` answer.
    int error() const { return error_; }
    /// What the answers read so far listed.
    RoutingTable& table() { return table_; }

  private:
    std::uint32_t sequence_ = 0;
    bool interrupted_ = false;
    int error_ = 0;
    RoutingTable table_;
};

}  // namespace orvanpush::platform
