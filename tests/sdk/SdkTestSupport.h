#pragma once

// What the facade's message tests share: an instance configured for the reference server with
// a subscribed device, completions that record their one call, the server's counts, direct
// access to the instance's store, and the SDK log written during a test.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <utility>

#include <gtest/gtest.h>

#include "ReferenceServer.h"
#include "orvanpush/OrvanPushSDKError.h"
#include "orvanpush/PushSDK.h"
#include "orvanpush/logger/RotatingLogFileRecorder.h"
#include "orvanpush/platform/MainQueue.h"
#include "platform/FileSystem.h"
#include "platform/Home.h"
#include "platform/ProcessInfo.h"
#include "platform/SqliteDatabase.h"
#include "sdk/PushSDKState.h"
#include "security/Crypto.h"
#include "storage/StorageMessage.h"
#include "support/TestHome.h"
#include "utils/logger/log_manager/LogManager.h"
#include "utils/logger/log_manager/LogSettings.h"

namespace orvanpush::testing {

using cli::ReferenceServer;

using namespace std::chrono_literals;

/// Waits for every completion, re-send and store job the library has under way.
inline void waitForTheLibrary() {
    ASSERT_TRUE(PushSDK::waitForOutstandingWork(30s));
    ASSERT_TRUE(platform::MainQueue::waitUntilIdle(30s));
}

/// Waits until `condition` holds (checked every few milliseconds, for at most 20 seconds).
template <class Condition>
bool eventually(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

/// How an error prints: the case and payload of the library's errors, else what() says.
inline std::string textOf(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const OrvanPushSDKError& thrown) {
        return thrown.description();
    } catch (const std::exception& thrown) {
        return thrown.what();
    }
}

/// How the error that `operation` throws prints; "no error" when it throws none.
inline std::string errorOf(const std::function<void()>& operation) {
    try {
        operation();
        return "no error";
    } catch (...) {
        return textOf(std::current_exception());
    }
}

/// A completion that records its arguments; a second call fails the test.
template <class... Values>
class Completion {
  public:
    std::function<void(Values...)> callback() {
        return [shared = shared_](Values... values) {
            std::lock_guard lock(shared->mutex);
            if (++shared->calls > 1) {
                ADD_FAILURE() << "a completion was called twice";
                return;
            }
            shared->onMainQueue = platform::MainQueue::isCurrent();
            shared->values.emplace(std::move(values)...);
            shared->done.notify();
        };
    }

    /// The arguments of the one call; throws (failing the test) when it does not come.
    std::tuple<Values...> wait() {
        if (!shared_->done.wait(30s)) {
            throw std::runtime_error("the completion never came");
        }
        std::lock_guard lock(shared_->mutex);
        return *shared_->values;
    }

    /// The first argument of the one call.
    auto first() { return std::get<0>(wait()); }

    bool ranOnMainQueue() {
        std::lock_guard lock(shared_->mutex);
        return shared_->onMainQueue;
    }

  private:
    struct Shared {
        std::mutex mutex;
        Event done;
        int calls = 0;
        bool onMainQueue = false;
        std::optional<std::tuple<Values...>> values;
    };
    std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
};

using ResultCompletion = Completion<std::optional<BaseApiResult>>;

inline bool succeeded(const std::optional<BaseApiResult>& result) {
    return result && result->getResultKind() == ResultKind::success;
}

/// Starts an operation, waits for its one completion and then for the library's work.
template <class Result = BaseApiResult, class Start>
std::optional<Result> awaited(const Start& start) {
    Completion<std::optional<Result>> completion;
    start(completion.callback());
    auto result = completion.first();
    waitForTheLibrary();
    return result;
}

using ReceiptCompletion = Completion<std::optional<BaseApiResult>, std::exception_ptr,
                                     std::optional<MutableNotificationContent>>;

/// Receives the push `payload` as an extension does and waits for the completion.
inline auto receive(PushSDK& sdk, const Json& payload) {
    ReceiptCompletion completion;
    sdk.onMessageReceive({"request", NotificationContent::fromPayload(payload)}, std::nullopt,
                         completion.callback());
    return completion.wait();
}

/// The reference server's record of the subscriber `address` (null when it has none).
inline Json subscriberRecord(const ReferenceServer& server, const std::string& address) {
    const auto all = server.admin("GET", "subscribers");
    for (const auto& record : all["subscribers"]) {
        if (record["address"] == address) {
            return record;
        }
    }
    return nullptr;
}

/// What the reference server counted, (message id, status) to a number: with "count", how often
/// the report was applied; with "requests", how many distinct requests ("rid") carried it.
inline std::map<std::pair<std::string, std::string>, int> reportedStatuses(
    const ReferenceServer& server, const char* tally = "count") {
    std::map<std::pair<std::string, std::string>, int> counts;
    const auto answer = server.admin("GET", "statuses");
    for (const auto& status : answer["statuses"]) {
        counts[{status["messageId"].get<std::string>(), status["status"].get<std::string>()}] =
            status[tally].get<int>();
    }
    return counts;
}

/// The SDK log written from now on (the log level is set to trace for it).
class LogCapture {
  public:
    LogCapture() {
        detail::LogSettings::setLogLevel("trace");
        start_ = whole().size();
    }
    std::string text() const { return whole().substr(start_); }

