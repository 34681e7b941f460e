#include "platform/CurlTransport.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>
#include <limits>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include <curl/curl.h>

#include "orvanpush/TextError.h"
#include "orvanpush/platform/PlatformConfig.h"
#include "platform/CallbackPool.h"

namespace orvanpush::platform {
namespace {

struct EasyCleanup {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct MultiCleanup {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct ListFree {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using EasyHandle = std::unique_ptr<CURL, EasyCleanup>;
using MultiHandle = std::unique_ptr<CURLM, MultiCleanup>;
using HeaderList = std::unique_ptr<curl_slist, ListFree>;

std::size_t poolSize() {
    return std::clamp<std::size_t>(std::thread::hardware_concurrency(), 2, 4);
}

// Threads the pool may grow to while completions keep its threads busy.
constexpr std::size_t kMostPoolThreads = 64;

// Why the body of an answer was not taken whole.
enum class Refusal { none, tooLarge, outOfMemory };

// One request on its way: what to send, the easy handle and everything its options point into.
struct Exchange {
    CurlTransport::Transfer transfer;
    EasyHandle easy;
    HeaderList headerList;
    std::shared_ptr<const HttpRequest> request;
    std::size_t maxBodySize = 0;
    Bytes received;
    Refusal refusal = Refusal::none;
    char errorText[CURL_ERROR_SIZE] = {};
    UrlSession::Completion completion;
};

// libcurl's write callback: keeps the body up to the limit. Answering fewer bytes than were
// handed over stops the transfer; nothing may be thrown through libcurl.
std::size_t receive(char* data, std::size_t size, std::size_t count, void* context) noexcept {
    auto& exchange = *static_cast<Exchange*>(context);
    const std::size_t length = size * count;
    if (length > exchange.maxBodySize - exchange.received.size()) {
        exchange.refusal = Refusal::tooLarge;
        return 0;
    }
    try {
        exchange.received.insert(exchange.received.end(), data, data + length);
    } catch (...) {
        exchange.refusal = Refusal::outOfMemory;
        return 0;
    }
    return length;
}

void check(CURLcode code) {
    if (code != CURLE_OK) {
        throw TextError(curl_easy_strerror(code));
    }
}

// "Name: value", or "Name;" for an empty value (libcurl drops "Name:" instead of sending it).
std::string headerLine(const std::string& name, const std::string& value) {
    return value.empty() ? name + ";" : name + ": " + value;
}

HeaderList headerList(const HttpHeaders& headers) {
    HeaderList list;
    auto append = [&](const std::string& line) {
        curl_slist* grown = curl_slist_append(list.get(), line.c_str());
        if (grown == nullptr) {
            throw TextError("Out of memory");
        }
        list.release();
        list.reset(grown);
    };
    for (const auto& [name, value] : headers) {
        append(headerLine(name, value));
    }
    const bool hasExpect = std::ranges::any_of(
        headers, [](const auto& entry) { return strcasecmp(entry.first.c_str(), "Expect") == 0; });
    if (!hasExpect) {
        append("Expect:");  // no 100-continue round trip before a body
    }
    return list;
}

void setMethodAndBody(CURL* easy, const HttpRequest& request) {
    const auto& body = request.body;
    if (request.method == "GET" && !body) {
        check(curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L));
    } else if (request.method == "HEAD" && !body) {
        check(curl_easy_setopt(easy, CURLOPT_NOBODY, 1L));
    } else if (request.method != "POST") {
        check(curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, request.method.c_str()));
    }
    if (body || request.method == "POST") {
        static const char kEmpty[] = "";
        const char* data =
            body && !body->empty() ? reinterpret_cast<const char*>(body->data()) : kEmpty;
        check(curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE,
                               static_cast<curl_off_t>(body ? body->size() : 0)));
        check(curl_easy_setopt(easy, CURLOPT_POSTFIELDS, data));
    }
}

// Connecting may take `limit`, and so may any silence of the connection: a transfer that moves
// less than a byte a second for that many (whole) seconds is abandoned.
void setConnectAndIdleLimit(CURL* easy, std::chrono::milliseconds limit) {
    limit = std::clamp(limit, std::chrono::milliseconds(1), kLongestTimeout);
    const auto seconds = std::chrono::ceil<std::chrono::seconds>(limit).count();
    check(curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limit.count())));
    check(curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L));
    check(curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, static_cast<long>(seconds)));
}

