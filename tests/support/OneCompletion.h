#pragma once

// Waits for a completion that must come exactly once:
//
//   OneCompletion<Result> answer;
//   service.send(target, answer.completion());
//   Result result = answer.wait().value_or(Result{});

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

#include <gtest/gtest.h>

#include "platform/OutstandingWork.h"
#include "support/TestHome.h"

namespace orvanpush::testing {

template <typename Value>
class OneCompletion {
  public:
    /// The completion to hand over; it holds what it writes, so it may come late.
    std::function<void(Value)> completion() {
        return [state = state_](Value value) {
            state->thread = std::this_thread::get_id();
            state->value.emplace(std::move(value));
            if (++state->calls == 1) {
                state->done.notify();
            }
        };
    }

    /// The value, once the completion and the work behind it are over; fails the test unless
    /// the completion came exactly once.
    std::optional<Value> wait(std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
        EXPECT_TRUE(state_->done.wait(timeout));
        EXPECT_TRUE(platform::OutstandingWork::waitUntilDone(std::chrono::seconds(10)));
        EXPECT_EQ(state_->calls.load(), 1);
        return state_->value;
    }

    /// The thread the completion ran on (after wait).
    std::thread::id thread() const { return state_->thread; }

  private:
    struct State {
        Event done;
        std::atomic<int> calls{0};
        std::optional<Value> value;
        std::thread::id thread;
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace orvanpush::testing
