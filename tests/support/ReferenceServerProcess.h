#pragma once

// The reference push server (orvanpush-server) as a process of its own, for the tests and
// benchmarks that talk to it: started on a free loopback port, stopped with SIGTERM, and gone with
// the test program that started it even when that program crashes (its standard input ends).
//
//   ReferenceServerProcess server(ORVANPUSH_SERVER, {"--context", "api"});
//   std::string base = "http://127.0.0.1:" + std::to_string(server.port()) + "/api";

#include <signal.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "support/ChildProcess.h"

namespace orvanpush::testing {

class ReferenceServerProcess {
  public:
    /// Starts `binary --port 0 --stop-at-end-of-input <arguments>` and reads the port from its
    /// first line.
    ReferenceServerProcess(const std::string& binary, const std::vector<std::string>& arguments)
        : process_(commandLine(binary, arguments), {}) {
        const std::string line = process_.readLine().value_or("");
        if (line.empty() || line.find_first_not_of("0123456789") != std::string::npos) {
            stop();
            throw std::runtime_error("orvanpush-server did not start: " + line);
        }
        port_ = std::stoi(line);
    }
    ~ReferenceServerProcess() { stop(); }
    ReferenceServerProcess(const ReferenceServerProcess&) = delete;
    ReferenceServerProcess& operator=(const ReferenceServerProcess&) = delete;

    int port() const { return port_; }

    /// Stops the server with SIGTERM; its exit status (0 when it stopped cleanly), -1 when it
    /// was not running.
    int stop() {
        if (process_.pid() == 0) {
            return -1;
        }
        process_.kill(SIGTERM);
        return process_.wait();
    }

  private:
    static std::vector<std::string> commandLine(const std::string& binary,
                                                std::vector<std::string> words) {
        words.insert(words.begin(), {binary, "--port", "0", "--stop-at-end-of-input"});
        return words;
    }

    ChildProcess process_;
    int port_ = 0;
};

}  // namespace orvanpush::testing
