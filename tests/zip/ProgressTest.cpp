#include "orvanpush/zip/Progress.h"

#include <gtest/gtest.h>

namespace orvanpush::zip {
namespace {

TEST(ProgressTest, ChildrenCountTowardTheirParentAndAreCancelledWithIt) {
    auto parent = std::make_shared<Progress>(100);
    int notified = 0;
    parent->setObserver([&](const Progress&) { ++notified; });
    auto first = Progress::makeChild(parent, 60);
    auto second = Progress::makeChild(parent, 40);
    first->setTotalUnitCount(1000);
    first->setCompletedUnitCount(500);
    EXPECT_DOUBLE_EQ(parent->fractionCompleted(), 0.3);
    EXPECT_EQ(parent->completedUnitCount(), 0);

    first->setCompletedUnitCount(1000);  // finished: its units join the parent's count
    EXPECT_EQ(parent->completedUnitCount(), 60);
    second->setTotalUnitCount(1);
    second->setCompletedUnitCount(1);
    EXPECT_EQ(parent->completedUnitCount(), 100);
    EXPECT_DOUBLE_EQ(parent->fractionCompleted(), 1.0);
    EXPECT_GE(notified, 5);

    // Cancelling a parent cancels its children.
    EXPECT_FALSE(first->isCancelled());
    parent->cancel();
    EXPECT_TRUE(first->isCancelled() && parent->isCancelled());
    EXPECT_DOUBLE_EQ(Progress().fractionCompleted(), 0.0);
}

}  // namespace
}  // namespace orvanpush::zip