// Sets `exchange` up to send its transfer; throws TextError when libcurl refuses an option.
void configure(Exchange& exchange) {
    auto& transfer = exchange.transfer;
    exchange.request = std::move(transfer.request);
    exchange.easy.reset(curl_easy_init());
    if (!exchange.easy) {
        throw TextError("Out of memory");
    }
    CURL* easy = exchange.easy.get();
    const HttpRequest& request = *exchange.request;
    check(curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, exchange.errorText));
    check(curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L));
    check(curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https"));
    check(curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L));
    check(curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L));
    check(curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L));
    if (const auto& caFile = PlatformConfig::current()->caFile) {
        check(curl_easy_setopt(easy, CURLOPT_CAINFO, caFile->c_str()));
    }
    check(curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(transfer.timeout.count())));
    if (transfer.connectAndIdleTimeout) {
        setConnectAndIdleLimit(easy, *transfer.connectAndIdleTimeout);
    }
    check(curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str()));
    setMethodAndBody(easy, request);
    exchange.headerList = headerList(transfer.headers);
    check(curl_easy_setopt(easy, CURLOPT_HTTPHEADER, exchange.headerList.get()));
    check(curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, receive));
    check(curl_easy_setopt(easy, CURLOPT_WRITEDATA, &exchange));
    // An announced length beyond the limit is refused before any of the body arrives.
    exchange.maxBodySize = PlatformConfig::current()->maxResponseBytes;
    check(curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE,
                           static_cast<curl_off_t>(std::min<std::size_t>(
                               exchange.maxBodySize, std::numeric_limits<curl_off_t>::max()))));
}

// Sets `exchange` up on the thread that drives the transfers, which also ends them: libcurl's
// memory for a request is taken and given back on one thread, and the caller's thread does not
// wait for the setting up. The reason when it cannot be sent.
std::optional<std::string> configured(Exchange& exchange) noexcept {
    try {
        configure(exchange);
        return std::nullopt;
    } catch (const TextError& error) {
        return error.what();
    } catch (...) {
        return "Out of memory";  // all else it can throw is an allocation failing
    }
}

HttpOutcome outcomeOf(Exchange& exchange, CURLcode result) {
    if (exchange.refusal == Refusal::tooLarge || result == CURLE_FILESIZE_EXCEEDED) {
        return {.response = std::nullopt, .error = kResponseTooLargeText};
    }
    if (exchange.refusal == Refusal::outOfMemory) {
        return {.response = std::nullopt, .error = "Out of memory"};
    }
    if (result != CURLE_OK) {
        std::string description = curl_easy_strerror(result);
        if (exchange.errorText[0] != '\0') {
            description += std::string(": ") + exchange.errorText;
        }
        return {.response = std::nullopt, .error = std::move(description)};
    }
    long status = 0;
    curl_easy_getinfo(exchange.easy.get(), CURLINFO_RESPONSE_CODE, &status);
    return {.response = HttpResponse{.statusCode = status, .body = std::move(exchange.received)},
            .error = std::nullopt};
}

}  // namespace

// A finished request: its completion and what it came to.
struct Finished {
    UrlSession::Completion completion;
    HttpOutcome outcome;
};

// The transport has no thread of its own: one pool thread at a time drives the multi handle.
// When requests finish, the driver hands the driving on to another pool thread (only if requests
// remain), and runs one finished completion itself, no longer the driver. A lone request thus
// costs one hand-off to the pool and none back, and a completion never holds up the transfers:
// while completions keep every pool thread busy, the pool grows a thread for the driving.
struct CurlTransport::State {
    MultiHandle multi;
    std::mutex mutex;
    std::deque<std::unique_ptr<Exchange>> incoming;               // guarded by mutex
    bool stopping = false;                                        // guarded by mutex
    bool driven = false;                                          // guarded by mutex
    std::unordered_map<CURL*, std::unique_ptr<Exchange>> active;  // the driver's
    CallbackPool pool{"orvanpush.urlsession", poolSize(), kMostPoolThreads};

    void drive();
    bool admitIncoming();
    std::vector<Finished> collectFinished();
    void handOver();
    void post(UrlSession::Completion completion, HttpOutcome outcome);
    void finish(std::unique_ptr<Exchange> exchange, HttpOutcome outcome);
};

void CurlTransport::State::post(UrlSession::Completion completion, HttpOutcome outcome) {
    pool.post([completion = std::move(completion), outcome = std::move(outcome)]() mutable {
        completion(std::move(outcome));
    });
}

