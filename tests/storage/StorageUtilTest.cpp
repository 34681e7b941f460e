#include "storage/StorageUtil.h"

#include <condition_variable>
#include <mutex>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "orvanpush/platform/PlatformConfig.h"
#include "orvanpush/storage/FetchedResultsController.h"
#include "orvanpush/storage/StorageErrors.h"
#include "platform/MessageDatabase.h"
#include "platform/OutstandingWork.h"
#include "security/KeyChainUtil.h"
#include "storage/CustomData.h"
#include "storage/StoreTestSupport.h"

namespace orvanpush::detail {
namespace {

using namespace std::chrono_literals;
using platform::MainQueue;
using platform::OutstandingWork;
using namespace testing;

/// Holds the main queue until released, so that jobs queue up behind it.
class MainQueueGate {
  public:
    MainQueueGate() {
        MainQueue::async([open = open_] { open->wait(30s); });
    }
    ~MainQueueGate() { release(); }
    void release() { open_->notify(); }

  private:
    std::shared_ptr<testing::Event> open_ = std::make_shared<testing::Event>();
};

// Also: an id is stored once, and reading an unknown id answers an error.
TEST(StorageUtilTest, JobsAnswerOnTheMainQueueInCallOrderAndCountAsOutstandingWork) {
    auto storage = storageUtilFor(freshGroup());
    std::vector<std::string> order;
    auto note = [&](std::string label) {
        return [&order, label](const std::string& status, const std::optional<TextError>& error) {
            EXPECT_TRUE(MainQueue::isCurrent());
            order.push_back(label + ":" + status + (error ? std::string(" ") + error->what() : ""));
        };
    };
    auto exists = [&](std::string label) {
        return [&order, label](const std::string& status, bool value,
                               const std::optional<TextError>&) {
            order.push_back(label + ":" + status + (value ? " yes" : " no"));
        };
    };
    {
        MainQueueGate gate;
        for (const auto* id : {"1", "dup", "dup"}) {
            storage->messageReceived(id, "title", std::nullopt, "body",
                                     OrvanPushApiStatus::delivered, "push", note("receive"));
        }
        storage->isMessageExists("1", exists("exists"));
        storage->setMessageRead("1", note("read"));
        storage->setMessageRead("unknown", note("read"));
        storage->markMessageStatusAsSent("1", "Delivered", note("sent"));
        storage->getMessageStatusesUnsent([&](const std::string& status,
                                              std::vector<MessageStatusExternal> unsent,
                                              const std::optional<TextError>&) {
            order.push_back("unsent:" + status);
            ASSERT_EQ(unsent.size(), 2u);
            EXPECT_EQ(unsent[0].messageId().value_or("") + unsent[0].statusName().value_or(""),
                      "dupDelivered");
            EXPECT_EQ(unsent[1].statusName(), "Read");
        });
        storage->removeMessage("1", note("remove"));
        storage->isMessageExists("1", exists("exists"));
        EXPECT_GE(OutstandingWork::count(), 10u);
    }
    ASSERT_TRUE(OutstandingWork::waitUntilDone(30s));
    EXPECT_THAT(order,
                ::testing::ElementsAre(
                    "receive:success", "receive:success", "receive:success", "exists:success yes",
                    "read:success", "read:error Message with id unknown not found", "sent:success",
                    "unsent:success", "remove:success", "exists:success no"));
    EXPECT_EQ(testing::countOf(*storage->storage()->container(),
                               "SELECT count(*) FROM Message WHERE id = 'dup'"),
              1);
}

TEST(StorageUtilTest, AStoreThatCannotBeOpenedThrowsAndSchedulesNothingTheKeychainGivesAGroup) {
    const auto noGroup =
        std::make_shared<SettingsUtils>(platform::UserDefaults::suite("settings." + freshGroup()),
                                        SettingsUtils::SettingReceivers{});
    const std::vector<std::pair<std::shared_ptr<StorageUtil>, std::string>> cases{
        {std::make_shared<StorageUtil>("instance.none", nullptr),
         "Initialization settings utils error"},
        {std::make_shared<StorageUtil>("instance." + freshGroup(), noGroup),
         "Shared Application Group not found in settings"},
        {storageUtilFor(".."), "Initialization storage error"},
    };
    for (const auto& [storage, text] : cases) {
        EXPECT_EQ(testing::firstUseError(*storage), text);
    }

    // Without a group in the settings, the group comes from the keychain.
    const auto instance = "instance." + freshGroup();
    const std::string group = freshGroup();
    ASSERT_EQ(KeyChain::save("sharedAppGroup", Bytes(group.begin(), group.end()), instance), 0);
    StorageUtil storage(instance, std::make_shared<SettingsUtils>(
                                      platform::UserDefaults::suite("settings." + instance),
                                      SettingsUtils::SettingReceivers{}));
    EXPECT_EQ(storage.storage()->groupId(), group);
    EXPECT_EQ(storage.storage(), storage.storage());
}

TEST(CustomDataTest, NumbersFlagsAndDatesAreReadStrictly) {
    const std::vector<std::pair<const char*, std::int16_t>> numbers{
        {"12", 12}, {"-5", -5}, {"+5", 5}, {"32767", 32767}, {"32768", 0}, {"-32769", 0},
        {"5x", 0},  {" 5", 0},  {"", 0},   {"+-5", 0},       {"0x10", 0},  {"1e3", 0}};
    for (const auto& [text, value] : numbers) {
        EXPECT_EQ(CustomData::int16(text), value) << text;
    }
    const std::vector<std::pair<Json, bool>> flags{
        {{{"content-available", "TRUE"}}, true}, {{{"content-available", "xtruex"}}, true},
        {{{"content-available", "1"}}, false},   {{{"content-available", "yes"}}, false},
        {{{"content-available", true}}, false},  {Json::array(), false}};
    for (const auto& [data, flag] : flags) {
        EXPECT_EQ(CustomData::contentAvailable(data), flag) << data.dump();
    }
    EXPECT_EQ(CustomData::sentDate("2023-02-28T10:20:30"), Date(std::chrono::seconds(1677579630)));
    for (const auto* text : {"2023-02-30T00:00:00", "2023-2-28T10:20:30", "2023-02-28T10:20:30Z",
                             "2023-02-28 10:20:30", ""}) {
        EXPECT_EQ(CustomData::sentDate(text), std::nullopt) << text;
    }
}

TEST(StorageUtilTest, CustomDataRichContentAndTheControllerThroughTheFacade) {
    auto storage = storageUtilFor(freshGroup());
    const Json customData{{"content-available", "True"},
                          {"classifierId", "70000"},
                          {"classifier", "news"},
                          {"isImportant", "1"},
                          {"sentDate", "2023-02-30T00:00:00"}};
    Answers answers;
    storage->messageReceived("c", customData, "t", "s", "b", OrvanPushApiStatus::read, "push",
                             answers.completion());
    ASSERT_EQ(answers.take().at(0).status, "success");
    const auto message = storage->storage()->messageById("c");
    const auto attributes = message->messageAttributes();
    EXPECT_EQ(std::tuple(message->contentAvailable(), message->title(), message->subtitle(),
                         message->body(), message->statusName(), attributes->classifierdId(),
                         attributes->classifierName(), attributes->isImportant()),
              std::tuple(true, "t", "s", "b", "Read", 0, "news", 1));
    EXPECT_EQ(attributes->messageDate(), std::nullopt);

    // Rich content and the controller.
    storage->storage()->saveMessage(messageValue("1"));
    storage->storage()->saveMessage(messageValue("2"));
    storage->saveNotificationContent(testing::contentOf("1", "rich", "text/html"),
                                     answers.completion());
    ASSERT_EQ(answers.take().at(0).status, "success");
    const auto stored = storage->storage()->extraContent("1");
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(std::tuple(stored->mimeType(), stored->value()), std::tuple("text/html", "rich"));

    // A predicate the fetch refuses leaves the controller with the request it had.
    const auto controller =
        storage->getMessages(Predicate("id", Predicate::Operator::equalTo, "2"));
    EXPECT_THROW(storage->getMessages(Predicate("isSent", Predicate::Operator::equalTo, true)),
                 PredicateError);
    controller->performFetch();
    EXPECT_EQ(idsOf(*controller), std::vector<std::string>{"2"});
}

// Three messages of 40 days ago and two of today; each store is first used through the facade.
TEST(StorageUtilTest, FirstUseCleanupRunsOnlyInTheApplicationWithTwoValidLimits) {
    struct Case {
        const char* quantityLimit;  // "" for none
        const char* daysLimit;
        bool extension;
        std::int64_t remaining;
    };
    const char* const overflowing = "99999999999999999999";
    const char* const largest = "9223372036854775807";
    const Case cases[] = {
        {"1", "30", false, 1}, {"1", "", false, 5},          {"", "30", false, 5},
        {"1", "30", true, 5},  {"5x", "30", false, 5},       {"-1", "30", false, 5},
        {"1", "+5", false, 5}, {"1", overflowing, false, 5}, {"5", largest, false, 5}};
    const auto installed = platform::PlatformConfig::current();
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.quantityLimit << " " << c.daysLimit << " "
                                          << (c.extension ? "extension" : "application"));
        const auto group = freshGroup();
        {
            auto store = StorageMessage::make(group, AppTarget::application);
            const auto now = std::chrono::system_clock::now();
            for (int i = 0; i < 5; ++i) {
                store->saveMessage(
                    messageValue(std::to_string(i), now - (i < 3 ? 960h : 1h) + 1min * i));
            }
        }
        if (c.extension) {
            auto config = *installed;
            config.bundlePath = "/apps/Example.appex";
            platform::PlatformConfig::install(config);
        }
        auto storage = storageUtilFor(group, c.quantityLimit, c.daysLimit);
        Answers answers;
        storage->isMessageExists("0", answers.completion<bool>());
        platform::PlatformConfig::install(*installed);
        ASSERT_EQ(answers.take().at(0).status, "success");
        EXPECT_EQ(
            testing::countOf(*storage->storage()->container(), "SELECT count(*) FROM Message"),
            c.remaining);
    }
}

