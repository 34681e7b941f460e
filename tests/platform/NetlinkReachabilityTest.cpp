#include "platform/NetlinkReachability.h"

#include <arpa/inet.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <netinet/in.h>

#include <cstring>

#include <gtest/gtest.h>

#include "platform/RouteDumpReader.h"

namespace orvanpush::platform {
namespace {

using namespace reachability_flags;

const NetworkInterface kLoopback{.index = 1, .up = true, .running = true, .loopback = true};
const NetworkInterface kEthernet{.index = 2, .up = true, .running = true};
const NetworkInterface kModem{.index = 3, .up = true, .running = true, .cellular = true};
const NetworkInterface kNoCarrier{.index = 4, .up = true, .running = false};
const NetworkInterface kDown{.index = 5, .up = false, .running = true};
const std::vector<NetworkInterface> kInterfaces{kLoopback, kEthernet, kModem, kNoCarrier, kDown};

DefaultRoute via(int family, const NetworkInterface& interface, bool gateway,
                 std::uint32_t metric = 0) {
    return {.family = family,
            .interfaceIndex = interface.index,
            .hasGateway = gateway,
            .priority = metric};
}

TEST(NetlinkReachabilityTest, TheRoutingTableDecidesTheFlagsAndThisMachinesReads) {
    struct Case {
        const char* what;
        std::vector<DefaultRoute> routes;
        ReachabilityFlags flags;
    };
    const std::vector<Case> cases{
        {"no default route", {}, 0},
        {"over loopback", {via(AF_INET, kLoopback, false)}, 0},
        {"over a link without carrier", {via(AF_INET, kNoCarrier, true)}, 0},
        {"over a link that is down", {via(AF_INET, kDown, true)}, 0},
        {"over an unknown link", {{.family = AF_INET, .interfaceIndex = 99}}, 0},
        {"through a gateway", {via(AF_INET, kEthernet, true)}, reachable},
        {"on the link", {via(AF_INET6, kEthernet, false)}, reachable | isDirect},
        {"over a modem", {via(AF_INET, kModem, true)}, reachable | isWWAN},
        {"IPv4 before IPv6",
         {via(AF_INET6, kEthernet, false), via(AF_INET, kModem, true, 100)},
         reachable | isWWAN},
        {"the lowest metric",
         {via(AF_INET, kModem, true, 600), via(AF_INET, kEthernet, false, 100)},
         reachable | isDirect},
        {"the usable one of two",
         {via(AF_INET, kNoCarrier, false), via(AF_INET, kEthernet, true, 900)},
         reachable},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(routingReachabilityFlags(kInterfaces, c.routes), c.flags) << c.what;
    }
    // This machine's own table reads without failing.
    NetlinkReachability source;
    EXPECT_TRUE(source.getFlags().has_value()) << "errno " << source.lastError();
}

using Bytes = std::vector<std::uint8_t>;
using Outcome = RouteDumpReader::Outcome;

template <typename T>
Bytes bytesOf(const T& value) {
    Bytes bytes(sizeof value);
    std::memcpy(bytes.data(), &value, sizeof value);
    return bytes;
}

Bytes operator+(Bytes head, const Bytes& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

Bytes padded(Bytes bytes) {
    bytes.resize((bytes.size() + 3) & ~std::size_t{3});
    return bytes;
}

Bytes attribute(std::uint16_t type, const Bytes& value) {
    const rtattr header{.rta_len = static_cast<std::uint16_t>(sizeof(rtattr) + value.size()),
                        .rta_type = type};
    return padded(bytesOf(header) + value);
}

Bytes message(std::uint16_t type, std::uint32_t sequence, const Bytes& body) {
    const nlmsghdr header{static_cast<std::uint32_t>(sizeof(nlmsghdr) + body.size()), type,
                          NLM_F_MULTI, sequence, 0};
    return padded(bytesOf(header) + body);
}

Bytes nextHop(int interfaceIndex, const Bytes& attributes) {
    rtnexthop hop{};
    hop.rtnh_len = static_cast<unsigned short>(sizeof(rtnexthop) + attributes.size());
    hop.rtnh_ifindex = interfaceIndex;
    return bytesOf(hop) + attributes;
}

// One datagram as the kernel answers dump 1: a link, a default route over two next hops (the
// first through a gateway), a route of another table, and the end of the dump.
Bytes dumpAnswer() {
    ifinfomsg link{};
    link.ifi_index = 2;
    link.ifi_flags = IFF_UP | IFF_RUNNING;
    rtmsg route{};
    route.rtm_family = AF_INET;
    route.rtm_table = RT_TABLE_MAIN;
    route.rtm_protocol = 3;
    route.rtm_type = RTN_UNICAST;
    rtmsg otherTable = route;
    otherTable.rtm_table = RT_TABLE_LOCAL;
    const Bytes gateway = bytesOf(::inet_addr("10.0.0.1"));
    const Bytes hops = nextHop(2, attribute(RTA_GATEWAY, gateway)) + nextHop(3, {});
    return message(RTM_NEWLINK, 1, bytesOf(link) + attribute(IFLA_IFNAME, {'w', 'w', '0', 0})) +
           message(RTM_NEWROUTE, 1,
                   bytesOf(route) + attribute(RTA_PRIORITY, bytesOf(std::uint32_t{100})) +
                       attribute(RTA_MULTIPATH, hops)) +
           message(RTM_NEWROUTE, 1, bytesOf(otherTable) + attribute(RTA_OIF, bytesOf(7))) +
           message(NLMSG_DONE, 1, bytesOf(0));
}

TEST(RouteDumpReaderTest, ReadsEachNextHopOfItsOwnAnswerAndReportsRefusalsAndCutMessages) {
    RouteDumpReader reader;
    reader.expect(2);
    EXPECT_EQ(reader.read(dumpAnswer()), Outcome::incomplete);
    EXPECT_TRUE(reader.table().interfaces.empty());
    reader.expect(1);
    ASSERT_EQ(reader.read(dumpAnswer()), Outcome::done);
    const auto& table = reader.table();
    ASSERT_EQ(table.interfaces.size(), 1u);
    EXPECT_EQ(table.names, std::vector<std::string>{"ww0"});
    EXPECT_TRUE(table.interfaces[0].up && table.interfaces[0].running);
    const auto hop = [](const DefaultRoute& route) {
        return std::tuple(route.family, route.interfaceIndex, route.hasGateway, route.priority);
    };
    ASSERT_EQ(table.routes.size(), 2u);
    EXPECT_EQ(hop(table.routes[0]), std::tuple(AF_INET, 2, true, 100u));
    EXPECT_EQ(hop(table.routes[1]), std::tuple(AF_INET, 3, false, 100u));

    Bytes cut = dumpAnswer();
    cut.resize(cut.size() - 10);  // the end of the dump does not fit: more must follow
    reader.expect(1);
    EXPECT_EQ(reader.read(cut), Outcome::incomplete);

    nlmsgerr refusal{};
    refusal.error = -EAFNOSUPPORT;
    reader.expect(3);
    EXPECT_EQ(reader.read(message(NLMSG_ERROR, 3, bytesOf(refusal))), Outcome::failed);
    EXPECT_EQ(reader.error(), EAFNOSUPPORT);
}

}  // namespace
}  // namespace orvanpush::platform
