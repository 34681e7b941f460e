#include "platform/NetlinkReachability.h"

#include <netinet/in.h>

#include <gtest/gtest.h>

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

TEST(NetlinkReachabilityTest, TheRoutingTableDecidesTheFlags) {
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
}

TEST(NetlinkReachabilityTest, ReadsTheFlagsOfThisMachineWithoutFailing) {
    NetlinkReachability source;
    EXPECT_TRUE(source.getFlags().has_value()) << "errno " << source.lastError();
}

}  // namespace
}  // namespace orvanpush::platform
