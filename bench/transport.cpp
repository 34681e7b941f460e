// Client CPU time per request through Service against the reference server, against the limit
// of what it has to do: a bare libcurl loop to the same server in the same run that makes a fresh
// easy handle per request over a shared connection cache and performs it synchronously, with the
// same URL, headers and answer. Both measure the CPU time of the whole process (the client's
// threads, not the server's): on 2 cores the wall-clock rate over loopback is set by switching
// between the two processes. On a shared machine run it with --benchmark_repetitions=5: the
// ratio then compares the medians.
//
// What Service adds to the bare loop: a thread hand-off per request (to the callback pool, whose
// thread drives the transfer and runs its completion) and one back to the waiting benchmark, the
// multi handle's polling, building the request from its parameter dictionary (double-encoded
// query values, merged and checked headers), and decoding the JSON answer into its result record.

#include <condition_variable>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include "BenchSupport.h"
#include "ReferenceServer.h"
#include "api/ApiRequestBuilder.h"
#include "api/Service.h"
#include "api/SubscribeTarget.h"
#include "api/SubscriberGetTarget.h"
#include "bare_baselines.h"
#include "orvanpush/logger/Log.h"
#include "platform/SecKey.h"
#include "platform/UrlSession.h"
#include "security/Crypto.h"
#include "utils/LoggingUtils.h"

namespace {

using orvanpush::bench::Owned;

namespace platform = orvanpush::platform;
using namespace orvanpush::detail;

constexpr const char* kIdentifier = "bench";
constexpr const char* kAddress = "bench-device.bench-client";

// What both loops send and how: the server, the service and the one request.
struct Setup {
    std::unique_ptr<orvanpush::cli::ReferenceServer> server;
    std::unique_ptr<Service> service;
    SubscriberGetTarget target;
    BuiltRequest built;
};

Setup& setup() {
    static Setup shared;
    return shared;
}

// Counts the answers that arrived. It outlives every completion that may still be notifying it
// (each benchmark's is static), so a completion notifies after its unlock and the waiter does not
// wake only to wait for the lock.
class Answers {
  public:
    void add() {
        {
            std::lock_guard lock(mutex_);
            ++count_;
        }
        arrived_.notify_one();
    }

    void await(int count) {
        std::unique_lock lock(mutex_);
        arrived_.wait(lock, [&] { return count_ >= count; });
        count_ -= count;
    }

  private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    int count_ = 0;
};

void sendCounted(const Service& service, const SubscriberGetTarget& target, Answers& answers) {
    service.send(target, [&answers](orvanpush::SubscriberGetResult result) {
        if (result.getResultKind() != orvanpush::ResultKind::success) {
            throw std::runtime_error("the request failed");
        }
        answers.add();
    });
}

void BM_Service(benchmark::State& state) {
    static Answers answers;
    for (auto _ : state) {
        sendCounted(*setup().service, setup().target, answers);
        answers.await(1);
    }
}
BENCHMARK(BM_Service)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime()->UseRealTime();

// The same requests with eight in flight at every moment (each iteration waits for one answer
// and sends one request): the hand-offs of requests that overlap share their wake-ups.
void BM_ServiceEightInFlight(benchmark::State& state) {
    constexpr int kInFlight = 8;
    static Answers answers;
    for (int i = 0; i < kInFlight; ++i) {
        sendCounted(*setup().service, setup().target, answers);
    }
    for (auto _ : state) {
        answers.await(1);
        sendCounted(*setup().service, setup().target, answers);
    }
    answers.await(kInFlight);
}
BENCHMARK(BM_ServiceEightInFlight)
    ->Unit(benchmark::kMicrosecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

// The bare request: a fresh easy handle over the shared connection cache, performed
// synchronously.
class BareRequest {
  public:
    BareRequest() : share_(curl_share_init()) {
        curl_share_setopt(share_.get(), CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT);
        const auto& built = setup().built;
        curl_slist* headers = nullptr;
        for (const auto& [name, value] :
             platform::mergeHeaders(setup().service->sessionHeaders(), built.request.headers)) {
            headers = curl_slist_append(headers, (name + ": " + value).c_str());
        }
        headerList_.reset(curl_slist_append(headers, "Expect:"));
    }

    void perform() const {
        CURL* easy = curl_easy_init();
        std::string body;
        curl_easy_setopt(easy, CURLOPT_SHARE, share_.get());
        curl_easy_setopt(easy, CURLOPT_URL, setup().built.request.url.c_str());
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headerList_.get());
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, 30000L);
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, orvanpush::bench::keepBody);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
        long status = 0;
        if (curl_easy_perform(easy) != CURLE_OK ||
            curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK || status != 200) {
            throw std::runtime_error("the bare request failed");
        }
        curl_easy_cleanup(easy);
        benchmark::DoNotOptimize(body);
    }

  private:
    Owned<CURLSH, curl_share_cleanup> share_;
    Owned<curl_slist, curl_slist_free_all> headerList_{nullptr};
};

