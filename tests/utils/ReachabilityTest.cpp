#include "orvanpush/Reachability.h"

#include <stdlib.h>

#include <condition_variable>
#include <filesystem>
#include <iostream>
#include <thread>

#include <gtest/gtest.h>

#include "orvanpush/platform/MainQueue.h"
#include "support/ChildProcess.h"
#include "support/TestHome.h"

namespace orvanpush {
namespace {

using namespace reachability_flags;
using platform::DispatchQueue;
using Connection = Reachability::Connection;
using testing::Event;

constexpr std::int32_t kFakeError = 5;

// A handle whose flags and failures the test sets; changes reach the callback on the queue set,
// as the platform delivers them.
class FakeFlagSource : public ReachabilityFlagSource {
  public:
    std::optional<ReachabilityFlags> getFlags() override {
        std::lock_guard lock(mutex_);
        ++reads;
        return failReads ? std::nullopt : std::optional(flags);
    }

    bool setCallback(Callback callback) override {
        std::lock_guard lock(mutex_);
        callbacksInstalled += callback ? 1 : 0;
        if (!callback && cleared) {
            cleared->notify();
        }
        callback_ = std::move(callback);
        return !failCallback || !callback_;
    }

    bool setDispatchQueue(std::shared_ptr<DispatchQueue> queue) override {
        std::lock_guard lock(mutex_);
        queue_ = std::move(queue);
        return !failQueue || !queue_;
    }

    std::int32_t lastError() const override { return kFakeError; }

    void deliver(ReachabilityFlags delivered) {
        std::lock_guard lock(mutex_);
        if (callback_ && queue_) {
            queue_->async([callback = callback_, delivered] { callback(delivered); });
        }
    }

    bool installed() {
        std::lock_guard lock(mutex_);
        return callback_ != nullptr || queue_ != nullptr;
    }

    // Set before use.
    ReachabilityFlags flags = reachable;
    bool failReads = false;
    bool failCallback = false;
    bool failQueue = false;
    Event* cleared = nullptr;
    // Read after the threads are done.
    int reads = 0;
    int callbacksInstalled = 0;

