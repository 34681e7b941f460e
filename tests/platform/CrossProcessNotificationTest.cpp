#include "platform/CrossProcessNotification.h"

#include <atomic>
#include <cstdlib>

#include <gtest/gtest.h>

#include "orvanpush/TextError.h"
#include "orvanpush/platform/MainQueue.h"
#include "platform/Home.h"
#include "support/TestHome.h"

namespace orvanpush::platform {
namespace {

using namespace std::chrono_literals;

TEST(CrossProcessNotificationTest, PostsOfAnyProcessReachTheObserversOfTheirNameOnTheMainQueue) {
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

    CrossProcessNotification::post("group.one");
    ASSERT_TRUE(first.wait());
    // Another process touching the file is a post as well.
    const auto command = "touch '" + Home::notifyFile("group.one").string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    ASSERT_TRUE(second.wait());
    ASSERT_TRUE(MainQueue::waitUntilIdle(10s));
    EXPECT_TRUE(onMainQueue);
    EXPECT_EQ(otherCalls, 0);
}

TEST(CrossProcessNotificationTest, APostDuringACallGetsACallOfItsOwn) {
    std::atomic<int> calls{0};
    testing::Event again;
    auto registration = CrossProcessNotification::observe("group.again", [&] {
        if (++calls == 1) {
            CrossProcessNotification::post("group.again");
        } else {
            again.notify();
        }
    });
    CrossProcessNotification::post("group.again");
    EXPECT_TRUE(again.wait());
}

TEST(CrossProcessNotificationTest, ARegistrationEndsWithItsObject) {
    std::atomic<int> calls{0};
    testing::Event marked;
    auto marker = CrossProcessNotification::observe("group.marker", [&] { marked.notify(); });
    CrossProcessNotification::observe("group.ended", [&] { ++calls; }).reset();
    // One thread reads the posts in order: once the later one is delivered, the earlier one
    // has been dealt with.
    CrossProcessNotification::post("group.ended");
    CrossProcessNotification::post("group.marker");
    ASSERT_TRUE(marked.wait());
    ASSERT_TRUE(MainQueue::waitUntilIdle(10s));
    EXPECT_EQ(calls, 0);
}

TEST(CrossProcessNotificationTest, UnsafeNamesAreRefused) {
    EXPECT_THROW(static_cast<void>(CrossProcessNotification::observe("a/b", [] {})), TextError);
    EXPECT_THROW(CrossProcessNotification::post(".."), TextError);
}

}  // namespace
}  // namespace orvanpush::platform
