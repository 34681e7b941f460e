#include "orvanpush/platform/DispatchQueue.h"

#include <atomic>
#include <memory>
#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

#include "orvanpush/platform/MainQueue.h"
#include "support/TestHome.h"

namespace orvanpush::platform {
namespace {

TEST(DispatchQueueTest, RunsTasksOneAtATimeInSubmissionOrder) {
    DispatchQueue queue("order");
    std::vector<int> seen;  // touched only on the queue
    std::atomic<int> running{0};
    bool overlapped = false;
    for (int i = 0; i < 500; ++i) {
        queue.async([&, i] {
            overlapped |= running.fetch_add(1) != 0;
            seen.push_back(i);
            running.fetch_sub(1);
        });
    }
    queue.waitUntilIdle();
    ASSERT_EQ(seen.size(), 500u);
    for (int i = 0; i < 500; ++i) {
        EXPECT_EQ(seen[i], i);
    }
    EXPECT_FALSE(overlapped);
}

TEST(DispatchQueueTest, SyncWaitsAndRunsInlineWhenAlreadyOnTheQueue) {
    DispatchQueue queue("sync");
    bool innerRan = false;
    bool onQueue = false;
    queue.sync([&] {
        onQueue = queue.isCurrent();
        queue.sync([&] { innerRan = true; });  // would deadlock if it queued behind itself
    });
    EXPECT_TRUE(onQueue);
    EXPECT_TRUE(innerRan);
    EXPECT_FALSE(queue.isCurrent());
}

TEST(DispatchQueueTest, SyncRethrowsAndAFailingAsyncTaskDoesNotStopTheQueue) {
    DispatchQueue queue("failures");
    EXPECT_THROW(queue.sync([] { throw std::runtime_error("boom"); }), std::runtime_error);
    queue.async([] { throw std::runtime_error("ignored"); });
    bool ranAfter = false;
    queue.sync([&] { ranAfter = true; });
    EXPECT_TRUE(ranAfter);
}

TEST(DispatchQueueTest, DestructionRunsPendingTasks) {
    std::atomic<int> count{0};
    {
        DispatchQueue queue("drain");
        for (int i = 0; i < 100; ++i) {
            queue.async([&] { count.fetch_add(1); });
        }
    }
    EXPECT_EQ(count.load(), 100);
}

TEST(DispatchQueueTest, ALastOwnerReleasedInsideItsOwnTaskIsSafe) {
    auto queue = std::make_shared<DispatchQueue>("self-release");
    testing::Event done;
    auto* raw = queue.get();
    raw->async([owner = std::move(queue), &done]() mutable {
        owner.reset();  // the queue object dies on its own thread
        done.notify();
    });
    EXPECT_TRUE(done.wait());
}

TEST(MainQueueTest, TasksRunOnTheMainQueueAndIdleIsObservable) {
    std::atomic<int> count{0};
    std::atomic<bool> allOnMain{true};
    for (int i = 0; i < 50; ++i) {
        MainQueue::async([&] {
            allOnMain = allOnMain && MainQueue::isCurrent();
            count.fetch_add(1);
        });
    }
    EXPECT_TRUE(MainQueue::waitUntilIdle(std::chrono::seconds(10)));
    EXPECT_EQ(count.load(), 50);
    EXPECT_TRUE(allOnMain.load());
    EXPECT_FALSE(MainQueue::isCurrent());
}

}  // namespace
}  // namespace orvanpush::platform
