#pragma once

// The process's one HTTP transport: a libcurl multi handle, whose connection cache every request
// shares, driven by one thread of the callback pool at a time, the pool on which completions
// run. Made on first use; at process exit it stops its pool (transfers still in flight are
// dropped with their completions) before the libraries it uses are torn down.

#include <chrono>
#include <memory>
#include <optional>

#include "platform/UrlSession.h"

namespace orvanpush::platform {

class CurlTransport {
  public:
    /// A request ready to go: its headers merged and checked, its timeout settled.
    struct Transfer {
        std::shared_ptr<const HttpRequest> request;
        HttpHeaders headers;
        std::chrono::milliseconds timeout;
        /// The connect and idle limit, when the session has one.
        std::optional<std::chrono::milliseconds> connectAndIdleTimeout{};
    };

    static CurlTransport& shared();

    /// Sends `transfer`; `completion` runs on the callback pool.
    void send(Transfer transfer, UrlSession::Completion completion);
    /// Runs `outcome`'s completion on the callback pool without sending anything.
    void complete(HttpOutcome outcome, UrlSession::Completion completion);

    ~CurlTransport();
    CurlTransport(const CurlTransport&) = delete;
    CurlTransport& operator=(const CurlTransport&) = delete;

  private:
    CurlTransport();

    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace orvanpush::platform
