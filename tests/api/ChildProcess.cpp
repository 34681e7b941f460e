#include "api/ChildProcess.h"

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <iostream>

namespace orvanpush::testing {
namespace {

constexpr std::string_view kReportMarker = "CHILD-REPORT:";

std::string quoted(const std::string& text) {
    std::string result = "'";
    for (char c : text) {
        result += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return result + "'";
}

}  // namespace

ChildResult runChildTest(const std::string& name,
                         const std::vector<std::pair<std::string, std::string>>& environment) {
    std::string command = "env";
    for (const auto& [variable, value] : environment) {
        command += " " + quoted(variable + "=" + value);
    }
    command += " " + quoted(std::filesystem::read_symlink("/proc/self/exe").string()) +
               " --gtest_also_run_disabled_tests --gtest_filter=" + quoted(name) + " 2>&1";
    ChildResult result;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return result;
    }
    char line[4096];
    while (fgets(line, sizeof line, pipe) != nullptr) {
        std::string_view text(line);
        if (auto at = text.find(kReportMarker); at != std::string_view::npos) {
            text.remove_prefix(at + kReportMarker.size());
            if (text.ends_with('\n')) {
                text.remove_suffix(1);
            }
            result.reported = text;
        }
    }
    const int status = pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

void reportToParent(const std::string& text) {
    std::cout << kReportMarker << text << std::endl;
}

}  // namespace orvanpush::testing
