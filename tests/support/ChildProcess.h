#pragma once

// A process of its own for what only another process shows (a second user of the shared files,
// a process killed midway): any command, or this test program run again.
//
//   ChildProcess child({thisProgram(), "--gtest_filter=Child.*"}, {"ORVANPUSH_CHILD_HOME=..."});
//   while (auto line = child.readLine()) { ... }
//   EXPECT_EQ(child.wait(), 0);

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

extern char** environ;

namespace orvanpush::testing {

/// The path of this test program, to run it again as another process.
inline std::string thisProgram() {
    return std::filesystem::read_symlink("/proc/self/exe").string();
}

/// A process started with extra environment variables, standard input and output piped;
/// killed and reaped with the object if it still runs.
class ChildProcess {
  public:
    ChildProcess(const std::vector<std::string>& arguments,
                 const std::vector<std::string>& environment) {
        int input[2];
        int output[2];
        if (::pipe2(input, O_CLOEXEC) != 0 || ::pipe2(output, O_CLOEXEC) != 0) {
            throw std::runtime_error("pipe");
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
        std::vector<std::string> variables = environment;
        for (char** entry = environ; *entry != nullptr; ++entry) {
            variables.emplace_back(*entry);
        }
        auto argv = pointers(arguments);
        auto envp = pointers(variables);
        const int result =
            ::posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        ::close(input[0]);
        ::close(output[1]);
        if (result != 0) {
            ::close(input[1]);
            ::close(output[0]);
            pid_ = 0;
            throw std::runtime_error("cannot start " + arguments.front());
        }
        input_ = input[1];
        output_ = ::fdopen(output[0], "r");
    }

    ~ChildProcess() {
        closeInput();
        if (pid_ != 0) {
            ::kill(pid_, SIGKILL);
            wait();
        }
        if (output_ != nullptr) {
            std::fclose(output_);
        }
    }

    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    /// The next line of standard output without its line break; nothing at its end.
    std::optional<std::string> readLine() {
        std::string line;
        int c = 0;
        while ((c = std::getc(output_)) != EOF && c != '\n') {
            line += static_cast<char>(c);
        }
        return c == EOF && line.empty() ? std::nullopt : std::optional(line);
    }

    void writeInput(const std::string& text) {
        [[maybe_unused]] auto written = ::write(input_, text.data(), text.size());
    }

    void closeInput() {
        if (input_ >= 0) {
            ::close(input_);
            input_ = -1;
        }
    }

    void kill(int signal) { ::kill(pid_, signal); }

    pid_t pid() const { return pid_; }

    /// Waits for the process; its exit status, or 128 + the signal that ended it.
    int wait() {
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = 0;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

  private:
    static std::vector<char*> pointers(const std::vector<std::string>& texts) {
        std::vector<char*> result;
        for (const auto& text : texts) {
            result.push_back(const_cast<char*>(text.c_str()));
        }
        result.push_back(nullptr);
        return result;
    }

    pid_t pid_ = 0;
    int input_ = -1;
    FILE* output_ = nullptr;
};

inline constexpr std::string_view kChildReportMarker = "CHILD-REPORT:";

struct ChildResult {
    int exitCode = -1;
    /// What the child passed to reportToParent (empty when it did not).
    std::string reported;
};

/// Runs the disabled test `name` of this program in a process of its own, for what only another
/// process shows (another locale or time zone, an exit with work in flight), with `environment`
/// ("NAME=value" entries) added to this one's.
inline ChildResult runChildTest(const std::string& name,
                                const std::vector<std::string>& environment) {
    ChildProcess child({thisProgram(), "--gtest_also_run_disabled_tests", "--gtest_filter=" + name},
                       environment);
    child.closeInput();
    ChildResult result;
    while (auto line = child.readLine()) {
        if (const auto at = line->find(kChildReportMarker); at != std::string::npos) {
            result.reported = line->substr(at + kChildReportMarker.size());
        }
    }
    result.exitCode = child.wait();
    return result;
}

/// In a child test: hands `text` (one line) back to the parent.
inline void reportToParent(const std::string& text) {
    std::cout << kChildReportMarker << text << std::endl;
}

}  // namespace orvanpush::testing
