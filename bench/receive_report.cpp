// Received messages per second through onMessageReceive(messageId:...) with its report to the
// reference server (store the message, sign and send the report, mark its row sent, complete),
// against the sum, in the same run, of the bare work it cannot avoid: the store write (one
// transaction, prepared statements), the signature (keychain row read, DER decode, EVP sign,
// Base64), the request (libcurl on a kept connection) and the mark write. Each message waits
// for its completion before the next, as an extension handles one push at a time; the median
// latency of one message is printed too. The request is the transport benchmark's limit: a fresh
// easy handle per request over a shared connection cache, as the library makes each request. CPU
// time is the whole process's (the main queue, the transport and callback threads, not the
// server's). On a shared machine run it with
// --benchmark_repetitions=5: the ratio then compares the medians.

#include <algorithm>
#include <chrono>
#include <future>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include "BenchSupport.h"
#include "bare_baselines.h"
#include "orvanpush/PushSDK.h"
#include "orvanpush/logger/Log.h"
#include "platform/Home.h"
#include "security/KeyChainUtil.h"
#include "storage_support.h"
#include "subscribed_instance.h"

namespace {

using orvanpush::bench::Owned;

using namespace orvanpush;
namespace platform = orvanpush::platform;

constexpr const char* kIdentifier = bench::kInstance;
constexpr const char* kPrivateTag = bench::kInstancePrivateTag;
constexpr const char* kAddress = bench::kSubscriberAddress;

struct Setup {
    std::unique_ptr<bench::SubscribedInstance> instance;
    std::vector<double> latencies;  // microseconds, of every measured message
};

Setup& setup() {
    static Setup shared;
    return shared;
}

std::string nextId() {
    static int next = 0;
    return "m" + std::to_string(next++);
}

void BM_OnMessageReceive(benchmark::State& state) {
    auto& sdk = *setup().instance->sdk;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        std::promise<std::optional<BaseApiResult>> answered;
        sdk.onMessageReceive(
            nextId(), "Title", std::nullopt, "Body", std::nullopt, std::nullopt,
            [&](std::optional<BaseApiResult> result) { answered.set_value(std::move(result)); });
        const auto result = answered.get_future().get();
        if (!result || result->getResultKind() != ResultKind::success) {
            throw std::runtime_error("a report failed");
        }
        setup().latencies.push_back(
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
                .count());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_OnMessageReceive)
    ->Unit(benchmark::kMicrosecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

// The unavoidable work of one message, each part with what it keeps between messages: prepared
// statements on open files, and the connection cache.
class BareReceipt {
  public:
    BareReceipt()
        : store_(bench::openBare(bench::storeOf("group.bench.bare"))),
          begin_(bench::prepare(store_.get(), "BEGIN IMMEDIATE")),
          commit_(bench::prepare(store_.get(), "COMMIT")),
          exists_(
              bench::prepare(store_.get(), "SELECT EXISTS (SELECT 1 FROM Message WHERE id = ?1)")),
          message_(bench::prepare(
              store_.get(),
              "INSERT INTO Message (id, contentAvailable, body, title, messageDate, statusLink, "
              "statusDateInternal, statusNameInternal, channelNameInternal, channelLink) "
              "VALUES (?1, 0, 'Body', 'Title', ?2, 1, ?2, 'Delivered', 'push', 1)")),
          history_(bench::prepare(
              store_.get(),
              "INSERT INTO MessageStatus (isSentInternal, statusDateInternal, statusNameInternal, "
              "messageId, messageLink, statusLink) VALUES (0, ?2, 'Delivered', ?1, ?3, 1)")),
          mark_(bench::prepare(store_.get(),
                               "UPDATE MessageStatus SET isSentInternal = 1 WHERE messageId = ?1 "
                               "AND statusNameInternal = 'Delivered'")),
          keychain_(bench::openBare(platform::Home::keychainFile())),
          key_(bench::prepare(keychain_.get(),
                              "SELECT value FROM items WHERE class = 'keys' AND application_tag = "
                              "?1 AND access_group = ?2 ORDER BY id DESC LIMIT 1")),
          group_(detail::KeyChain::getKeychainGroup(kIdentifier)),
          share_(curl_share_init()) {
        curl_share_setopt(share_.get(), CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT);
        bench::execute(store_.get(),
                       "INSERT OR IGNORE INTO Status (name) VALUES ('Delivered');"
                       "INSERT OR IGNORE INTO Channel (name) VALUES ('push');");
        url_ = setup().instance->reportUrl();
        for (const auto& header : bench::SubscribedInstance::reportHeaders()) {
            headers_.reset(curl_slist_append(headers_.release(), header.c_str()));
        }
    }

    void receive(const std::string& id) {
        const auto now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                             std::chrono::system_clock::now().time_since_epoch())
                             .count();
        store(id, now);
        send(id, sign(std::string(kAddress) + id + "Delivered"));
        bindId(mark_.get(), id);
        bench::run(mark_.get());
    }

  private:
    static void bindId(sqlite3_stmt* statement, const std::string& id) {
        sqlite3_bind_text(statement, 1, id.data(), static_cast<int>(id.size()), SQLITE_STATIC);
    }

    void store(const std::string& id, sqlite3_int64 now) {
        bench::run(begin_.get());
        bindId(exists_.get(), id);
        sqlite3_step(exists_.get());
        benchmark::DoNotOptimize(sqlite3_column_int(exists_.get(), 0));
        sqlite3_reset(exists_.get());
        bindId(message_.get(), id);
        sqlite3_bind_int64(message_.get(), 2, now);
        bench::run(message_.get());
        bindId(history_.get(), id);
        sqlite3_bind_int64(history_.get(), 2, now);
        sqlite3_bind_int64(history_.get(), 3, sqlite3_last_insert_rowid(store_.get()));
        bench::run(history_.get());
        bench::run(commit_.get());
    }

    std::string sign(const std::string& text) {
        return bench::bareSignature(key_.get(), kPrivateTag, group_, text);
    }

    void send(const std::string& id, const std::string& signature) {
        const std::string body = R"({"address":")" + std::string(kAddress) + R"(","messageId":")" +
                                 id + R"(","status":"Delivered","signature":")" + signature +
                                 R"("})";
        std::string answer;
        const Owned<CURL, curl_easy_cleanup> easy(curl_easy_init());
        curl_easy_setopt(easy.get(), CURLOPT_SHARE, share_.get());
        curl_easy_setopt(easy.get(), CURLOPT_URL, url_.c_str());
        curl_easy_setopt(easy.get(), CURLOPT_CUSTOMREQUEST, "PUT");
        curl_easy_setopt(easy.get(), CURLOPT_HTTPHEADER, headers_.get());
        curl_easy_setopt(easy.get(), CURLOPT_POSTFIELDS, body.c_str());
        curl_easy_setopt(easy.get(), CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy.get(), CURLOPT_WRITEFUNCTION, bench::keepBody);
        curl_easy_setopt(easy.get(), CURLOPT_WRITEDATA, &answer);
        long status = 0;
        if (curl_easy_perform(easy.get()) != CURLE_OK ||
            curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &status) != CURLE_OK ||
            status != 200) {
            throw std::runtime_error("the bare report failed: " + answer);
        }
    }

    bench::Database store_;
    bench::Statement begin_;
    bench::Statement commit_;
    bench::Statement exists_;
    bench::Statement message_;
    bench::Statement history_;
    bench::Statement mark_;
    bench::Database keychain_;
    bench::Statement key_;
    std::string group_;
    Owned<CURLSH, curl_share_cleanup> share_;
    Owned<curl_slist, curl_slist_free_all> headers_;
    std::string url_;
};

void BM_BareStoreSignSendMark(benchmark::State& state) {
    BareReceipt receipt;
    for (auto _ : state) {
        receipt.receive(nextId());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BareStoreSignSendMark)
    ->Unit(benchmark::kMicrosecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    bench::BenchHome home("orvanpush.bench");
    Log::neverEnable();
    setenv("NO_PROXY", "127.0.0.1", 1);
    auto& shared = setup();
    shared.instance = std::make_unique<bench::SubscribedInstance>();

    bench::TimeKeeper reporter;
    bench::runBenchmarks(argc, argv, reporter);
    reporter.printRatio("BM_OnMessageReceive", "BM_BareStoreSignSendMark",
                        "onMessageReceive with its report (messages/s)",
                        "bare store write, signature, request and mark write",
                        bench::TimeKeeper::Better::higher, 0.7);
    if (!shared.latencies.empty()) {
        std::cout << "onMessageReceive median latency (to its completion): " << std::fixed
                  << std::setprecision(0) << bench::median(shared.latencies) << " us over "
                  << shared.latencies.size() << " messages" << std::defaultfloat << std::endl;
    }
    PushSDK::waitForOutstandingWork(std::chrono::seconds(30));
    shared.instance.reset();
    return 0;
}
