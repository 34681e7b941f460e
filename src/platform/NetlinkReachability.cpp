#include "platform/NetlinkReachability.h"

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <thread>
#include <tuple>
#include <utility>

#include "platform/FileDescriptor.h"
#include "platform/WakeableWait.h"

namespace orvanpush::platform {
namespace {

// Whether sysfs calls the interface a WWAN device. The kernel's names hold no "/", but a name
// is checked before it becomes a path all the same.
bool isCellular(const std::string& name) {
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos) {
        return false;
    }
    std::ifstream uevent("/sys/class/net/" + name + "/uevent");
    std::string line;
    while (std::getline(uevent, line)) {
        if (line == "DEVTYPE=wwan") {
            return true;
        }
    }
    return false;
}

template <typename Body>
bool sendDumpRequest(int socket, std::uint16_t type, Body body, std::uint32_t sequence) {
    struct {
        nlmsghdr header;
        Body body;
    } request{};
    request.header.nlmsg_len = sizeof request;
    request.header.nlmsg_type = type;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = sequence;
    request.body = body;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    return ::sendto(socket, &request, sizeof request, 0, reinterpret_cast<sockaddr*>(&kernel),
                    sizeof kernel) == static_cast<ssize_t>(sizeof request);
}

// The body of a request for the routes of one address family.
rtmsg routesOf(unsigned char family) {
    rtmsg body{};
    body.rtm_family = family;
    return body;
}

// Receives the answer to the request `reader` expects. False on failure, with errno saying why.
bool receiveDump(int socket, RouteDumpReader& reader, bool& interrupted) {
    std::vector<std::uint32_t> buffer(16 * 1024);  // 64 KiB, aligned as messages are
    while (true) {
        sockaddr_nl sender{};
        socklen_t senderSize = sizeof sender;
        const ssize_t received =
            ::recvfrom(socket, buffer.data(), buffer.size() * sizeof(std::uint32_t), 0,
                       reinterpret_cast<sockaddr*>(&sender), &senderSize);
        if (received < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (sender.nl_pid != 0) {
            continue;  // only the kernel speaks for the routing table
        }
        switch (reader.read({reinterpret_cast<const std::uint8_t*>(buffer.data()),
                             static_cast<std::size_t>(received)})) {
            case RouteDumpReader::Outcome::incomplete:
                break;
            case RouteDumpReader::Outcome::interrupted:
                interrupted = true;
                return true;
            case RouteDumpReader::Outcome::done:
                return true;
            case RouteDumpReader::Outcome::failed:
                errno = reader.error();
                return false;
        }
    }
}

// One consistent reading of the links and default routes; errno says why there is none.
std::optional<RoutingTable> readRoutingTable() {
    constexpr int kAttempts = 3;  // a dump the kernel interrupts (the table changed) is redone
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        FileDescriptor socket(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE));
        if (!socket.valid()) {
            return std::nullopt;
        }
        RouteDumpReader reader;
        bool interrupted = false;
        std::uint32_t sequence = 0;
        const auto dump = [&](std::uint16_t type, auto body) {
            if (!sendDumpRequest(socket.get(), type, body, ++sequence)) {
                return false;
            }
            reader.expect(sequence);
            return receiveDump(socket.get(), reader, interrupted);
        };
        if (!dump(RTM_GETLINK, ifinfomsg{}) || !dump(RTM_GETROUTE, routesOf(AF_INET))) {
            return std::nullopt;
        }
        // A kernel without IPv6 refuses the IPv6 dump; the IPv4 routes still count.
        if (!dump(RTM_GETROUTE, routesOf(AF_INET6)) && errno != EAFNOSUPPORT) {
            return std::nullopt;
        }
        if (!interrupted) {
            return std::move(reader.table());
        }
    }
    errno = EBUSY;
    return std::nullopt;
}

std::optional<ReachabilityFlags> readRoutingFlags() {
    auto table = readRoutingTable();
    if (!table) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < table->interfaces.size(); ++i) {
        const bool routed = std::any_of(table->routes.begin(), table->routes.end(), [&](auto& r) {
            return r.interfaceIndex == table->interfaces[i].index;
        });
        table->interfaces[i].cellular = routed && isCellular(table->names[i]);
    }
    return routingReachabilityFlags(table->interfaces, table->routes);
}

}  // namespace

