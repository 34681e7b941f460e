#include "platform/RouteDumpReader.h"

#include <arpa/inet.h>
#include <linux/rtnetlink.h>
#include <net/if.h>

#include <cstring>

#include <gtest/gtest.h>

namespace orvanpush::platform {
namespace {

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

TEST(RouteDumpReaderTest, ReadsLinksAndEachNextHopOfTheMainTable) {
    RouteDumpReader reader;
    reader.expect(1);
    ASSERT_EQ(reader.read(dumpAnswer()), Outcome::done);
    const auto& table = reader.table();
    ASSERT_EQ(table.interfaces.size(), 1u);
    EXPECT_EQ(table.names, std::vector<std::string>{"ww0"});
    EXPECT_TRUE(table.interfaces[0].up && table.interfaces[0].running);
    ASSERT_EQ(table.routes.size(), 2u);
    EXPECT_EQ(table.routes[0].interfaceIndex, 2);
    EXPECT_TRUE(table.routes[0].hasGateway);
    EXPECT_EQ(table.routes[1].interfaceIndex, 3);
    EXPECT_FALSE(table.routes[1].hasGateway);
    EXPECT_EQ(table.routes[1].priority, 100u);
}

TEST(RouteDumpReaderTest, SkipsOtherAnswersAndReportsRefusalsAndCutMessages) {
    RouteDumpReader reader;
    reader.expect(2);
    EXPECT_EQ(reader.read(dumpAnswer()), Outcome::incomplete);
    EXPECT_TRUE(reader.table().interfaces.empty());

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