  private:
    std::mutex mutex_;
    Callback callback_;
    std::shared_ptr<DispatchQueue> queue_;
};

TEST(ReachabilityTest, ConnectionReadsTheFlagsOnceAndDerivesEveryPropertyAndAFailedReadingNone) {
    struct Case {
        ReachabilityFlags flags;
        Connection connection;
        std::string text;
        std::string description;
    };
    const std::vector<Case> cases{
        {0, Connection::unavailable, "No Connection", "-- -------"},
        {reachable, Connection::wifi, "WiFi", "-R -------"},
        {reachable | isDirect, Connection::wifi, "WiFi", "-R ------d"},
        {reachable | isWWAN, Connection::cellular, "Cellular", "WR -------"},
        {isWWAN, Connection::unavailable, "No Connection", "W- -------"},
        {0x7003F, Connection::cellular, "Cellular", "WR ctiCDld"},
    };
    for (const auto& c : cases) {
        auto source = std::make_shared<FakeFlagSource>();
        source->flags = c.flags;
        const auto r = Reachability::makeWithReachabilityRef(source);
        EXPECT_EQ(r->description(), "unavailable flags");
        EXPECT_EQ(
            std::tuple(r->connection(), r->currentReachabilityString(),
                       toString(r->currentReachabilityStatus()), r->isReachable(),
                       r->isReachableViaWiFi(), r->isReachableViaWWAN()),
            std::tuple(c.connection, c.text, c.text, c.connection != Connection::unavailable,
                       c.connection == Connection::wifi, c.connection == Connection::cellular));
        EXPECT_EQ(r->description(), c.description);
        // A cellular connection counts only while allowed.
        r->setAllowsCellularConnection(false);
        EXPECT_EQ(r->connection(),
                  c.connection == Connection::cellular ? Connection::unavailable : c.connection);
        EXPECT_EQ(source->reads, 1) << c.description;
    }
    // A failed reading stores no flags, so each call asks again.
    auto failing = std::make_shared<FakeFlagSource>();
    failing->failReads = true;
    const auto unread = Reachability::makeWithReachabilityRef(failing);
    EXPECT_EQ(unread->connection(), Connection::unavailable);
    EXPECT_EQ(unread->description(), "unavailable flags");
    EXPECT_EQ(unread->connection(), Connection::unavailable);
    EXPECT_EQ(failing->reads, 2);
}

// One notifier however it is started, reporting each change once on the notification queue; the
// handle holds no reference to the object and is cleared when the object goes.
TEST(ReachabilityTest, OneNotifierReportsEachChangeOnceOnTheNotificationQueueUntilTheObjectGoes) {
    auto source = std::make_shared<FakeFlagSource>();
    auto serial = std::make_shared<DispatchQueue>("test.reachability.serial");
    auto notifications = std::make_shared<DispatchQueue>("test.reachability.notifications");
    auto reachability = Reachability::makeWithReachabilityRef(
        source, serial, [notifications](auto task) { notifications->async(std::move(task)); });
    auto center = std::make_shared<platform::NotificationCenter>();
    reachability->setNotificationCenter(center);
    // Each change as a callback saw it, and each posted object: written on the notification
    // queue only.
    std::vector<std::string> calls;
    std::vector<std::shared_ptr<Reachability>> posted;
    reachability->setWhenReachable([&](const auto& r) {
        EXPECT_TRUE(notifications->isCurrent());
        calls.push_back("reachable " + r->description());
    });
    reachability->setWhenUnreachable(
        [&](const auto& r) { calls.push_back("unreachable " + r->description()); });
    const auto observation = center->addObserver(reachabilityChanged, [&](const auto& n) {
        posted.push_back(std::any_cast<std::shared_ptr<Reachability>>(n.object));
    });

    std::thread other([&] { reachability->startNotifier(); });
    reachability->startNotifier();
    other.join();
    reachability->startNotifier();
    EXPECT_EQ(source->callbacksInstalled, 1);
    EXPECT_EQ(source->reads, 1);
    EXPECT_TRUE(reachability->notifierRunning());
    for (const auto& changes : std::vector<std::vector<ReachabilityFlags>>{
             {}, {reachable}, {0}, {0, reachable | isDirect}}) {
        for (auto flags : changes) {
            source->deliver(flags);
        }
        serial->waitUntilIdle();
        notifications->waitUntilIdle();
    }
    EXPECT_EQ(calls, (std::vector<std::string>{"reachable -R -------", "unreachable -- -------",
                                               "reachable -R ------d"}));
    EXPECT_EQ(posted, std::vector<std::shared_ptr<Reachability>>(3, reachability));
    reachability->stopNotifier();
    EXPECT_FALSE(reachability->notifierRunning());
    EXPECT_FALSE(source->installed());

    reachability->startNotifier();
    serial->waitUntilIdle();
    notifications->waitUntilIdle();
    posted.clear();  // the posted objects hold it too
    const std::weak_ptr<Reachability> weak = reachability;
    reachability.reset();
    EXPECT_TRUE(weak.expired());
    EXPECT_FALSE(source->installed());
}

TEST(ReachabilityTest, AFailedStartStopsTheNotifierAgainAndALaterStartMayRetry) {
    const std::pair<bool FakeFlagSource::*, const char*> cases[] = {
        {&FakeFlagSource::failCallback, "unableToSetCallback(5)"},
        {&FakeFlagSource::failQueue, "unableToSetDispatchQueue(5)"},
        {&FakeFlagSource::failReads, "unableToGetFlags(5)"},
    };
    for (const auto& [fault, text] : cases) {
        auto source = std::make_shared<FakeFlagSource>();
        (*source).*fault = true;
        const auto reachability = Reachability::makeWithReachabilityRef(source);
        try {
            reachability->startNotifier();
            ADD_FAILURE() << "no error for " << text;
        } catch (const ReachabilityError& error) {
            EXPECT_EQ(std::pair(std::string(error.what()), error.errorCode()),
                      std::pair(std::string(text), kFakeError));
        }
        EXPECT_FALSE(reachability->notifierRunning());
        EXPECT_FALSE(source->installed());
        (*source).*fault = false;
        reachability->startNotifier();
        EXPECT_TRUE(reachability->notifierRunning());
    }
}

// The host drops its only reference inside its own callback, called for a change.
void releaseInsideCallback(Reachability::NotificationQueue notificationQueue) {
    auto source = std::make_shared<FakeFlagSource>();
    Event called;
    Event cleared;
    source->cleared = &cleared;
    auto reachability =
        Reachability::makeWithReachabilityRef(source, nullptr, std::move(notificationQueue));
    reachability->startNotifier();
    auto* held = &reachability;
    reachability->setWhenUnreachable([held, &called](const auto&) {
        held->reset();
        called.notify();
    });
    source->deliver(0);
    EXPECT_TRUE(called.wait());
    EXPECT_TRUE(cleared.wait());
}

TEST(ReachabilityTest, TheHostMayReleaseItInsideItsCallbackOnTheMainQueueOrItsSerialQueue) {
    releaseInsideCallback(platform::MainQueue::async);
    EXPECT_TRUE(platform::MainQueue::waitUntilIdle(std::chrono::seconds(10)));
    releaseInsideCallback(nullptr);
}

TEST(ReachabilityTest, AHostNameIsCheckedButNeverLookedUp) {
    for (const std::string& name : {std::string(), std::string("push\0host", 9)}) {
        try {
            Reachability::makeWithHostname(name);
            ADD_FAILURE() << "no error for a name of " << name.size() << " bytes";
        } catch (const ReachabilityError& error) {
            EXPECT_EQ(
                std::tuple(error.kind(), error.hostname(), error.errorCode()),
                std::tuple(ReachabilityError::Kind::failedToCreateWithHostname, name, EINVAL));
        }
    }
    EXPECT_STREQ(ReachabilityError::failedToCreateWithHostname("", EINVAL).what(),
                 "failedToCreateWithHostname(\"\", 22)");
    EXPECT_EQ(Reachability::makeWithHostname("no-such-host.invalid")->description(),
              "unavailable flags");
}

// The netlink source against a real kernel: each test below runs again in a private network
// namespace of its own (`unshare -n`), where it builds links and routes with `ip`.

constexpr const char* kInsideVariable = "ORVANPUSH_TEST_IN_NETWORK_NAMESPACE";

// Runs `words` (a program found on PATH) with `environment` added, passes its output on, and
// answers its exit status; -1 when it cannot run.
int run(const std::vector<std::string>& words, const std::vector<std::string>& environment = {}) {
    try {
        testing::ChildProcess child(words, environment);
        child.closeInput();
        while (auto line = child.readLine()) {
            std::cout << *line << '\n';
        }
        return child.wait();
    } catch (const std::runtime_error&) {
        return -1;
    }
}

// Inside a namespace: runs `body`. Outside: runs the current test again inside a namespace of
// its own and expects it to pass there, or skips it when no namespace can be made here.
void inNetworkNamespace(const std::function<void()>& body) {
    if (getenv(kInsideVariable) != nullptr) {
        return body();
    }
    if (run({"unshare", "-n", "true"}) != 0 || run({"ip", "-V"}) != 0) {
        GTEST_SKIP() << "no private network namespace can be made here (unshare -n, ip)";
    }
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const int status =
        run({"unshare", "-n", "--", testing::thisProgram(),
             std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name()},
            {std::string(kInsideVariable) + "=1"});
    EXPECT_EQ(status, 0) << "the test failed inside its network namespace (output above)";
}

void ip(const std::string& arguments) {
    ASSERT_EQ(std::system(("ip " + arguments).c_str()), 0) << "ip " << arguments;
}

// What a running notifier reported, for waiting until it reports an expected state.
class Reported {
  public:
    explicit Reported(const std::shared_ptr<Reachability>& reachability) {
        const auto record = [this](const std::shared_ptr<Reachability>& r) {
            std::lock_guard lock(mutex_);
            last_ = r->description();
            changed_.notify_all();
        };
        reachability->setWhenReachable(record);
        reachability->setWhenUnreachable(record);
    }

