#pragma once

// What the message-store tests share: fresh groups and instances, message values, completions
// that can be waited on, direct SQL on a store, the sqlite3 command as an independent checker,
// and child processes (this test program run again as the other process, or any command).

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "orvanpush/platform/MainQueue.h"
#include "orvanpush/platform/PlatformConfig.h"
#include "orvanpush/storage/MessageValues.h"
#include "platform/OutstandingWork.h"
#include "platform/UserDefaults.h"
#include "storage/SharedPersistentContainer.h"
#include "storage/StorageMessage.h"
#include "storage/StorageUtil.h"
#include "support/ChildProcess.h"
#include "support/SqliteOracle.h"
#include "support/TestHome.h"
#include "utils/SettingsUtils.h"

namespace orvanpush::testing {

using namespace std::chrono_literals;

/// A group id no other test of this program uses.
inline std::string freshGroup(const std::string& prefix = "group.store") {
    static std::atomic<int> counter{0};
    return prefix + "." + std::to_string(::getpid()) + "." + std::to_string(counter++);
}

/// A message value as a notification brings it.
inline MessageImp messageValue(const std::string& id, std::optional<Date> messageDate = {},
                               std::optional<std::string> statusName = "Delivered",
                               std::optional<std::string> channelName = "push") {
    MessageImp message;
    message.setId(id);
    message.setTitle("Title " + id);
    message.setBody("Body " + id);
    message.setMessageDate(messageDate);
    message.setStatusName(std::move(statusName));
    message.setChannelName(std::move(channelName));
    return message;
}

/// A status report of a message, as the reports in flight name it.
inline MessageStatusExternal statusReport(const std::string& messageId,
                                          const std::string& statusName) {
    MessageStatusExternal status;
    status.setMessageId(messageId);
    status.setStatusName(statusName);
    return status;
}

/// Rich content of the message `messageId`.
inline ExtraContentImp contentOf(const std::string& messageId, const std::string& value,
                                 std::optional<std::string> mimeType = std::nullopt) {
    ExtraContentImp content;
    content.setMessageId(messageId);
    content.setMimeType(std::move(mimeType));
    content.setValue(value);
    return content;
}

/// The ids of the messages `controller` fetched last, in its order.
inline std::vector<std::string> idsOf(const FetchedResultsController& controller) {
    std::vector<std::string> ids;
    for (const auto& message : controller.fetchedObjects()) {
        ids.push_back(message->id().value_or("(none)"));
    }
    return ids;
}

/// The ids of the messages of `store` that `request` fetches, in its order.
inline std::vector<std::string> fetchedIds(const detail::StorageMessage& store,
                                           FetchRequest request = {}) {
    FetchedResultsController controller(store.container(), std::move(request));
    controller.performFetch();
    return idsOf(controller);
}

/// The statuses `store` still has to report, as (message id, status name).
inline std::vector<std::pair<std::string, std::string>> unsentOf(detail::StorageMessage& store) {
    std::vector<std::pair<std::string, std::string>> rows;
    for (const auto& row : store.getMessageStatusesUnsent()) {
        rows.emplace_back(row.messageId().value_or("(none)"), row.statusName().value_or("(none)"));
    }
    return rows;
}

/// The integer in the first column of the first row of `sql` on the store of `container`.
inline std::int64_t countOf(const detail::SharedPersistentContainer& container,
                            const std::string& sql) {
    auto& database = const_cast<platform::MessageDatabase&>(container.database());
    return database.read([&](platform::MessageDatabase::Session& session) {
        auto select = session.connection().prepare(sql);
        return select.step() ? select.integer(0) : std::int64_t{-1};
    });
}

/// Runs SQL without parameters on the store's own connection (pragmas of fault injection).
inline void executeOn(const detail::SharedPersistentContainer& container, const std::string& sql) {
    auto& database = const_cast<platform::MessageDatabase&>(container.database());
    database.read(
        [&](platform::MessageDatabase::Session& session) { session.connection().execute(sql); });
}

/// The sqlite3 command's integrity and foreign-key checks of a store file: "ok\n" when clean.
inline std::string sqliteChecks(const std::filesystem::path& file) {
    return commandOutput("sqlite3 '" + file.string() +
                         "' 'PRAGMA integrity_check; PRAGMA foreign_key_check;'");
}

/// The message store file of a group in the test home.
inline std::filesystem::path storeFile(const std::string& groupId) {
    return testHome() / "containers" / groupId / "StorageModel.sqlite";
}

/// A storage facade whose settings name `groupId` and, when given, hold the limits. Without
/// limits it leaves them as stored: a second process's facade (a writer child) must not undo
/// the limits the first one is about to read.
inline std::shared_ptr<detail::StorageUtil> storageUtilFor(const std::string& groupId,
                                                           const char* quantityLimit = nullptr,
                                                           const char* daysLimit = nullptr) {
    auto settings = std::make_shared<detail::SettingsUtils>(
        platform::UserDefaults::suite("settings." + groupId),
        detail::SettingsUtils::SettingReceivers{});
    settings->set(detail::Setting::SharedAppGroup, groupId);
    if (quantityLimit != nullptr) {
        settings->set(detail::Setting::StorageQuantityLimit, quantityLimit);
    }
    if (daysLimit != nullptr) {
        settings->set(detail::Setting::StorageDaysLimit, daysLimit);
    }
    return std::make_shared<detail::StorageUtil>("instance." + groupId, settings);
}

/// The text of the error the first use of `storage` throws ("" when none); a store that cannot
/// be opened must schedule nothing and answer nothing.
inline std::string firstUseError(detail::StorageUtil& storage) {
    const auto answered = std::make_shared<std::atomic<bool>>(false);
    std::string text;
    try {
        storage.isMessageExists("1", [answered](auto&&...) { *answered = true; });
    } catch (const TextError& error) {
        text = error.what();
    }
    EXPECT_EQ(platform::OutstandingWork::count(), 0u);
    EXPECT_TRUE(platform::MainQueue::waitUntilIdle(10s));
    EXPECT_FALSE(*answered);
    return text;
}

/// The environment of a child run of this program: the parent's test home, the group and the
/// child's role ("application" or "extension"), plus `extra` variables. A child that is killed
/// cannot remove the temporary home its test program makes, so it makes it inside the parent's,
/// which goes with it.
inline std::vector<std::string> childEnvironment(const std::string& groupId,
                                                 const std::string& role,
                                                 std::vector<std::string> extra = {}) {
    extra.insert(extra.end(),
                 {"TMPDIR=" + testHome().string(), "ORVANPUSH_CHILD_HOME=" + testHome().string(),
                  "ORVANPUSH_CHILD_GROUP=" + groupId, "ORVANPUSH_CHILD_ROLE=" + role});
    return extra;
}

/// In a child run (above): installs the parent's home and the child's bundle, and gives its
/// group. Nothing in an ordinary run, where the child's test is skipped.
inline std::optional<std::string> becomeChild() {
    const char* home = std::getenv("ORVANPUSH_CHILD_HOME");
    const char* group = std::getenv("ORVANPUSH_CHILD_GROUP");
    const char* role = std::getenv("ORVANPUSH_CHILD_ROLE");
    if (home == nullptr || group == nullptr || role == nullptr) {
        return std::nullopt;
    }
    auto config = platform::PlatformConfig::fromEnvironment();
    config.home = home;
    config.bundleIdentifier = std::string("orvanpush.tests.") + role;
    config.bundlePath =
        std::string("/apps/Child") + (std::string(role) == "extension" ? ".appex" : "");
    platform::PlatformConfig::install(config);
    return std::string(group);
}

/// The id of the message numbered `number` in the receipts of the tests.
inline std::string idOf(int number) {
    return "m" + std::to_string(number);
}

/// The answers of asynchronous store operations, each with whether it ran on the main queue.
class Answers {
  public:
    struct Answer {
        std::string status;
        std::optional<std::string> error;
        bool onMainQueue = false;
    };

