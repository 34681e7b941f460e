// The netlink source against a real kernel: each test runs again in a private network namespace
// of its own (`unshare -n`), where it builds links and routes with `ip`.

#include <stdlib.h>

#include <condition_variable>
#include <filesystem>
#include <iostream>

#include <gtest/gtest.h>

#include "orvanpush/Reachability.h"
#include "support/ChildProcess.h"

namespace orvanpush {
namespace {

using Connection = Reachability::Connection;

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
