// One push handled by a notification-service extension started cold: a fresh process gets its
// instance, receives one push with its report against the reference server, waits for the
// library's outstanding work and exits. Printed: its peak resident size (the median of the runs)
// and its wall time from start to exit beyond the server's answer (the median of the runs, less
// the median of bare libcurl requests of the same report, each on a connection of its own),
// then what a program touching one library only peaks at, so a change knows where memory goes.
//
//   bench_extension_cold_push [runs]     (default 5)

#include <algorithm>
#include <chrono>
#include <iomanip>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <curl/curl.h>

#include "BenchSupport.h"
#include "child_process.h"
#include "orvanpush/logger/Log.h"
#include "sdk/PushSDKState.h"
#include "subscribed_instance.h"

namespace {

using orvanpush::bench::Owned;

using namespace orvanpush;
using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The peak resident size, in KiB, a program started afresh prints as it ends, and its wall time.
struct Finished {
    long peakKiB = -1;
    double milliseconds = 0;
};

Finished run(std::vector<std::string> arguments) {
    const auto ran = bench::runChild(std::move(arguments));
    Finished finished{.milliseconds = ran.wallSeconds * 1000};
    if (auto at = ran.output.rfind("peak "); at != std::string::npos) {
        finished.peakKiB = std::stol(ran.output.substr(at + 5));
    }
    return finished;
}

double mebibytes(long kib) {
    return static_cast<double>(kib) / 1024.0;
}

std::size_t discard(char*, std::size_t size, std::size_t count, void*) {
    return size * count;
}

// The wall time of one bare report of `id` on a connection of its own.
double bareReportMilliseconds(const bench::SubscribedInstance& instance, const std::string& id) {
    auto& state = *detail::PushSDKAccess::state(*instance.sdk);
    const std::string body = R"({"address":")" + std::string(bench::kSubscriberAddress) +
                             R"(","messageId":")" + id + R"(","status":"Delivered","signature":")" +
                             state.sign(bench::kSubscriberAddress + id + "Delivered") + R"("})";
    Owned<curl_slist, curl_slist_free_all> headers;
    for (const auto& header : bench::SubscribedInstance::reportHeaders()) {
        headers.reset(curl_slist_append(headers.release(), header.c_str()));
    }
    const auto url = instance.reportUrl();
    const auto start = Clock::now();
    const Owned<CURL, curl_easy_cleanup> easy(curl_easy_init());
    curl_easy_setopt(easy.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy.get(), CURLOPT_CUSTOMREQUEST, "PUT");
    curl_easy_setopt(easy.get(), CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(easy.get(), CURLOPT_POSTFIELDS, body.c_str());
    curl_easy_setopt(easy.get(), CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy.get(), CURLOPT_WRITEFUNCTION, discard);
    long code = 0;
    if (curl_easy_perform(easy.get()) != CURLE_OK ||
        curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &code) != CURLE_OK || code != 200) {
        throw std::runtime_error("the bare report failed");
    }
    return millisecondsSince(start);
}

void printBreakdown(const std::string& directory) {
    struct Probe {
        const char* what;
        std::vector<std::string> arguments;
    };
    const std::vector<Probe> probes{
        {"a bare main", {BENCH_PROBE_NONE}},
        {"libcurl initialised", {BENCH_PROBE_CURL}},
        {"OpenSSL making an RSA context", {BENCH_PROBE_OPENSSL}},
        {"SQLite opening a database", {BENCH_PROBE_SQLITE, directory}},
        {"ICU formatting one date", {BENCH_PROBE_ICU}},
    };
    for (const auto& probe : probes) {
        std::cout << "peak resident size of a program touching only " << probe.what << ": "
                  << mebibytes(run(probe.arguments).peakKiB) << " MiB" << std::endl;
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    bench::BenchHome home("orvanpush.bench");
    Log::neverEnable();
    setenv("NO_PROXY", "127.0.0.1", 1);
    setenv("ORVANPUSH_HOME", home.path().c_str(), 1);
    bench::SubscribedInstance instance;

    std::vector<double> peaks;
    std::vector<double> walls;
    std::vector<double> bare;
    for (int i = 0; i < runs; ++i) {
        const auto finished =
            run({BENCH_EXTENSION_HOST, bench::kInstance, "cold" + std::to_string(i)});
        peaks.push_back(mebibytes(finished.peakKiB));
        walls.push_back(finished.milliseconds);
        bare.push_back(bareReportMilliseconds(instance, "bare" + std::to_string(i)));
    }
    std::cout << std::fixed << std::setprecision(1)
              << "extension cold push peak resident size (target <= 16 MiB): "
              << bench::median(peaks) << " MiB" << std::endl
              << "extension cold push wall time beyond the server's answer (target <= 50 ms): "
              << bench::median(walls) - bench::median(bare) << " ms (" << bench::median(walls)
              << " ms in all, " << bench::median(bare) << " ms a bare request) over " << runs
              << " runs" << std::endl;
    printBreakdown(home.path().string());
    PushSDK::waitForOutstandingWork(std::chrono::seconds(30));
    return 0;
}