    detail::StorageUtil::Completion completion() {
        return [this](const std::string& status, const std::optional<TextError>& error) {
            record(status, error);
        };
    }

    template <class Value>
    detail::StorageUtil::ValueCompletion<Value> completion() {
        return [this](const std::string& status, Value, const std::optional<TextError>& error) {
            record(status, error);
        };
    }

    /// Waits for the main queue, then gives the answers in the order they came.
    std::vector<Answer> take() {
        EXPECT_TRUE(platform::MainQueue::waitUntilIdle(30s));
        std::lock_guard lock(mutex_);
        return std::exchange(answers_, {});
    }

  private:
    void record(const std::string& status, const std::optional<TextError>& error) {
        std::lock_guard lock(mutex_);
        answers_.push_back({status,
                            error ? std::optional(std::string(error->what())) : std::nullopt,
                            platform::MainQueue::isCurrent()});
    }

    std::mutex mutex_;
    std::vector<Answer> answers_;
};

/// Receives the messages numbered [first, first + count) through the facade of `groupId`, as
/// notifications' receipts do, and prints "saved <id>" for each that succeeded (or
/// "error <id> <text>"), so a parent process can follow. Returns the number of errors.
inline int receiveMessages(const std::string& groupId, int first, int count) {
    auto storage = storageUtilFor(groupId);
    Answers answers;
    for (int number = first; number < first + count; ++number) {
        storage->messageReceived(idOf(number), Json{{"classifier", "news"}}, "Title", std::nullopt,
                                 "Body", OrvanPushApiStatus::delivered, "push",
                                 answers.completion());
    }
    EXPECT_TRUE(platform::OutstandingWork::waitUntilDone(30s));
    const auto taken = answers.take();
    EXPECT_EQ(taken.size(), static_cast<std::size_t>(count));
    int errors = count - static_cast<int>(taken.size());
    for (std::size_t i = 0; i < taken.size(); ++i) {
        const auto id = idOf(first + static_cast<int>(i));
        if (taken[i].status == "success") {
            std::printf("saved %s\n", id.c_str());
        } else {
            std::printf("error %s %s\n", id.c_str(), taken[i].error.value_or("").c_str());
            ++errors;
        }
    }
    std::fflush(stdout);
    return errors;
}

}  // namespace orvanpush::testing