void BM_BareCurl(benchmark::State& state) {
    const BareRequest request;
    for (auto _ : state) {
        request.perform();
    }
}
BENCHMARK(BM_BareCurl)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime()->UseRealTime();

// The bare request behind the two hand-offs an asynchronous request cannot avoid when its
// completion runs on another thread than the caller's: to one waiting worker thread, which
// performs it, and back to the caller waiting for its answer. What Service costs beyond this is
// its own work; the rest is the price of the threads, set by the machine (much higher in a
// virtual machine, where waking a thread on an idle CPU leaves the guest).
void BM_BareCurlHandedOff(benchmark::State& state) {
    const BareRequest request;
    std::mutex mutex;
    std::condition_variable changed;
    int requested = 0;
    int answered = 0;
    bool stopping = false;
    std::thread worker([&] {
        std::unique_lock lock(mutex);
        for (int done = 0;; ++done) {
            changed.wait(lock, [&] { return stopping || requested > done; });
            if (stopping) {
                return;
            }
            lock.unlock();
            request.perform();
            lock.lock();
            ++answered;
            changed.notify_all();
        }
    });
    std::unique_lock lock(mutex);
    for (auto _ : state) {
        ++requested;
        changed.notify_all();
        changed.wait(lock, [&] { return answered == requested; });
    }
    stopping = true;
    changed.notify_all();
    lock.unlock();
    worker.join();
}
BENCHMARK(BM_BareCurlHandedOff)
    ->Unit(benchmark::kMicrosecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    orvanpush::bench::BenchHome home("orvanpush.bench");
    orvanpush::Log::neverEnable();
    setenv("NO_PROXY", "127.0.0.1", 1);
    auto& shared = setup();
    shared.server = std::make_unique<orvanpush::cli::ReferenceServer>(ORVANPUSH_SERVER);
    shared.service = std::make_unique<Service>(
        "http://127.0.0.1:" + std::to_string(shared.server->port()) + "/api",
        orvanpush::cli::ReferenceServer::kLogin, orvanpush::cli::ReferenceServer::kPassword, "test",
        std::make_shared<LoggingUtils>(kIdentifier, nullptr));

    // The device subscribes once; every measured request reads its record back, signed.
    generateKeyPair(kIdentifier, "bench.public", "bench.private", platform::kSecAttrKeyTypeRSA,
                    1024);
    const RequestHeaders headers{{"rid", "0F8E6C1A-3B2D-4E5F-8A7B-9C0D1E2F3A4B"},
                                 {"push-enabled", "true"}};
    SubscribeObject subscribe{
        .headers = headers,
        .address = kAddress,
        .osVersion = "17.4",
        .vendorInfo = "bench",
        .token = "token",
        .publicKey = getPublicKeyString(kIdentifier, "bench.public", "bench.private",
                                        platform::kSecAttrKeyTypeRSA, 1024)};
    std::mutex mutex;
    std::condition_variable subscribed;
    bool done = false;
    shared.service->send(SubscribeTarget{subscribe}, [&](orvanpush::BaseApiResult result) {
        if (result.getResultKind() != orvanpush::ResultKind::success) {
            throw std::runtime_error("the subscription failed");
        }
        std::lock_guard lock(mutex);
        done = true;
        subscribed.notify_one();
    });
    {
        std::unique_lock lock(mutex);
        subscribed.wait(lock, [&] { return done; });
    }
    shared.target =
        SubscriberGetTarget{{.headers = headers, .address = kAddress, .requestAddress = kAddress}};
    shared.target.value.signature = signString(
        kIdentifier, "bench.private", platform::kSecKeyAlgorithmRSASignatureMessagePKCS1v15SHA1,
        SubscriberGetTarget::signedText(shared.target.value));
    shared.built =
        ApiRequestBuilder::build(shared.target.parameters(), shared.service->baseAddress(),
                                 shared.service->defaultTimeout());

    orvanpush::bench::TimeKeeper reporter;
    orvanpush::bench::runBenchmarks(argc, argv, reporter);
    reporter.printRatio("BM_Service", "BM_BareCurl", "Service request",
                        "bare libcurl request over a shared connection cache",
                        orvanpush::bench::TimeKeeper::Better::lower, 1.5);
    reporter.printRatio("BM_Service", "BM_BareCurlHandedOff", "Service request",
                        "bare libcurl request handed to a thread and back",
                        orvanpush::bench::TimeKeeper::Better::lower, 1.25);
    reporter.printRatio("BM_ServiceEightInFlight", "BM_BareCurl",
                        "Service request with eight in flight",
                        "bare libcurl request over a shared connection cache",
                        orvanpush::bench::TimeKeeper::Better::lower, 1.5);
    shared.service.reset();
    shared.server.reset();
    return 0;
}
