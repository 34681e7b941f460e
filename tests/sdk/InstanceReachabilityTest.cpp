#include <atomic>

#include <gtest/gtest.h>

#include "orvanpush/PushSDK.h"
#include "orvanpush/platform/MainQueue.h"
#include "sdk/PushSDKState.h"
#include "support/TestHome.h"

namespace orvanpush::detail {
namespace {

TEST(InstanceReachabilityTest, EachInstanceWatchesTheNetworkAndNotifiesOnTheMainQueue) {
    testing::Event notified;  // outlives the instances' callbacks
    std::atomic<bool> onMainQueue = false;
    PushSDK::createInstance("reachable", {"https", "push.example.com", 443, std::nullopt}, "alice",
                            "secret", std::nullopt, true);
    const auto first = PushSDKAccess::state(*PushSDK::getInstance("reachable"))->reachability;
    const auto second = PushSDKAccess::state(*PushSDK::getInstance("reachable"))->reachability;
    ASSERT_TRUE(first && second);
    EXPECT_NE(first, second);
    const auto record = [&](const auto&) {
        onMainQueue = platform::MainQueue::isCurrent();
        notified.notify();
    };
    first->setWhenReachable(record);
    first->setWhenUnreachable(record);
    first->startNotifier();
    ASSERT_TRUE(notified.wait());
    EXPECT_TRUE(onMainQueue);
}

}  // namespace
}  // namespace orvanpush::detail
