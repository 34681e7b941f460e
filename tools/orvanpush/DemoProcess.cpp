#include "DemoProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <utility>

namespace orvanpush::cli {
namespace {

[[noreturn]] void throwErrno(const std::string& what) {
    throw std::system_error(errno, std::generic_category(), what);
}

// Between fork and exec only async-signal-safe calls: the demo has threads of its own.
[[noreturn]] void becomeChild(int output, pid_t parent, char* const* argv) {
    if (::prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || ::getppid() != parent ||
        ::dup2(output, STDOUT_FILENO) < 0) {
        ::_exit(127);
    }
    ::execv(argv[0], argv);
    ::_exit(127);
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& arguments) {
    std::vector<std::string> words = arguments;
    std::vector<char*> argv;
    for (auto& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0) {
        throwErrno("cannot make a pipe for " + arguments.front());
    }
    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ == 0) {
        becomeChild(pipe[1], parent, argv.data());
    }
    const int forkError = errno;
    ::close(pipe[1]);
    if (pid_ < 0) {
        ::close(pipe[0]);
        throw std::system_error(forkError, std::generic_category(),
                                "cannot start " + arguments.front());
    }
    output_ = pipe[0];
}

ChildProcess::~ChildProcess() {
    terminate();
}

bool ChildProcess::readMore() {
    if (output_ < 0) {
        return false;
    }
    char buffer[4096];
    ssize_t count = 0;
    do {
        count = ::read(output_, buffer, sizeof buffer);
    } while (count < 0 && errno == EINTR);
    if (count <= 0) {
        ::close(output_);
        output_ = -1;
        return false;
    }
    pending_.append(buffer, static_cast<std::size_t>(count));
    return true;
}

std::optional<std::string> ChildProcess::readLine() {
    for (;;) {
        if (const auto end = pending_.find('\n'); end != std::string::npos) {
            auto line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            return line;
        }
        if (!readMore()) {
            if (pending_.empty()) {
                return std::nullopt;
            }
            return std::exchange(pending_, {});
        }
    }
}

std::string ChildProcess::readAll() {
    while (readMore()) {
    }
    return std::exchange(pending_, {});
}

int ChildProcess::wait() {
    if (pid_ <= 0) {
        return -1;
    }
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    if (output_ >= 0) {
        ::close(output_);
        output_ = -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int ChildProcess::terminate() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
    }
    return wait();
}

std::filesystem::path runningProgram() {
    return std::filesystem::read_symlink("/proc/self/exe");
}

}  // namespace orvanpush::cli
