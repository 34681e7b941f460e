#pragma once

// What the facade's message tests share: an instance configured for the reference server with
// a subscribed device, completions that record their one call, the server's counts, direct
// access to the instance's store, and the SDK log written during a test.

#include <atomic>
#include <chrono>
#include <future>
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

#include "api/ReferenceServer.h"
#include "api/SubscribeTarget.h"
#include "orvanpush/PushSDK.h"
#include "orvanpush/logger/RotatingLogFileRecorder.h"
#include "orvanpush/platform/MainQueue.h"
#include "platform/FileSystem.h"
#include "platform/OutstandingWork.h"
#include "platform/ProcessInfo.h"
#include "platform/SecItem.h"
#include "sdk/PushSDKState.h"
#include "security/Crypto.h"
#include "storage/StorageMessage.h"
#include "support/TestHome.h"
#include "utils/logger/log_manager/LogManager.h"
#include "utils/logger/log_manager/LogSettings.h"

namespace orvanpush::testing {

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

/// What the reference server counted: (message id, status) to the number of applied reports.
inline std::map<std::pair<std::string, std::string>, int> reportedStatuses(
    const ReferenceServer& server) {
    std::map<std::pair<std::string, std::string>, int> counts;
    const auto answer = server.admin("GET", "statuses");
    for (const auto& status : answer["statuses"]) {
        counts[{status["messageId"].get<std::string>(), status["status"].get<std::string>()}] =
            status["count"].get<int>();
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
        PushSDK::createInstance(identifier_, freshName("group"), server.pushServerParams(),
                                ReferenceServer::kLogin, ReferenceServer::kPassword, std::nullopt,
                                silenceDuplicates, std::nullopt);
        sdk_ = PushSDK::getInstance(identifier_);
    }

    /// Subscribes the device "device-1.<clientId>" with a new key pair, as a subscription does,
    /// and saves its ids.
    void subscribe(const std::string& clientId = "client-1") {
        detail::generateKeyPair(identifier_, identifier_ + ".public", identifier_ + ".private",
                                platform::kSecAttrKeyTypeRSA, 1024);
        const auto publicKey = detail::getPublicKeyString(identifier_, identifier_ + ".public",
                                                          identifier_ + ".private",
                                                          platform::kSecAttrKeyTypeRSA, 1024);
        auto headers = state().getHeaders("subscribe");
        headers["push-enabled"] = "true";
        std::promise<BaseApiResult> answer;
        state().apiService.send(detail::SubscribeTarget{{.headers = headers,
                                                         .address = "device-1." + clientId,
                                                         .osVersion = "12",
                                                         .vendorInfo = "Linux",
                                                         .token = "token",
                                                         .publicKey = publicKey}},
                                [&](BaseApiResult result) { answer.set_value(result); });
        ASSERT_EQ(answer.get_future().get().getResultKind(), ResultKind::success);
        state().settingsUtils->set(detail::ClientSetting::ClientId, clientId);
        state().settingsUtils->set(detail::ClientSetting::DeviceId, "device-1");
    }

    PushSDK& operator*() const { return *sdk_; }
    PushSDK* operator->() const { return sdk_.get(); }
    const std::string& identifier() const { return identifier_; }
    detail::PushSDKState& state() const { return *detail::PushSDKAccess::state(*sdk_); }
    /// The instance's store, for checks made beside the facade.
    detail::StorageMessage& store() const { return *state().storageUtil->storage(); }

    /// The statuses the store still has to report, as (message id, status name).
    std::vector<std::pair<std::string, std::string>> unsent() const {
        std::vector<std::pair<std::string, std::string>> rows;
        for (const auto& row : store().getMessageStatusesUnsent()) {
            rows.emplace_back(row.messageId().value_or("(none)"),
                              row.statusName().value_or("(none)"));
        }
        return rows;
    }

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
    static void SetUpTestSuite() { server_ = std::make_unique<ReferenceServer>(); }
    static void TearDownTestSuite() { server_.reset(); }
    void SetUp() override { server_->reset(); }
    void TearDown() override { waitForTheLibrary(); }

    static const ReferenceServer& server() { return *server_; }

    /// The notification reports the server received, applied or not.
    static Json notificationRequests() { return server().requests("notifications"); }

  private:
    static inline std::unique_ptr<ReferenceServer> server_;
};

}  // namespace orvanpush::testing
