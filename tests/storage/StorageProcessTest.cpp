// The store as another process finds it: opened from a private mount namespace where the
// container is read-only.

#include <gtest/gtest.h>

#include "platform/OutstandingWork.h"
#include "storage/StoreTestSupport.h"

namespace orvanpush::detail {
namespace {

using namespace testing;

// Run by the test below inside the namespace; skipped in an ordinary run.
TEST(StorageChild, OpeningOnAReadOnlyMountThrowsAndSchedulesNothing) {
    const auto group = becomeChild();
    if (!group) {
        GTEST_SKIP() << "run by StorageProcessTest";
    }
    auto storage = storageUtilFor(*group);
    bool answered = false;
    try {
        storage->isMessageExists("1", [&](auto&&...) { answered = true; });
        ADD_FAILURE() << "the store opened on a read-only mount";
    } catch (const TextError& error) {
        EXPECT_EQ(std::string(error.what()), "Initialization storage error");
    }
    EXPECT_EQ(platform::OutstandingWork::count(), 0u);
    EXPECT_TRUE(platform::MainQueue::waitUntilIdle(10s));
    EXPECT_FALSE(answered);
}

TEST(StorageProcessTest, AStoreOnAReadOnlyMountCannotBeOpened) {
    if (std::system("unshare -m true 2>/dev/null") != 0) {
        GTEST_SKIP() << "no private mount namespaces here";
    }
    const auto group = freshGroup();
    storageUtilFor(group)->storage()->saveMessage(messageValue("1"));
    const auto containers = (testHome() / "containers").string();
    ChildProcess child({"unshare", "-m", "sh", "-c",
                        "mount --bind -o ro \"$1\" \"$1\" && exec \"$2\" "
                        "--gtest_filter=StorageChild.*",
                        "sh", containers, thisProgram()},
                       childEnvironment(group, "application"));
    std::string output;
    while (auto line = child.readLine()) {
        output += *line + "\n";
    }
    EXPECT_EQ(child.wait(), 0) << output;
    EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
}

}  // namespace
}  // namespace orvanpush::detail
