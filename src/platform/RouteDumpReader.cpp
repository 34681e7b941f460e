#include "platform/RouteDumpReader.h"

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <functional>
#include <optional>

namespace orvanpush::platform {
namespace {

using Payload = std::span<const std::uint8_t>;

constexpr std::size_t align4(std::size_t length) {
    return (length + 3) & ~std::size_t{3};
}

// A value of type T at the start of `bytes` (zero-filled when they are too short).
template <typename T>
T valueAt(Payload bytes) {
    T value{};
    std::memcpy(&value, bytes.data(), std::min(sizeof value, bytes.size()));
    return value;
}

// Calls `each(type, value)` for every well-formed attribute in `bytes`.
void forEachAttribute(Payload bytes, const std::function<void(unsigned, Payload)>& each) {
    while (bytes.size() >= sizeof(rtattr)) {
        const auto attribute = valueAt<rtattr>(bytes);
        if (attribute.rta_len < sizeof(rtattr) || attribute.rta_len > bytes.size()) {
            return;
        }
        each(attribute.rta_type, bytes.subspan(sizeof(rtattr), attribute.rta_len - sizeof(rtattr)));
        bytes = bytes.subspan(std::min(align4(attribute.rta_len), bytes.size()));
    }
}

void addInterface(RoutingTable& table, Payload message) {
    const auto info = valueAt<ifinfomsg>(message);
    if (message.size() < sizeof info) {
        return;
    }
    std::string name;
    forEachAttribute(message.subspan(align4(sizeof info)), [&](unsigned type, Payload value) {
        if (type == IFLA_IFNAME) {
            name.assign(value.begin(), std::find(value.begin(), value.end(), 0));
        }
    });
    table.interfaces.push_back({.index = info.ifi_index,
                                .up = (info.ifi_flags & IFF_UP) != 0,
                                .running = (info.ifi_flags & IFF_RUNNING) != 0,
                                .loopback = (info.ifi_flags & IFF_LOOPBACK) != 0});
    table.names.push_back(std::move(name));
}

// The next hops of a multipath route: each a header followed by its own attributes.
void addNextHops(RoutingTable& table, DefaultRoute route, Payload hops) {
    while (hops.size() >= sizeof(rtnexthop)) {
        const auto hop = valueAt<rtnexthop>(hops);
        if (hop.rtnh_len < sizeof hop || hop.rtnh_len > hops.size()) {
            return;
        }
        route.interfaceIndex = hop.rtnh_ifindex;
        route.hasGateway = false;
        forEachAttribute(hops.subspan(sizeof hop, hop.rtnh_len - sizeof hop),
                         [&](unsigned type, Payload) {
                             route.hasGateway |= type == RTA_GATEWAY || type == RTA_VIA;
                         });
        table.routes.push_back(route);
        hops = hops.subspan(std::min(align4(hop.rtnh_len), hops.size()));
    }
}

void addRoute(RoutingTable& table, Payload message) {
    const auto header = valueAt<rtmsg>(message);
    if (message.size() < sizeof header || header.rtm_dst_len != 0 ||
        header.rtm_type != RTN_UNICAST) {
        return;
    }
    std::uint32_t tableId = header.rtm_table;
    DefaultRoute route{.family = header.rtm_family};
    std::optional<Payload> multipath;
    forEachAttribute(message.subspan(align4(sizeof header)), [&](unsigned type, Payload value) {
        switch (type) {
            case RTA_TABLE:
                tableId = valueAt<std::uint32_t>(value);
                break;
            case RTA_OIF:
                route.interfaceIndex = valueAt<int>(value);
                break;
            case RTA_GATEWAY:
            case RTA_VIA:
                route.hasGateway = true;
                break;
            case RTA_PRIORITY:
                route.priority = valueAt<std::uint32_t>(value);
                break;
            case RTA_MULTIPATH:
                multipath = value;
                break;
            default:
                break;
        }
    });
    if (tableId != RT_TABLE_MAIN) {
        return;
    }
    if (multipath) {
        addNextHops(table, route, *multipath);
    } else {
        table.routes.push_back(route);
    }
}

}  // namespace

void RouteDumpReader::expect(std::uint32_t sequence) {
    sequence_ = sequence;
    interrupted_ = false;
    error_ = 0;
}

RouteDumpReader::Outcome RouteDumpReader::read(std::span<const std::uint8_t> datagram) {
    Payload bytes = datagram;
    while (bytes.size() >= sizeof(nlmsghdr)) {
        const auto header = valueAt<nlmsghdr>(bytes);
        if (header.nlmsg_len < sizeof header || header.nlmsg_len > bytes.size()) {
            break;
        }
        const auto payload =
            bytes.subspan(align4(sizeof header), header.nlmsg_len - align4(sizeof header));
        bytes = bytes.subspan(std::min(align4(header.nlmsg_len), bytes.size()));
        if (header.nlmsg_seq != sequence_) {
            continue;
        }
        interrupted_ |= (header.nlmsg_flags & NLM_F_DUMP_INTR) != 0;
        switch (header.nlmsg_type) {
            case NLMSG_DONE:
                return interrupted_ ? Outcome::interrupted : Outcome::done;
            case NLMSG_ERROR: {
                // A negative errno; anything else (INT_MIN has no negation) is no errno at all.
                const int code = valueAt<nlmsgerr>(payload).error;
                error_ = code < 0 && code != INT_MIN ? -code : EPROTO;
                return Outcome::failed;
            }
            case RTM_NEWLINK:
                addInterface(table_, payload);
                break;
            case RTM_NEWROUTE:
                addRoute(table_, payload);
                break;
            default:
                break;
        }
    }
    return Outcome::incomplete;
}

}  // namespace orvanpush::platform
