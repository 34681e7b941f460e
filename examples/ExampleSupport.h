#pragma once

// What both example programs share: the instance they agree on, the push server's address from
// the command line, a way to wait for a completion that runs on another thread, and how a failure
// the library throws ends the program.

#include <chrono>
#include <cstdlib>
#include <exception>
#include <future>
#include <iostream>
#include <string>
#include <utility>

#include <orvanpush/ServerParams.h>

namespace example {

// The application creates the instance under this identifier; the extension finds it by it.
inline constexpr const char* kInstance = "com.example.shop";

inline orvanpush::ServerParams pushServer(const char* host, const char* port) {
    return {"http", host, std::strtoll(port, nullptr, 10), "api"};
}

// A completion handler that hands its value to the waiting thread.
template <class Value>
class Awaited {
  public:
    auto handler() {
        return [this](Value value) { promise_.set_value(std::move(value)); };
    }
    Value get() { return future_.get(); }

  private:
    std::promise<Value> promise_;
    std::future<Value> future_ = promise_.get_future();
};

// Runs the program's body; an error the library throws ends it with status 1.
inline int runReportingErrors(int (*run)(int, char**), int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception& error) {
        // The library throws before anything is sent: a missing configuration, a bad argument.
        std::cerr << "error: " << error.what() << "\n";
        return 1;
    }
}

}  // namespace example
