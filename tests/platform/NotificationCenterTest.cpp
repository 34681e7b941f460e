#include "orvanpush/platform/NotificationCenter.h"

#include <atomic>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "orvanpush/TextError.h"
#include "orvanpush/platform/MainQueue.h"
#include "platform/CrossProcessNotification.h"
#include "platform/Home.h"
#include "support/TestHome.h"

namespace orvanpush::platform {
namespace {

using namespace std::chrono_literals;

using testing::Event;

TEST(NotificationCenterTest, ObserversOfTheNameAreCalledWithTheObjectUntilTheirObservationEnds) {
    NotificationCenter center;
    std::vector<std::string> calls;
    auto first = center.addObserver("changed", [&](const Notification& n) {
        calls.push_back("first " + std::any_cast<std::string>(n.object));
        throw std::runtime_error("an observer's failure stays its own");
    });
    const auto second = center.addObserver(
        "changed", [&](const Notification& n) { calls.push_back("second " + n.name); });
    const auto other =
        center.addObserver("other", [&](const Notification&) { calls.push_back("other"); });
    center.post("changed", std::string("A"));
    first.cancel();
    center.post("changed", std::string("B"));
    EXPECT_EQ(calls, (std::vector<std::string>{"first A", "second changed", "second changed"}));

    // An observer may post to itself and end its own observation.
    int againCalls = 0;
    std::optional<NotificationCenter::Observation> again;
    again = center.addObserver("again", [&](const Notification&) {
        if (++againCalls == 1) {
            center.post("again");
            again.reset();
        }
    });
    center.post("again");
    center.post("again");
    EXPECT_EQ(againCalls, 2);
}

TEST(NotificationCenterTest, EndingAnObservationWaitsForItsCallUnderWayOnAnotherThread) {
    NotificationCenter center;
    Event entered;
    Event release;
    std::atomic<bool> running = false;
    auto observation = center.addObserver("slow", [&](const Notification&) {
        running = true;
        entered.notify();
        release.wait();
        running = false;
    });
    std::thread poster([&] { center.post("slow"); });
    ASSERT_TRUE(entered.wait());
    std::thread releaser([&] { release.notify(); });
    observation.cancel();
    EXPECT_FALSE(running);
    poster.join();
    releaser.join();
}

TEST(CrossProcessNotificationTest,
     PostsOfAnyProcessReachTheLiveObserversOfTheirNameOnTheMainQueue) {
    std::atomic<int> calls{0};
    std::atomic<bool> onMainQueue{true};
    testing::Event first;
    testing::Event second;
    auto registration = CrossProcessNotification::observe("group.one", [&] {
        onMainQueue = onMainQueue && MainQueue::isCurrent();
        (++calls == 1 ? first : second).notify();
    });
    std::atomic<int> otherCalls{0};
    auto other = CrossProcessNotification::observe("group.other", [&] { ++otherCalls; });
    CrossProcessNotification::observe("group.ended", [&] { ++otherCalls; }).reset();
    // A post during a call gets a call of its own.
    std::atomic<int> againCalls{0};
    testing::Event again;
    auto repeating = CrossProcessNotification::observe("group.again", [&] {
        if (++againCalls == 1) {
            CrossProcessNotification::post("group.again");
        } else {
            again.notify();
        }
    });

    // One thread reads the posts in order: once a later one is delivered, the earlier ones have
    // been dealt with.
    CrossProcessNotification::post("group.ended");
    CrossProcessNotification::post("group.again");
    ASSERT_TRUE(again.wait());
    CrossProcessNotification::post("group.one");
    ASSERT_TRUE(first.wait());
    // Another process touching the file is a post as well.
    const auto command = "touch '" + Home::notifyFile("group.one").string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    ASSERT_TRUE(second.wait());
    ASSERT_TRUE(MainQueue::waitUntilIdle(10s));
    EXPECT_TRUE(onMainQueue);
    EXPECT_EQ(otherCalls, 0);

    EXPECT_THROW(static_cast<void>(CrossProcessNotification::observe("a/b", [] {})), TextError);
    EXPECT_THROW(CrossProcessNotification::post(".."), TextError);
}

}  // namespace
}  // namespace orvanpush::platform
