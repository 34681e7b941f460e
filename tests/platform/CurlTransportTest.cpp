#include "platform/CurlTransport.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "support/TestHome.h"

namespace orvanpush::platform {
namespace {

using namespace std::chrono_literals;

// A socket on 127.0.0.1 bound to an ephemeral port; listening, the kernel takes connections and
// requests on it that are never answered; not listening, connections to it are refused.
class LoopbackSocket {
  public:
    explicit LoopbackSocket(bool listening) : descriptor_(socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{.sin_family = AF_INET, .sin_port = 0, .sin_addr = {}, .sin_zero = {}};
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof(address);
        EXPECT_EQ(bind(descriptor_, reinterpret_cast<sockaddr*>(&address), length), 0);
        EXPECT_EQ(getsockname(descriptor_, reinterpret_cast<sockaddr*>(&address), &length), 0);
        port_ = ntohs(address.sin_port);
        if (listening) {
            EXPECT_EQ(listen(descriptor_, 4), 0);
        }
    }
    ~LoopbackSocket() { close(descriptor_); }
    LoopbackSocket(const LoopbackSocket&) = delete;
    LoopbackSocket& operator=(const LoopbackSocket&) = delete;

    std::string address() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }

  private:
    int descriptor_;
    int port_ = 0;
};

// The transfers go on while requests that finished run their completions: requests refused at
// once complete, one after the other, while an unanswered one is still in flight, and their
// completions, which wait for the other one's and outnumber the pool's threads, do not stop
// that other request from reaching its time-out.
TEST(CurlTransportTest, FinishedRequestsCompletionsDoNotHoldUpTheOthers) {
    LoopbackSocket silent(true);
    LoopbackSocket refusing(false);
    const UrlSession session({.timeoutIntervalForRequest = 1s});
    testing::Event silentDone;
    session.dataTask(std::make_shared<const HttpRequest>(HttpRequest{.url = silent.address()}),
                     [&](HttpOutcome outcome) {
                         EXPECT_FALSE(outcome.response);
                         silentDone.notify();
                     });
    constexpr int kRefused = 6;
    std::array<testing::Event, kRefused> running;
    std::atomic<int> waitedForTheSilentOne{0};
    std::atomic<int> finished{0};
    testing::Event allFinished;
    for (auto& started : running) {
        session.dataTask(
            std::make_shared<const HttpRequest>(HttpRequest{.url = refusing.address()}),
            [&](HttpOutcome outcome) {
                EXPECT_FALSE(outcome.response);
                started.notify();
                waitedForTheSilentOne += silentDone.wait() ? 1 : 0;
                if (++finished == kRefused) {
                    allFinished.notify();
                }
            });
        EXPECT_TRUE(started.wait());
    }
    ASSERT_TRUE(allFinished.wait(120s));
    EXPECT_EQ(waitedForTheSilentOne, kRefused);
    ASSERT_TRUE(silentDone.wait());
}

}  // namespace
}  // namespace orvanpush::platform
