#include "orvanpush/platform/NotificationCenter.h"

#include <atomic>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/TestHome.h"

namespace orvanpush::platform {
namespace {

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
}

TEST(NotificationCenterTest, AnObserverMayPostToItselfAndEndItsOwnObservation) {
    NotificationCenter center;
    int calls = 0;
    std::optional<NotificationCenter::Observation> observation;
    observation = center.addObserver("again", [&](const Notification&) {
        if (++calls == 1) {
            center.post("again");
            observation.reset();
        }
    });
    center.post("again");
    center.post("again");
    EXPECT_EQ(calls, 2);
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

}  // namespace
}  // namespace orvanpush::platform
