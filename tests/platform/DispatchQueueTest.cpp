#include "orvanpush/platform/DispatchQueue.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <numeric>
#include <stdexcept>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/OutstandingWork.h"
#include "support/TestHome.h"

namespace orvanpush::platform {
namespace {

using namespace std::chrono_literals;

TEST(DispatchQueueTest, RunsInOrderDrainsSyncsInlineOutlivesFailedTasksAndItsLastOwnersTask) {
    std::vector<int> seen;  // touched only on the queue
    {
        DispatchQueue queue("order");
        for (int i = 0; i < 500; ++i) {
            queue.async([&seen, i] { seen.push_back(i); });
            if (i == 249) {
                queue.waitUntilIdle();
                EXPECT_EQ(seen.size(), 250u);
            }
        }
    }  // destruction runs the tasks still queued
    std::vector<int> expected(500);
    std::iota(expected.begin(), expected.end(), 0);
    EXPECT_EQ(seen, expected);

    DispatchQueue queue("sync");
    bool innerRanOnQueue = false;
    queue.sync([&] {
        // would deadlock if it queued behind itself
        queue.sync([&] { innerRanOnQueue = queue.isCurrent(); });
    });
    EXPECT_TRUE(innerRanOnQueue);

    EXPECT_THROW(queue.sync([] { throw std::runtime_error("boom"); }), std::runtime_error);
    queue.async([] { throw std::runtime_error("ignored"); });
    bool ranAfter = false;
    queue.sync([&] { ranAfter = true; });
    EXPECT_TRUE(ranAfter);

    // A last owner released inside its own task is safe.
    auto owned = std::make_shared<DispatchQueue>("self-release");
    // The task shares both events: it may still be signalling when the test ends.
    auto othersReleased = std::make_shared<testing::Event>();
    auto done = std::make_shared<testing::Event>();
    owned->async([owner = owned, othersReleased, done]() mutable {
        othersReleased->wait();
        owner.reset();  // the last owner: the queue object dies on its own thread
        done->notify();
    });
    owned.reset();
    othersReleased->notify();
    EXPECT_TRUE(done->wait());
}

TEST(OutstandingWorkTest, WorkCountsUntilItsLastTokenIsGoneAndWaitersWakeThen) {
    ASSERT_TRUE(OutstandingWork::waitUntilDone(0ms));
    auto first = OutstandingWork::begin();
    {
        auto copy = first;
        auto second = OutstandingWork::begin();
        EXPECT_EQ(OutstandingWork::count(), 2u);
    }
    EXPECT_EQ(OutstandingWork::count(), 1u);
    EXPECT_FALSE(OutstandingWork::waitUntilDone(10ms));

    std::thread finisher([token = std::move(first)]() mutable { token = {}; });
    EXPECT_TRUE(OutstandingWork::waitUntilDone(10s));
    finisher.join();
    EXPECT_EQ(OutstandingWork::count(), 0u);
}

}  // namespace
}  // namespace orvanpush::platform
