#include "platform/UrlSession.h"

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/CallbackPool.h"
#include "support/TestHome.h"

namespace orvanpush::platform {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;
using ::testing::Optional;

// What a request that cannot go out comes to, on the callback pool.
HttpOutcome refusedOutcome(HttpRequest request, HttpHeaders sessionHeaders = {}) {
    testing::Event done;
    HttpOutcome outcome;
    std::thread::id thread;
    UrlSession({.httpAdditionalHeaders = std::move(sessionHeaders)})
        .dataTask(std::make_shared<const HttpRequest>(std::move(request)), [&](HttpOutcome result) {
            outcome = std::move(result);
            thread = std::this_thread::get_id();
            done.notify();
        });
    EXPECT_TRUE(done.wait());
    EXPECT_NE(thread, std::this_thread::get_id());
    return outcome;
}

TEST(UrlSessionTest, RequestHeadersReplaceSessionOnesAndOnlyWellFormedHttpRequestsLeave) {
    const HttpHeaders session{{"Content-Type", "application/json"}, {"Authorization", "Basic x"}};
    EXPECT_EQ(
        mergeHeaders(session, {{"content-type", "text/plain"}, {"rid", "1"}, {"RID", "2"}}),
        (HttpHeaders{{"Authorization", "Basic x"}, {"content-type", "text/plain"}, {"RID", "2"}}));
    EXPECT_EQ(mergeHeaders(session, {}), session);
    EXPECT_TRUE(isHttpToken("X-Tenant_1.a~!#$%&'*+^`|"));
    for (const std::string bad : {"", "Bad Name", "X:Y", "Ü", "a\r\nb"}) {
        EXPECT_FALSE(isHttpToken(bad)) << bad;
    }
    EXPECT_TRUE(isHeaderValue("any text, \"quoted\"; \t ü"));
    for (const std::string& bad :
         std::vector<std::string>{"a\rb", "a\nb", std::string("a\0b", 3)}) {
        EXPECT_FALSE(isHeaderValue(bad));
    }

    // Only HTTP is spoken, and malformed requests never leave.
    for (const std::string url : {"ftp://127.0.0.1:1/x", "file:///etc/passwd", "gopher://h/"}) {
        auto outcome = refusedOutcome({.url = url});
        EXPECT_FALSE(outcome.response);
        EXPECT_THAT(outcome.error, Optional(HasSubstr("rotocol"))) << url;
    }
    EXPECT_EQ(refusedOutcome({.url = "http://127.0.0.1:1/", .method = "GET /x HTTP/1.1\r\n"}).error,
              "Invalid HTTP method");
    EXPECT_EQ(
        refusedOutcome({.url = "http://127.0.0.1:1/", .headers = {{"X-Token", "a\r\nb"}}}).error,
        "Invalid value of header X-Token");
    EXPECT_EQ(refusedOutcome({.url = "http://127.0.0.1:1/"}, {{"Bad Name", "v"}}).error,
              "Invalid header name");
}

// A completion that ends the process destroys the pool from one of the pool's own threads: the
// tasks still waiting are dropped, never run, and the destruction does not wait for itself.
TEST(CallbackPoolTest, SurvivesWhatItsTasksThrowAndDestroyedByItsOwnTaskDropsTheWaitingOnes) {
    auto pool = std::make_shared<std::unique_ptr<CallbackPool>>(
        std::make_unique<CallbackPool>("test.pool", 1, 1));
    auto sentinel = std::make_shared<int>(0);
    std::atomic<int> waitingRan{0};
    testing::Event done;
    (*pool)->post([] { throw std::runtime_error("thrown by a task"); });
    (*pool)->post([] { throw 42; });
    (*pool)->post([pool, sentinel, &waitingRan, &done] {
        for (int i = 0; i < 5; ++i) {
            (*pool)->post([sentinel, &waitingRan] { ++waitingRan; });
        }
        pool->reset();
        done.notify();
    });
    ASSERT_TRUE(done.wait());
    EXPECT_EQ(waitingRan.load(), 0);
    // The dropped tasks released what they held.
    EXPECT_LE(sentinel.use_count(), 2);
}

}  // namespace
}  // namespace orvanpush::platform
