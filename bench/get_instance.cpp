// PushSDK::getInstance against the limit of what it has to do: the bare SQLite reads of the same
// keys from the same files (the two keychain look-ups, the logging settings of the process's own
// store and the configuration in the group's store), in the same run. On a shared machine run it
// with --benchmark_repetitions=5: the ratios then compare the medians.

#include <stdlib.h>

#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include "orvanpush/PushSDK.h"
#include "orvanpush/logger/Log.h"
#include "orvanpush/platform/PlatformConfig.h"
#include "platform/Home.h"
#include "platform/UserDefaults.h"

namespace {

using orvanpush::PushSDK;
using orvanpush::ServerParams;
namespace platform = orvanpush::platform;

constexpr const char* kIdentifier = "bench";
constexpr const char* kGroup = "group.bench";

// What getInstance reads from the group's store, in its order.
const std::vector<std::string> kConfigurationKeys{
    "protocolTypeKey",          "serverAddressKey",    "serverPortKey",
    "serverContextKey",         "serverLoginKey",      "serverPasswordKey",
    "logServerProtocolTypeKey", "logServerAddressKey", "logServerPortKey",
    "logServerContextKey",      "silenceDuplicates"};
const std::vector<std::string> kLoggingKeys{"_log_level", "_send_logs"};

struct DatabaseCloser {
    void operator()(sqlite3* database) const { sqlite3_close_v2(database); }
};
struct StatementFinalizer {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Database = std::unique_ptr<sqlite3, DatabaseCloser>;
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

Database open(const std::filesystem::path& file) {
    sqlite3* raw = nullptr;
    if (sqlite3_open_v2(file.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close_v2(raw);
        throw std::runtime_error("cannot open " + file.string());
    }
    return Database(raw);
}

Statement prepare(sqlite3* database, const char* sql) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v3(database, sql, -1, SQLITE_PREPARE_PERSISTENT, &raw, nullptr) !=
        SQLITE_OK) {
        throw std::runtime_error(std::string("cannot prepare: ") + sqlite3_errmsg(database));
    }
    return Statement(raw);
}

/// Binds the texts in order, steps once and keeps the first column's bytes out of the optimizer.
void readRow(sqlite3_stmt* statement, const std::vector<std::string>& texts) {
    sqlite3_reset(statement);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        sqlite3_bind_text(statement, static_cast<int>(i) + 1, texts[i].data(),
                          static_cast<int>(texts[i].size()), SQLITE_STATIC);
    }
    if (sqlite3_step(statement) != SQLITE_ROW) {
        throw std::runtime_error("a key read by getInstance is missing");
    }
    benchmark::DoNotOptimize(sqlite3_column_blob(statement, 0));
}

/// The same rows getInstance reads, straight from the files.
class BareReads {
  public:
    BareReads()
        : keychain_(open(platform::Home::keychainFile())),
          group_(open(platform::Home::defaultsFile(kGroup))),
          own_(open(
              platform::Home::defaultsFile(platform::PlatformConfig::current()->bundleIdentifier))),
          probe_(prepare(keychain_.get(),
                         "SELECT access_group FROM items WHERE class = 'genp' AND account = ?1"
                         " AND service = '' AND synchronizable = 1 ORDER BY id DESC LIMIT 1")),
          groupName_(prepare(keychain_.get(),
                             "SELECT value FROM items WHERE class = 'genp' AND account = ?1"
                             " AND access_group = ?2 ORDER BY id DESC LIMIT 1")),
          configuration_(prepare(group_.get(),
                                 "SELECT value FROM defaults WHERE key = ?1 AND type = 'string'")),
          logging_(prepare(own_.get(),
                           "SELECT value FROM defaults WHERE key = ?1 AND type = 'string'")) {}

    void readAll() {
        readRow(probe_.get(), {"detectAppIdentifierForKeyChainGroupIdUsage"});
        readRow(groupName_.get(), {"sharedAppGroup", groupAccessGroup()});
        for (const auto& key : kLoggingKeys) {
            readRow(logging_.get(), {key});
        }
        for (const auto& key : kConfigurationKeys) {
            readRow(configuration_.get(), {key});
        }
    }

  private:
    static std::string groupAccessGroup() {
        return platform::PlatformConfig::current()->appIdentifierPrefix + "." + kIdentifier;
    }

    Database keychain_;
    Database group_;
    Database own_;
    Statement probe_;
    Statement groupName_;
    Statement configuration_;
    Statement logging_;
};

void BM_GetInstance(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(PushSDK::getInstance(kIdentifier));
    }
}
BENCHMARK(BM_GetInstance)->Unit(benchmark::kMicrosecond);

// The floor: every file already open, every statement prepared.
void BM_BareReads(benchmark::State& state) {
    BareReads reads;
    for (auto _ : state) {
        reads.readAll();
    }
}
BENCHMARK(BM_BareReads)->Unit(benchmark::kMicrosecond);

// getInstance opens the stores afresh on every call; this is the bare cost of that as well.
void BM_BareReadsOpeningTheFiles(benchmark::State& state) {
    for (auto _ : state) {
        BareReads reads;
        reads.readAll();
    }
}
BENCHMARK(BM_BareReadsOpeningTheFiles)->Unit(benchmark::kMicrosecond);

// Keeps the time per look-up of every run (and the medians of repeated runs), by CPU time and
// by wall time, for the ratios printed at the end.
class TimeKeeper : public benchmark::ConsoleReporter {
  public:
    struct Times {
        double cpu = 0;
        double wall = 0;
    };

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& run : runs) {
            if (run.run_type == Run::RT_Iteration || run.aggregate_name == "median") {
                microseconds[run.run_name.function_name] = {run.GetAdjustedCPUTime(),
                                                            run.GetAdjustedRealTime()};
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, Times> microseconds;
};

std::filesystem::path makeHome() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "orvanpush-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary home");
    }
    return pattern;
}

void printRatio(const TimeKeeper& times, const std::string& bare) {
    auto ours = times.microseconds.find("BM_GetInstance");
    auto limit = times.microseconds.find(bare);
    if (ours != times.microseconds.end() && limit != times.microseconds.end()) {
        std::cout << "getInstance / " << bare << ": " << ours->second.cpu << " us / "
                  << limit->second.cpu << " us = " << ours->second.cpu / limit->second.cpu
                  << " by CPU time, " << ours->second.wall / limit->second.wall
                  << " by wall time\n";
    }
}

}  // namespace

int main(int argc, char** argv) {
    const auto home = makeHome();
    auto config = platform::PlatformConfig::fromEnvironment();
    config.home = home;
    config.bundleIdentifier = "orvanpush.bench";
    platform::PlatformConfig::install(config);
    orvanpush::Log::neverEnable();

    PushSDK::createInstance(
        kIdentifier, kGroup, ServerParams{"https", "push.example.com", 443, "api"}, "login",
        "password", ServerParams{"https", "logs.example.com", 443, "logs"}, true, std::nullopt);
    // The process's own store holds the logging settings, as after a log server's answer.
    auto own = platform::UserDefaults::standard();
    own->set("_log_level", std::string("error"));
    own->set("_send_logs", std::string("1"));

    benchmark::Initialize(&argc, argv);
    TimeKeeper reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    printRatio(reporter, "BM_BareReads");
    printRatio(reporter, "BM_BareReadsOpeningTheFiles");
    std::filesystem::remove_all(home);
    return 0;
}
