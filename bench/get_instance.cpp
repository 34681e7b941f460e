// PushSDK::getInstance against the limit of what it has to do: the bare SQLite reads of the same
// keys from the same files (the two keychain look-ups, the logging settings of the process's own
// store and the configuration in the group's store), in the same run. On a shared machine run it
// with --benchmark_repetitions=5: the ratios then compare the medians.

#include <filesystem>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include "BenchSupport.h"
#include "orvanpush/PushSDK.h"
#include "orvanpush/logger/Log.h"
#include "orvanpush/platform/PlatformConfig.h"
#include "platform/Home.h"
#include "platform/UserDefaults.h"

namespace {

using orvanpush::bench::Owned;

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

using Database = Owned<sqlite3, sqlite3_close_v2>;
using Statement = Owned<sqlite3_stmt, sqlite3_finalize>;

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

}  // namespace

int main(int argc, char** argv) {
    orvanpush::bench::BenchHome home("orvanpush.bench");
    orvanpush::Log::neverEnable();

    PushSDK::createInstance(
        kIdentifier, kGroup, ServerParams{"https", "push.example.com", 443, "api"}, "login",
        "password", ServerParams{"https", "logs.example.com", 443, "logs"}, true, std::nullopt);
    // The process's own store holds the logging settings, as after a log server's answer.
    auto own = platform::UserDefaults::standard();
    own->set("_log_level", std::string("error"));
    own->set("_send_logs", std::string("1"));

    orvanpush::bench::TimeKeeper reporter;
    orvanpush::bench::runBenchmarks(argc, argv, reporter);

    using Better = orvanpush::bench::TimeKeeper::Better;
    reporter.printRatio("BM_GetInstance", "BM_BareReads", "getInstance",
                        "bare reads of the same keys with open files", Better::lower, 14);
    reporter.printRatio("BM_GetInstance", "BM_BareReadsOpeningTheFiles", "getInstance",
                        "bare reads opening the same files", Better::lower, 1.5);
    return 0;
}