void CurlTransport::State::finish(std::unique_ptr<Exchange> exchange, HttpOutcome outcome) {
    post(std::move(exchange->completion), std::move(outcome));
}

// Adds the requests that arrived to the multi handle; false once the transport is stopping.
bool CurlTransport::State::admitIncoming() {
    std::deque<std::unique_ptr<Exchange>> arrived;
    {
        std::lock_guard lock(mutex);
        if (stopping) {
            return false;
        }
        arrived.swap(incoming);
    }
    for (auto& exchange : arrived) {
        if (auto refused = configured(*exchange)) {
            finish(std::move(exchange), {.response = std::nullopt, .error = std::move(refused)});
            continue;
        }
        CURL* easy = exchange->easy.get();
        if (CURLMcode code = curl_multi_add_handle(multi.get(), easy); code != CURLM_OK) {
            finish(std::move(exchange),
                   {.response = std::nullopt, .error = curl_multi_strerror(code)});
            continue;
        }
        active.emplace(easy, std::move(exchange));
    }
    return true;
}

std::vector<Finished> CurlTransport::State::collectFinished() {
    std::vector<Finished> finished;
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi.get(), &queued)) {
        if (message->msg != CURLMSG_DONE) {
            continue;
        }
        CURL* easy = message->easy_handle;
        const CURLcode result = message->data.result;
        curl_multi_remove_handle(multi.get(), easy);
        auto found = active.find(easy);
        auto exchange = std::move(found->second);
        active.erase(found);
        auto outcome = outcomeOf(*exchange, result);
        finished.push_back({std::move(exchange->completion), std::move(outcome)});
    }
    return finished;
}

// Gives up driving: to another pool thread, first in the queue, while requests remain.
void CurlTransport::State::handOver() {
    {
        std::lock_guard lock(mutex);
        if (active.empty() && incoming.empty()) {
            driven = false;
            return;
        }
    }
    pool.postFirst([this] { drive(); });
}

void CurlTransport::State::drive() {
    std::vector<Finished> finished;
    while (finished.empty()) {
        if (!admitIncoming()) {
            return;  // the transport is stopping; it removes what is left itself
        }
        if (active.empty()) {
            handOver();  // nothing was admitted (libcurl refused it): nothing to drive
            return;
        }
        int running = 0;
        curl_multi_perform(multi.get(), &running);
        finished = collectFinished();
        if (finished.empty()) {
            curl_multi_poll(multi.get(), nullptr, 0, 1000, nullptr);
        }
    }
    handOver();
    for (auto other = std::next(finished.begin()); other != finished.end(); ++other) {
        post(std::move(other->completion), std::move(other->outcome));
    }
    // Last, so that whatever it throws reaches the pool, which logs it.
    finished.front().completion(std::move(finished.front().outcome));
}

CurlTransport& CurlTransport::shared() {
    static CurlTransport transport;
    return transport;
}

CurlTransport::CurlTransport() : state_(std::make_unique<State>()) {
    // Initialises libcurl and the TLS library before this object's destructor is registered, so
    // that at exit the transport stops first and they are torn down after it.
    curl_global_init(CURL_GLOBAL_DEFAULT);
    state_->multi.reset(curl_multi_init());
    if (!state_->multi) {
        throw TextError("Cannot start the HTTP transport");
    }
}

CurlTransport::~CurlTransport() {
    {
        std::lock_guard lock(state_->mutex);
        state_->stopping = true;
    }
    curl_multi_wakeup(state_->multi.get());
    state_->pool.shutDown();  // the driver, if any, returns at its next turn
    for (auto& [easy, exchange] : state_->active) {
        curl_multi_remove_handle(state_->multi.get(), easy);
    }
    state_->active.clear();
}

void CurlTransport::send(Transfer transfer, UrlSession::Completion completion) {
    auto exchange = std::make_unique<Exchange>();
    exchange->transfer = std::move(transfer);
    exchange->completion = std::move(completion);
    bool startDriving = false;
    {
        std::lock_guard lock(state_->mutex);
        if (state_->stopping) {
            return;
        }
        state_->incoming.push_back(std::move(exchange));
        startDriving = !std::exchange(state_->driven, true);
    }
    if (startDriving) {
        state_->pool.postFirst([state = state_.get()] { state->drive(); });
    } else {
        curl_multi_wakeup(state_->multi.get());
    }
}

void CurlTransport::complete(HttpOutcome outcome, UrlSession::Completion completion) {
    state_->post(std::move(completion), std::move(outcome));
}

}  // namespace orvanpush::platform
