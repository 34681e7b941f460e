#pragma once

// The library's work in flight in this process: requests with their resends, re-sends of queued
// reports, log uploads and queued store work. Whoever starts such work takes a token and keeps
// it with the work (a continuation captures it); the work counts until the last copy of the
// token is gone.
//
//   auto work = OutstandingWork::begin();
//   queue.async([work] { ... });           // counted until the task and its copy are gone
//   OutstandingWork::waitUntilDone(std::chrono::seconds(5));

#include <chrono>
#include <cstddef>
#include <memory>

namespace orvanpush::platform {

class OutstandingWork {
  public:
    /// One piece of work; copies share it, and it ends when the last copy is destroyed.
    class Token {
      public:
        Token() = default;

      private:
        friend class OutstandingWork;
        explicit Token(std::shared_ptr<void> held) : held_(std::move(held)) {}
        std::shared_ptr<void> held_;
    };

    /// Counts a new piece of work until the returned token (and every copy) is gone.
    static Token begin();
    /// Waits until no work is counted or `timeout` passes; true when none is left.
    static bool waitUntilDone(std::chrono::milliseconds timeout);
    /// The pieces of work counted now.
    static std::size_t count();
};

}  // namespace orvanpush::platform