ReachabilityFlags routingReachabilityFlags(const std::vector<NetworkInterface>& interfaces,
                                           const std::vector<DefaultRoute>& routes) {
    const auto interfaceOf = [&](const DefaultRoute& route) -> const NetworkInterface* {
        const auto found = std::find_if(interfaces.begin(), interfaces.end(),
                                        [&](auto& i) { return i.index == route.interfaceIndex; });
        return found == interfaces.end() ? nullptr : &*found;
    };
    const DefaultRoute* chosen = nullptr;
    const auto rank = [](const DefaultRoute& route) {
        return std::make_tuple(route.family != AF_INET, route.priority);
    };
    for (const auto& route : routes) {
        const auto* interface = interfaceOf(route);
        if (interface == nullptr || !interface->up || !interface->running || interface->loopback) {
            continue;
        }
        if (chosen == nullptr || rank(route) < rank(*chosen)) {
            chosen = &route;
        }
    }
    if (chosen == nullptr) {
        return 0;
    }
    using namespace reachability_flags;
    return reachable | (chosen->hasGateway ? 0 : isDirect) |
           (interfaceOf(*chosen)->cellular ? isWWAN : 0);
}

struct NetlinkReachability::Shared : std::enable_shared_from_this<Shared> {
    std::mutex mutex;
    Callback callback;  // guarded by `mutex`
    std::atomic<bool> readingScheduled{false};

    // One reading on `queue` for a burst of events: the flags after the last of them count.
    void scheduleReading(DispatchQueue& queue) {
        if (!readingScheduled.exchange(true)) {
            queue.async([self = shared_from_this()] { self->deliver(); });
        }
    }

    void deliver() {
        readingScheduled = false;
        const auto flags = readRoutingFlags();
        Callback current;
        {
            std::lock_guard lock(mutex);
            current = callback;
        }
        if (flags && current) {
            current(*flags);
        }
    }
};

// The kernel watch: a socket subscribed to link, address and route events, and a thread that
// waits on it until it is stopped.
class NetlinkReachability::Monitor {
  public:
    /// A running watch, or nothing with errno set.
    static std::unique_ptr<Monitor> start(std::shared_ptr<Shared> shared,
                                          std::shared_ptr<DispatchQueue> queue) {
        FileDescriptor socket(
            ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE));
        WakeableWait wait;
        if (!socket.valid() || !wait.valid()) {
            return nullptr;
        }
        sockaddr_nl local{};
        local.nl_family = AF_NETLINK;
        local.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV6_IFADDR |
                          RTMGRP_IPV4_ROUTE | RTMGRP_IPV6_ROUTE;
        if (::bind(socket.get(), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
            return nullptr;
        }
        return std::make_unique<Monitor>(std::move(shared), std::move(queue), std::move(socket),
                                         std::move(wait));
    }

    Monitor(std::shared_ptr<Shared> shared, std::shared_ptr<DispatchQueue> queue,
            FileDescriptor socket, WakeableWait wait)
        : shared_(std::move(shared)),
          queue_(std::move(queue)),
          socket_(std::move(socket)),
          wait_(std::move(wait)),
          thread_([this] { run(); }) {}

    ~Monitor() {
        wait_.wake();
        if (thread_.get_id() == std::this_thread::get_id()) {
            thread_.detach();  // never join oneself
        } else {
            thread_.join();
        }
    }

    Monitor(const Monitor&) = delete;
    Monitor& operator=(const Monitor&) = delete;

    const std::shared_ptr<DispatchQueue>& queue() const { return queue_; }

  private:
    void run() {
        while (wait_.untilReadable(socket_.get())) {
            drainEvents();
            shared_->scheduleReading(*queue_);
        }
    }

    // The events only say that something changed: the reading that follows looks at everything,
    // so they are dropped, and so is the notice of events lost (ENOBUFS).
    void drainEvents() {
        std::vector<std::uint32_t> buffer(16 * 1024);
        while (true) {
            const ssize_t received =
                ::recv(socket_.get(), buffer.data(), buffer.size() * sizeof(std::uint32_t), 0);
            if (received < 0 && (errno == EINTR || errno == ENOBUFS)) {
                continue;
            }
            if (received <= 0) {
                return;  // EAGAIN: nothing more
            }
        }
    }

    std::shared_ptr<Shared> shared_;
    std::shared_ptr<DispatchQueue> queue_;
    FileDescriptor socket_;
    WakeableWait wait_;
    std::thread thread_;
};

NetlinkReachability::NetlinkReachability() : shared_(std::make_shared<Shared>()) {}

NetlinkReachability::~NetlinkReachability() = default;

std::optional<ReachabilityFlags> NetlinkReachability::getFlags() {
    auto flags = readRoutingFlags();
    if (!flags) {
        lastError_ = errno;
    }
    return flags;
}

bool NetlinkReachability::setCallback(Callback callback) {
    std::lock_guard lock(shared_->mutex);
    shared_->callback = std::move(callback);
    return true;
}

bool NetlinkReachability::setDispatchQueue(std::shared_ptr<DispatchQueue> queue) {
    std::lock_guard lock(monitorMutex_);
    if (monitor_ && monitor_->queue() == queue) {
        return true;
    }
    monitor_.reset();
    if (!queue) {
        return true;
    }
    monitor_ = Monitor::start(shared_, std::move(queue));
    if (!monitor_) {
        lastError_ = errno;
        return false;
    }
    return true;
}

}  // namespace orvanpush::platform
