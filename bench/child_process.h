#pragma once

// What the benchmarks that time whole programs share: a program run to its end, with its
// output, its wall time and the CPU time it used.

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace orvanpush::bench {

struct ChildRun {
    std::string output;  // standard output
    double wallSeconds = 0;
    double cpuSeconds = 0;  // user and system time of the program
};

/// Runs `arguments` (the program's path first) with this process's environment; throws when it
/// cannot start or does not exit with status 0.
inline ChildRun runChild(std::vector<std::string> arguments) {
    int output[2];
    if (pipe2(output, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe");
    }
    std::vector<char*> argv;
    for (auto& word : arguments) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    const auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    const int failure = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(output[1]);
    ChildRun run;
    char buffer[4096];
    for (ssize_t count; failure == 0 && (count = read(output[0], buffer, sizeof buffer)) > 0;) {
        run.output.append(buffer, static_cast<std::size_t>(count));
    }
    close(output[0]);
    int status = 0;
    struct rusage usage {};
    if (failure != 0 || wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        throw std::runtime_error(arguments[0] + " failed");
    }
    run.wallSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    auto seconds = [](const timeval& time) {
        return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
    };
    run.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    return run;
}

}  // namespace orvanpush::bench