TEST(StorageUtilTest, AFailedCleanupIsLoggedAndLeavesTheStoreUsable) {
    const auto group = freshGroup();
    StorageMessage::make(group, AppTarget::application)
        ->saveMessage(messageValue("old", std::chrono::system_clock::now() - 1000h));
    auto storage = storageUtilFor(group, "0", "1");
    Answers answers;
    {
        MainQueueGate gate;
        storage->isMessageExists("old", answers.completion<bool>());
        testing::executeOn(*storage->storage()->container(), "PRAGMA query_only = 1");
    }
    const auto taken = answers.take();
    testing::executeOn(*storage->storage()->container(), "PRAGMA query_only = 0");
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_EQ(taken[0].status, "success");
    EXPECT_TRUE(storage->storage()->isMessageExists("old"));
}

// Every asynchronous operation once, on messages that exist; each must answer exactly once.
// Returns the statuses of the writes and of the reads.
std::pair<std::vector<std::string>, std::vector<std::string>> answerEveryOperation(
    StorageUtil& storage) {
    Answers writes;
    Answers reads;
    storage.messageReceived("new", "t", std::nullopt, std::nullopt, OrvanPushApiStatus::delivered,
                            "push", writes.completion());
    storage.messageReceived("new2", Json::object(), "t", std::nullopt, std::nullopt,
                            OrvanPushApiStatus::delivered, "push", writes.completion());
    storage.setMessageRead("m1", writes.completion());
    storage.markMessageStatusAsSent("m1", "Delivered", writes.completion());
    storage.markMessageStatusAsUnsent("m2", "Delivered", writes.completion());
    storage.saveNotificationContent(testing::contentOf("m1", "rich"), writes.completion());
    storage.removeMessage("m1", writes.completion());
    storage.removeMessages(Predicate("id", Predicate::Operator::equalTo, "m2"),
                           writes.completion());
    storage.removeAllMessages(writes.completion());
    storage.isMessageExists("m3", reads.completion<bool>());
    storage.getMessageById("m3", reads.completion<std::shared_ptr<Message>>());
    storage.getMessageStatusesUnsent(reads.completion<std::vector<MessageStatusExternal>>());
    storage.getNotificationContent("m3", reads.completion<std::shared_ptr<ExtraContentProtocol>>());
    std::pair<std::vector<std::string>, std::vector<std::string>> statuses;
    for (const auto& answer : writes.take()) {
        statuses.first.push_back(answer.status);
        EXPECT_TRUE(answer.onMainQueue);
        EXPECT_EQ(answer.error.has_value(), answer.status == "error");
    }
    for (const auto& answer : reads.take()) {
        statuses.second.push_back(answer.status);
    }
    return statuses;
}

