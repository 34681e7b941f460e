#pragma once

// What the message-store tests share: fresh groups and instances, message values, completions
// that can be waited on, direct SQL on a store, the sqlite3 command as an independent checker,
// and child processes (this test program run again as the other process, or any command).

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "orvanpush/platform/MainQueue.h"
#include "orvanpush/platform/PlatformConfig.h"
#include "orvanpush/storage/MessageValues.h"
#include "platform/UserDefaults.h"
#include "storage/SharedPersistentContainer.h"
#include "storage/StorageUtil.h"
#include "support/TestHome.h"
#include "utils/SettingsUtils.h"

extern char** environ;

namespace orvanpush::testing {

using namespace std::chrono_literals;

/// A group id no other test of this program uses.
inline std::string freshGroup(const std::string& prefix = "group.store") {
    static std::atomic<int> counter{0};
    return prefix + "." + std::to_string(::getpid()) + "." + std::to_string(counter++);
}

/// A message value as a notification brings it.
inline MessageImp messageValue(const std::string& id, std::optional<Date> messageDate = {},
                               std::optional<std::string> statusName = "Delivered",
                               std::optional<std::string> channelName = "push") {
    MessageImp message;
    message.setId(id);
    message.setTitle("Title " + id);
    message.setBody("Body " + id);
    message.setMessageDate(messageDate);
    message.setStatusName(std::move(statusName));
    message.setChannelName(std::move(channelName));
    return message;
}

/// The integer in the first column of the first row of `sql` on the store of `container`.
inline std::int64_t countOf(const detail::SharedPersistentContainer& container,
                            const std::string& sql) {
    auto& database = const_cast<platform::MessageDatabase&>(container.database());
    return database.read([&](platform::MessageDatabase::Session& session) {
        auto select = session.connection().prepare(sql);
        return select.step() ? select.integer(0) : std::int64_t{-1};
    });
}

/// Runs SQL without parameters on the store's own connection (pragmas of fault injection).
inline void executeOn(const detail::SharedPersistentContainer& container, const std::string& sql) {
    auto& database = const_cast<platform::MessageDatabase&>(container.database());
    database.read(
        [&](platform::MessageDatabase::Session& session) { session.connection().execute(sql); });
}

/// What a command prints on standard output.
inline std::string commandOutput(const std::string& command) {
    std::string output;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        while (auto read = std::fread(buffer, 1, sizeof buffer, pipe)) {
            output.append(buffer, read);
        }
        ::pclose(pipe);
    }
    return output;
}

/// The sqlite3 command's integrity and foreign-key checks of a store file: "ok\n" when clean.
inline std::string sqliteChecks(const std::filesystem::path& file) {
    return commandOutput("sqlite3 '" + file.string() +
                         "' 'PRAGMA integrity_check; PRAGMA foreign_key_check;'");
}

/// The message store file of a group in the test home.
inline std::filesystem::path storeFile(const std::string& groupId) {
    return testHome() / "containers" / groupId / "StorageModel.sqlite";
}

/// A storage facade whose settings name `groupId` and hold the limits ("" for none).
inline std::shared_ptr<detail::StorageUtil> storageUtilFor(const std::string& groupId,
                                                           const char* quantityLimit = "",
                                                           const char* daysLimit = "") {
    auto settings = std::make_shared<detail::SettingsUtils>(
        platform::UserDefaults::suite("settings." + groupId),
        detail::SettingsUtils::SettingReceivers{});
    settings->set(detail::Setting::SharedAppGroup, groupId);
    settings->set(detail::Setting::StorageQuantityLimit, quantityLimit);
    settings->set(detail::Setting::StorageDaysLimit, daysLimit);
    return std::make_shared<detail::StorageUtil>("instance." + groupId, settings);
}

/// The path of this test program, to run it again as another process.
inline std::string thisProgram() {
    return std::filesystem::read_symlink("/proc/self/exe").string();
}

/// The environment of a child run of this program: the parent's test home, the group and the
/// child's role ("application" or "extension"), plus `extra` variables.
inline std::vector<std::string> childEnvironment(const std::string& groupId,
                                                 const std::string& role,
                                                 std::vector<std::string> extra = {}) {
    extra.push_back("ORVANPUSH_CHILD_HOME=" + testHome().string());
    extra.push_back("ORVANPUSH_CHILD_GROUP=" + groupId);
    extra.push_back("ORVANPUSH_CHILD_ROLE=" + role);
    return extra;
}

/// In a child run (above): installs the parent's home and the child's bundle, and gives its
/// group. Nothing in an ordinary run, where the child's test is skipped.
inline std::optional<std::string> becomeChild() {
    const char* home = std::getenv("ORVANPUSH_CHILD_HOME");
    const char* group = std::getenv("ORVANPUSH_CHILD_GROUP");
    const char* role = std::getenv("ORVANPUSH_CHILD_ROLE");
    if (home == nullptr || group == nullptr || role == nullptr) {
        return std::nullopt;
    }
    auto config = platform::PlatformConfig::fromEnvironment();
    config.home = home;
    config.bundleIdentifier = std::string("orvanpush.tests.") + role;
    config.bundlePath =
        std::string("/apps/Child") + (std::string(role) == "extension" ? ".appex" : "");
    platform::PlatformConfig::install(config);
    return std::string(group);
}

/// The answers of asynchronous store operations, each with whether it ran on the main queue.
class Answers {
  public:
    struct Answer {
        std::string status;
        std::optional<std::string> error;
        bool onMainQueue = false;
    };

    detail::StorageUtil::Completion completion() {
        return [this](const std::string& status, const std::optional<TextError>& error) {
            record(status, error);
        };
    }

    template <class Value>
    detail::StorageUtil::ValueCompletion<Value> completion() {
        return [this](const std::string& status, Value, const std::optional<TextError>& error) {
            record(status, error);
        };
    }

    /// Waits for the main queue, then gives the answers in the order they came.
    std::vector<Answer> take() {
        EXPECT_TRUE(platform::MainQueue::waitUntilIdle(30s));
        std::lock_guard lock(mutex_);
        return std::exchange(answers_, {});
    }

  private:
    void record(const std::string& status, const std::optional<TextError>& error) {
        std::lock_guard lock(mutex_);
        answers_.push_back({status,
                            error ? std::optional(std::string(error->what())) : std::nullopt,
                            platform::MainQueue::isCurrent()});
    }

    std::mutex mutex_;
    std::vector<Answer> answers_;
};

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
        input_ = input[1];
        output_ = ::fdopen(output[0], "r");
        if (result != 0) {
            pid_ = 0;
            throw std::runtime_error("cannot start " + arguments.front());
        }
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
        char* line = nullptr;
        std::size_t capacity = 0;
        const auto length = ::getline(&line, &capacity, output_);
        std::optional<std::string> result;
        if (length >= 0) {
            result = std::string(line, static_cast<std::size_t>(length));
            if (!result->empty() && result->back() == '\n') {
                result->pop_back();
            }
        }
        std::free(line);
        return result;
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

}  // namespace orvanpush::testing
