// The application and its extension as two real processes on one store: this program, run
// again, is the other process (see StorageWriter). A controller following short extension
// processes is StorageProcessTest's; writers killed midway are the shared-files soak's.

#include <chrono>

#include <gtest/gtest.h>

#include "orvanpush/storage/Message.h"
#include "storage/StorageMessage.h"
#include "storage/StoreTestSupport.h"

namespace orvanpush::detail {
namespace {

using namespace testing;

// Receives the messages of ORVANPUSH_WRITER_IDS ("first:count") one by one; see
// receiveMessages. Skipped in an ordinary run.
TEST(StorageWriter, ReceivesMessagesOneByOne) {
    const auto group = becomeChild();
    const char* ids = std::getenv("ORVANPUSH_WRITER_IDS");
    if (!group || ids == nullptr) {
        GTEST_SKIP() << "run by the two-process tests";
    }
    const std::string range(ids);
    EXPECT_EQ(receiveMessages(*group, std::stoi(range.substr(0, range.find(':'))),
                              std::stoi(range.substr(range.find(':') + 1))),
              0);
}

/// A writer process of `role` for the ids [first, first + count).
std::unique_ptr<ChildProcess> startWriter(const std::string& group, const std::string& role,
                                          int first, int count) {
    return std::make_unique<ChildProcess>(
        std::vector<std::string>{thisProgram(), "--gtest_filter=StorageWriter.*"},
        childEnvironment(
            group, role,
            {"ORVANPUSH_WRITER_IDS=" + std::to_string(first) + ":" + std::to_string(count)}));
}

/// The ids a writer printed as saved, until its output ends; errors it printed fail the test.
std::vector<std::string> savedIds(ChildProcess& writer) {
    std::vector<std::string> ids;
    while (auto line = writer.readLine()) {
        if (line->starts_with("saved ")) {
            ids.push_back(line->substr(6));
        }
        EXPECT_FALSE(line->starts_with("error ")) << *line;
    }
    return ids;
}

TEST(TwoProcessTest, OverlappingReceiptsInTwoProcessesStoreEachIdOnce) {
    const auto group = freshGroup();
    auto storage = storageUtilFor(group);
    // Both begin with the 20 ids they share, so those receipts really meet.
    auto writer = startWriter(group, "extension", 180, 200);
    Answers answers;
    for (int i = 0; i < 200; ++i) {
        storage->messageReceived(idOf((180 + i) % 200), Json{{"classifier", "news"}}, "Title",
                                 std::nullopt, "Body", OrvanPushApiStatus::delivered, "push",
                                 answers.completion());
    }
    EXPECT_EQ(savedIds(*writer).size(), 200u);
    EXPECT_EQ(writer->wait(), 0);
    for (const auto& answer : answers.take()) {
        EXPECT_EQ(answer.status, "success") << answer.error.value_or("");
    }

    EXPECT_EQ(
        sqliteOutput(storeFile(group),
                     "SELECT count(*), count(DISTINCT id), (SELECT count(*) FROM MessageStatus), "
                     "(SELECT count(*) FROM MessageAttributes), (SELECT count(*) FROM Status), "
                     "(SELECT count(*) FROM Channel) FROM Message"),
        "380|380|380|380|1|1\n");
    EXPECT_EQ(sqliteChecks(storeFile(group)), "ok\n");
}

// Retention deletes a few hundred messages per transaction: the extension, receiving at the
// same time, always gets the write lock within its busy timeout.
TEST(TwoProcessTest, TheExtensionKeepsReceivingWhileTheApplicationCleansUpAHundredThousand) {
    using namespace std::chrono_literals;
    const auto group = freshGroup();
    {
        const auto longAgo = std::chrono::system_clock::now() - 1000h;
        std::vector<std::shared_ptr<MessageProtocol>> old;
        for (int i = 0; i < 100000; ++i) {
            old.push_back(std::make_shared<MessageImp>(
                messageValue("old" + std::to_string(i), longAgo + std::chrono::seconds(i))));
        }
        StorageMessage::make(group, AppTarget::application)->saveMessages(old);
    }
    auto writer = startWriter(group, "extension", 0, 100);
    auto storage = storageUtilFor(group, "1000", "36500");
    Answers answers;
    storage->isMessageExists("old0", answers.completion<bool>());  // first use: the clean-up
    const auto saved = savedIds(*writer);
    EXPECT_EQ(writer->wait(), 0);
    EXPECT_EQ(saved.size(), 100u);
    ASSERT_EQ(answers.take().at(0).status, "success");

    const auto& container = *storage->storage()->container();
    EXPECT_EQ(countOf(container, "SELECT count(*) FROM Message WHERE id LIKE 'm%'"), 100);
    // 1,000 newest when the receipts ended before the clean-up, a few more when after it.
    EXPECT_GE(countOf(container, "SELECT count(*) FROM Message"), 1000);
    EXPECT_LE(countOf(container, "SELECT count(*) FROM Message"), 1100);
}

}  // namespace
}  // namespace orvanpush::detail