// Both faults in turn: another process holding the write lock, then the container removed.
TEST(StorageUtilTest, EveryOperationAnswersOnceThroughALockHeldElsewhereAndARemovedContainer) {
    const auto group = freshGroup();
    const auto storage = storageUtilFor(group);
    const auto store = storage->storage();
    for (const auto* id : {"m1", "m2", "m3"}) {
        store->saveMessage(messageValue(id));
    }
    store->markMessageStatusAsSent(testing::statusReport("m2", "Delivered"));
    ASSERT_TRUE(OutstandingWork::waitUntilDone(30s));
    const auto container = store->container();
    testing::ChildProcess holder({"sqlite3", testing::storeFile(group).string()}, {});
    // sqlite3 prints the line once the lock is held.
    holder.writeInput("BEGIN IMMEDIATE;\nSELECT 'locked';\n");
    ASSERT_EQ(holder.readLine(), "locked");
    testing::executeOn(*container, "PRAGMA busy_timeout = 100");
    const std::vector<std::string> allErrors(9, "error");
    const std::vector<std::string> allSuccesses(4, "success");
    auto [writes, reads] = answerEveryOperation(*storage);
    holder.writeInput("COMMIT;\n");
    holder.closeInput();
    EXPECT_EQ(holder.wait(), 0);
    EXPECT_EQ(writes, allErrors);
    EXPECT_EQ(reads, allSuccesses);
    Answers answers;
    storage->removeMessage("m1", answers.completion());
    EXPECT_EQ(answers.take().at(0).status, "success");
    testing::executeOn(*container, "PRAGMA busy_timeout = 5000");

    std::filesystem::remove_all(testing::storeFile(group).parent_path());
    std::tie(writes, reads) = answerEveryOperation(*storage);
    EXPECT_EQ(writes, allErrors);
    EXPECT_EQ(reads, std::vector<std::string>(4, "error"));
    // A new facade opens a new, empty store in a new container.
    EXPECT_FALSE(storageUtilFor(group)->storage()->isMessageExists("m3"));
}

// ---- The store as other processes find it: opened from a private mount namespace where the
// container is read-only, and opened, written and closed by short extension processes while the
// application keeps it open. ----

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
