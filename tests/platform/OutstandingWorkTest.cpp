#include "platform/OutstandingWork.h"

#include <chrono>
#include <thread>

#include <gtest/gtest.h>

namespace orvanpush::platform {
namespace {

using namespace std::chrono_literals;

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
