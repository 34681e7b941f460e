#pragma once

// A child process of the demo (the reference server, or this tool acting as the extension),
// its standard output read through a pipe and its standard error shared with the demo's.
//
//   ChildProcess extension({"/proc/self/exe", "--extension", "receive", ...});
//   std::string printed = extension.readAll();
//   int status = extension.wait();

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace orvanpush::cli {

class ChildProcess {
  public:
    /// Starts the program `arguments[0]` with `arguments`. The child receives SIGTERM if the
    /// demo dies first, so none outlives it. Throws std::system_error when it cannot start.
    explicit ChildProcess(const std::vector<std::string>& arguments);
    /// Ends a child still running with SIGTERM and waits for it.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }

    /// The next line of the child's standard output, without its newline; nothing at its end.
    std::optional<std::string> readLine();
    /// The rest of the child's standard output.
    std::string readAll();

    /// Waits for the child to exit: its exit status, or 128 plus the signal that ended it.
    int wait();
    /// Sends SIGTERM and waits, as wait() does; -1 when the child was already waited for.
    int terminate();

  private:
    bool readMore();

    pid_t pid_ = -1;
    int output_ = -1;
    std::string pending_;
};

/// The path of the running program (to start it again as the extension).
std::filesystem::path runningProgram();

}  // namespace orvanpush::cli