  private:
    static std::string whole() {
        if (const auto& recorder = detail::LogManager::logRecorder()) {
            recorder->queue()->sync([] {});
        }
        const auto file = detail::LogManager::getLogFile(std::chrono::system_clock::now());
        return file ? platform::FileSystem::readFile(*file).value_or("") : "";
    }
    std::size_t start_ = 0;
};

/// An instance of its own (its own identifier, group and key) configured for `server`.
class TestInstance {
  public:
    explicit TestInstance(const ReferenceServer& server, bool silenceDuplicates = true)
        : identifier_(freshName("instance")) {
        PushSDK::createInstance(identifier_, freshName("group"), server.pushServer(),
                                ReferenceServer::kLogin, ReferenceServer::kPassword, std::nullopt,
                                silenceDuplicates, std::nullopt);
        sdk_ = PushSDK::getInstance(identifier_);
    }

    /// Subscribes the device "device-1.<clientId>" through the facade.
    void subscribe(const std::string& clientId = "client-1") {
        ASSERT_TRUE(succeeded(awaited([&](auto done) {
            sdk_->subscribe("device-1", clientId, "token", std::nullopt, done);
        })));
    }

    /// The tags of the instance's keys and the accounts of its pending pairs' records, sorted,
    /// read from the keychain file through a connection of the test's own.
    std::vector<std::string> keychainItems() const {
        auto keychain = platform::SqliteConnection::open(platform::Home::keychainFile());
        auto rows = keychain.prepare(
            "SELECT coalesce(CAST(application_tag AS TEXT), account) AS name FROM items "
            "WHERE CAST(application_tag AS TEXT) LIKE ?1 OR account LIKE ?1 ORDER BY name");
        rows.bindText(1, identifier_ + ".%");
        std::vector<std::string> names;
        while (rows.step()) {
            names.push_back(rows.text(0));
        }
        return names;
    }

    /// The keys and records of the instance's pending pairs.
    std::size_t pendingItems() const {
        const auto items = keychainItems();
        return std::count_if(items.begin(), items.end(), [&](const std::string& name) {
            return name.starts_with(identifier_ + ".pending-");
        });
    }

    std::string committedPublicKey() const {
        return detail::getPublicKeyString(identifier_, identifier_ + ".public",
                                          identifier_ + ".private", platform::kSecAttrKeyTypeRSA,
                                          1024);
    }

    PushSDK& operator*() const { return *sdk_; }
    PushSDK* operator->() const { return sdk_.get(); }
    const std::string& identifier() const { return identifier_; }
    detail::PushSDKState& state() const { return *detail::PushSDKAccess::state(*sdk_); }
    /// The instance's store, for checks made beside the facade.
    detail::StorageMessage& store() const { return *state().storageUtil->storage(); }

  private:
    static std::string freshName(const std::string& prefix) {
        static std::atomic<int> counter{0};
        return prefix + "." + std::to_string(platform::ProcessInfo::processId()) + "." +
               std::to_string(counter++);
    }

    std::string identifier_;
    std::shared_ptr<PushSDK> sdk_;
};

/// One reference server for a test suite, reset before each test.
class ServerTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { server_ = std::make_unique<ReferenceServer>(ORVANPUSH_SERVER); }
    static void TearDownTestSuite() { server_.reset(); }
    void SetUp() override { server_->reset(); }
    void TearDown() override { waitForTheLibrary(); }

    static const ReferenceServer& server() { return *server_; }

    /// The notification reports the server received, applied or not.
    static Json notificationRequests() { return server().requestsTo("notifications"); }

  private:
    static inline std::unique_ptr<ReferenceServer> server_;
};

}  // namespace orvanpush::testing
