#include "utils/logger/log_manager/FreshProcess.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

#include "orvanpush/platform/PlatformConfig.h"
#include "platform/FileSystem.h"
#include "support/TestHome.h"

extern char** environ;

namespace orvanpush::testing {
namespace {

constexpr const char* parentHomeVariable = "ORVANPUSH_TEST_PARENT_HOME";

std::vector<char*> pointersTo(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (auto& text : texts) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

}  // namespace

bool FreshProcessResult::passed() const {
    return exitCode == 0 && output.find("[  PASSED  ] 1 test.") != std::string::npos;
}

FreshProcessResult runInFreshProcess(
    const std::string& testName,
    const std::vector<std::pair<std::string, std::string>>& environment) {
    std::vector<std::string> arguments{"/proc/self/exe", "--gtest_filter=" + testName,
                                       "--gtest_also_run_disabled_tests"};
    std::vector<std::string> variables;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        variables.emplace_back(*variable);
    }
    variables.push_back(std::string(parentHomeVariable) + "=" + testHome().string());
    for (const auto& [name, value] : environment) {
        variables.push_back(name + "=" + value);
    }

    TempDirectory scratch;
    const auto outputPath = scratch.path() / "stdout";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    auto argv = pointersTo(arguments);
    auto envp = pointersTo(variables);
    pid_t child = 0;
    int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        throw std::runtime_error("cannot start a fresh test process");
    }
    int status = 0;
    waitpid(child, &status, 0);
    FreshProcessResult result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.output = platform::FileSystem::readFile(outputPath).value_or("");
    return result;
}

bool enterFreshProcess() {
    const char* parentHome = std::getenv(parentHomeVariable);
    if (parentHome == nullptr) {
        return false;
    }
    auto config = platform::PlatformConfig::fromEnvironment();
    config.home = parentHome;
    platform::PlatformConfig::install(config);
    return true;
}

}  // namespace orvanpush::testing