    /// True when the last report is `description` within ten seconds.
    bool waitFor(const std::string& description) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10),
                                 [&] { return last_ == description; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::string last_;
};

// A fresh reading of the network in general, as its flags print.
std::string readNow() {
    const auto reachability = Reachability::make();
    reachability->connection();
    return reachability->description();
}

void defaultRoutesOverRunningLinksDecide() {
    const bool withIpv6 = std::filesystem::exists("/proc/sys/net/ipv6");
    ip("link set lo up");
    const auto watched = Reachability::make();
    Reported reported(watched);
    watched->startNotifier();
    EXPECT_TRUE(reported.waitFor("-- -------"));
    EXPECT_EQ(Reachability::make()->connection(), Connection::unavailable);

    // A default route over a link whose peer is down: up but not running.
    ip("link add v0 type veth peer name v1");
    ip("link set v0 up");
    ip("address add 10.0.0.1/24 dev v0");
    ip("route add default via 10.0.0.2 dev v0");
    EXPECT_EQ(readNow(), "-- -------");

    ip("link set v1 up");
    EXPECT_TRUE(reported.waitFor("-R -------"));
    EXPECT_EQ(Reachability::make()->connection(), Connection::wifi);

    ip("route replace default dev v0");
    EXPECT_TRUE(reported.waitFor("-R ------d"));
    EXPECT_EQ(readNow(), "-R ------d");

    // Two next hops, the first over a link that is not running.
    ip("link add v2 type veth peer name v3");
    ip("link set v2 up");
    ip("address add 10.0.1.1/24 dev v2");
    ip("route replace default nexthop via 10.0.1.2 dev v2 nexthop via 10.0.0.2 dev v0");
    EXPECT_TRUE(reported.waitFor("-R -------"));
    EXPECT_EQ(readNow(), "-R -------");

    ip("route delete default");
    EXPECT_TRUE(reported.waitFor("-- -------"));
    if (withIpv6) {
        ip("-6 route add default dev v0");
        EXPECT_TRUE(reported.waitFor("-R ------d"));
        EXPECT_EQ(Reachability::make()->connection(), Connection::wifi);
    }

    ip("link set v1 down");
    EXPECT_TRUE(reported.waitFor("-- -------"));
    watched->stopNotifier();
    if (!withIpv6) {
        GTEST_SKIP() << "the kernel has IPv6 disabled: the IPv6 default route was not tried";
    }
}

TEST(ReachabilityNamespaceTest, DefaultRoutesOverRunningLinksDecide) {
    inNetworkNamespace(defaultRoutesOverRunningLinksDecide);
}

}  // namespace
}  // namespace orvanpush
