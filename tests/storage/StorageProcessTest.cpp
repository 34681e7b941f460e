// The store as other processes find it: opened from a private mount namespace where the
// container is read-only, and opened, written and closed by short extension processes while the
// application keeps it open.

#include <chrono>
#include <condition_variable>
#include <mutex>

#include <gtest/gtest.h>

#include "orvanpush/storage/FetchedResultsController.h"
#include "platform/MessageDatabase.h"
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
    EXPECT_EQ(firstUseError(*storageUtilFor(*group)), "Initialization storage error");
}

TEST(StorageProcessTest, AStoreOnAReadOnlyMountCannotBeOpened) {
    if (std::system("unshare -m true 2>/dev/null") != 0) {
        GTEST_SKIP() << "no private mount namespaces here";
    }
    const auto group = freshGroup();
    // Kept open, as the application keeps it: SQLite would then open the store read-only.
    const auto application = storageUtilFor(group);
    application->storage()->saveMessage(messageValue("1"));
    const auto containers = (testHome() / "containers").string();
    ChildProcess child(
        {"unshare", "-m", "sh", "-c",
         "mount --bind -o ro \"$1\" \"$1\" && exec \"$2\" "
         "--gtest_filter=StorageChild.OpeningOnAReadOnlyMountThrowsAndSchedulesNothing",
         "sh", containers, thisProgram()},
        childEnvironment(group, "application"));
    std::string output;
    while (auto line = child.readLine()) {
        output += *line + "\n";
    }
    EXPECT_EQ(child.wait(), 0) << output;
    EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
}

// Run by the test below as a short extension process: receives the message numbered
// ORVANPUSH_CHILD_MESSAGE into the existing store and exits. Skipped in an ordinary run.
TEST(StorageChild, ReceivesOneMessage) {
    const auto group = becomeChild();
    const char* number = std::getenv("ORVANPUSH_CHILD_MESSAGE");
    if (!group || number == nullptr) {
        GTEST_SKIP() << "run by StorageProcessTest";
    }
    EXPECT_EQ(receiveMessages(*group, std::stoi(number), 1), 0);
}

/// Tells when the controller lists at least a number of messages.
class ControllerWatch : public FetchedResultsControllerDelegate {
  public:
    void controllerDidChangeContent(FetchedResultsController& controller) override {
        std::lock_guard lock(mutex_);
        listed_ = controller.fetchedObjects().size();
        changed_.notify_all();
    }
    bool lists(std::size_t count, std::chrono::steady_clock::time_point deadline) {
        std::unique_lock lock(mutex_);
        return changed_.wait_until(lock, deadline, [&] { return listed_ >= count; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t listed_ = 0;
};

// As the platform runs an extension: one short process per push, each opening the store that
// exists, writing and exiting, while the application keeps the store and its controller open
// and writes too. An exit never takes the files the application is using.
TEST(StorageProcessTest, TheApplicationSeesAndKeepsEveryMessageOfShortExtensionProcesses) {
    constexpr int extensions = 8;
    const auto group = freshGroup();
    { platform::MessageDatabase created(SharedPersistentContainer::defaultDirectoryURL(group)); }
    auto storage = storageUtilFor(group);
    auto watch = std::make_shared<ControllerWatch>();
    storage->fetchedResultsController()->setDelegate(watch);
    Answers answers;
    for (int number = 0; number < extensions; ++number) {
        ChildProcess extension(
            {thisProgram(), "--gtest_filter=StorageChild.ReceivesOneMessage"},
            childEnvironment(group, "extension",
                             {"ORVANPUSH_CHILD_MESSAGE=" + std::to_string(number)}));
        std::string saved;
        while (auto line = extension.readLine()) {
            if (line->starts_with("saved ") || line->starts_with("error ")) {
                saved = *line;
            }
        }
        const auto committed = std::chrono::steady_clock::now();
        EXPECT_EQ(extension.wait(), 0);
        ASSERT_EQ(saved, "saved " + idOf(number));
        const auto listed = static_cast<std::size_t>(2 * number + 1);
        EXPECT_TRUE(watch->lists(listed, committed + 2s)) << "within 2 s of " << idOf(number);
        storage->messageReceived("app" + std::to_string(number), "Title", std::nullopt, "Body",
                                 OrvanPushApiStatus::delivered, "push", answers.completion());
        EXPECT_TRUE(watch->lists(listed + 1, std::chrono::steady_clock::now() + 2s));
    }
    for (const auto& answer : answers.take()) {
        EXPECT_EQ(answer.status, "success") << answer.error.value_or("");
    }
    EXPECT_EQ(sqliteOutput(storeFile(group), "SELECT count(*), count(DISTINCT id) FROM Message"),
              std::to_string(2 * extensions) + "|" + std::to_string(2 * extensions) + "\n");
    EXPECT_EQ(sqliteChecks(storeFile(group)), "ok\n");
}

}  // namespace
}  // namespace orvanpush::detail
