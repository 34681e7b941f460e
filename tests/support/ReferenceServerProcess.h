#pragma once

// The reference push server (orvanpush-server) as a process of its own, for the tests and
// benchmarks that talk to it: started on a free loopback port, stopped with SIGTERM.
//
//   ReferenceServerProcess server(ORVANPUSH_SERVER, {"--context", "api"});
//   std::string base = "http://127.0.0.1:" + std::to_string(server.port()) + "/api";

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace orvanpush::testing {

class ReferenceServerProcess {
  public:
    /// Starts `binary --port 0 <arguments>` and reads the port from its first line.
    ReferenceServerProcess(const std::string& binary, const std::vector<std::string>& arguments) {
        int output[2];
        if (pipe2(output, O_CLOEXEC) != 0) {
            throw std::runtime_error("pipe");
        }
        std::vector<std::string> words{binary, "--port", "0"};
        words.insert(words.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (auto& word : words) {
            argv.push_back(word.data());
        }
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
        const int spawned =
            posix_spawn(&pid_, binary.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(output[1]);
        std::string line;
        char c = 0;
        while (spawned == 0 && read(output[0], &c, 1) == 1 && c != '\n') {
            line += c;
        }
        close(output[0]);
        if (spawned != 0 || line.empty() ||
            line.find_first_not_of("0123456789") != std::string::npos) {
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
        if (pid_ <= 0) {
            return -1;
        }
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

  private:
    pid_t pid_ = -1;
    int port_ = 0;
};

}  // namespace orvanpush::testing
