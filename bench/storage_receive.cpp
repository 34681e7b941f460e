// The receive path of the storage facade (messageReceived with custom data: the existence
// check, the message, its attributes and its status row in one transaction, answered on the
// main queue) against its limit: bare SQLite statements writing the same rows, one
// transaction per message, in the same run. Rates are messages per second. On a shared
// machine run it with --benchmark_repetitions=5: the ratio then compares the medians.

#include <future>
#include <string>

#include "BenchSupport.h"
#include "orvanpush/logger/Log.h"
#include "storage/StorageUtil.h"
#include "storage_support.h"
#include "utils/SettingsUtils.h"

namespace {

using namespace orvanpush;

constexpr const char* kGroup = "group.bench.receive";
constexpr const char* kBareGroup = "group.bench.receive.bare";

const Json kCustomData{{"classifierId", "12"},
                       {"classifier", "news"},
                       {"isImportant", "1"},
                       {"sentDate", "2023-11-14T22:13:20"},
                       {"content-available", "false"}};

void BM_MessageReceived(benchmark::State& state) {
    auto settings = std::make_shared<detail::SettingsUtils>(
        platform::UserDefaults::suite("bench.receive"), detail::SettingsUtils::SettingReceivers{});
    settings->set(detail::Setting::SharedAppGroup, kGroup);
    detail::StorageUtil storage("bench", settings);
    static int next = 0;
    for (auto _ : state) {
        std::promise<void> answered;
        storage.messageReceived(
            "m" + std::to_string(next++), kCustomData, "Title", std::nullopt, "Body",
            OrvanPushApiStatus::delivered, "push",
            [&](const std::string&, const std::optional<TextError>&) { answered.set_value(); });
        answered.get_future().wait();
    }
    state.SetItemsProcessed(state.iterations());
}
// The work runs on the main queue: CPU time is the whole process's.
BENCHMARK(BM_MessageReceived)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();

// The same rows, written by statements prepared once: the look-ups of the status and channel
// rows, then the attributes, the message and its history row.
class BareReceipt {
  public:
    BareReceipt()
        : database_(bench::openBare(bench::storeOf(kBareGroup))),
          begin_(bench::prepare(database_.get(), "BEGIN IMMEDIATE")),
          commit_(bench::prepare(database_.get(), "COMMIT")),
          exists_(bench::prepare(database_.get(),
                                 "SELECT EXISTS (SELECT 1 FROM Message WHERE id = ?1)")),
          status_(bench::prepare(database_.get(), "SELECT pk FROM Status WHERE name = ?1")),
          channel_(bench::prepare(database_.get(), "SELECT pk FROM Channel WHERE name = ?1")),
          attributes_(bench::prepare(database_.get(),
                                     "INSERT INTO MessageAttributes (messageId, classifierdId, "
                                     "classifierName, isImportant, messageDate) "
                                     "VALUES (?1, 12, 'news', 1, 1700000000000000000)")),
          message_(bench::prepare(
              database_.get(),
              "INSERT INTO Message (id, contentAvailable, body, title, messageDate, statusLink, "
              "statusDateInternal, statusNameInternal, channelNameInternal, channelLink, "
              "messageAttributesLink) VALUES (?1, 0, 'Body', 'Title', ?2, ?3, ?2, 'Delivered', "
              "'push', ?4, ?5)")),
          history_(bench::prepare(
              database_.get(),
              "INSERT INTO MessageStatus (isSentInternal, statusDateInternal, statusNameInternal, "
              "messageId, messageLink, statusLink) VALUES (0, ?2, 'Delivered', ?1, ?3, ?4)")) {
        bench::execute(database_.get(),
                       "INSERT OR IGNORE INTO Status (name) VALUES ('Delivered');"
                       "INSERT OR IGNORE INTO Channel (name) VALUES ('push');");
    }

    void receive(const std::string& id, sqlite3_int64 now) {
        bench::run(begin_.get());
        bindId(exists_.get(), id);
        sqlite3_step(exists_.get());
        benchmark::DoNotOptimize(sqlite3_column_int(exists_.get(), 0));
        sqlite3_reset(exists_.get());
        const auto status = keyOf(status_.get(), "Delivered");
        const auto channel = keyOf(channel_.get(), "push");
        bindId(attributes_.get(), id);
        bench::run(attributes_.get());
        const auto attributes = sqlite3_last_insert_rowid(database_.get());
        bindId(message_.get(), id);
        sqlite3_bind_int64(message_.get(), 2, now);
        sqlite3_bind_int64(message_.get(), 3, status);
        sqlite3_bind_int64(message_.get(), 4, channel);
        sqlite3_bind_int64(message_.get(), 5, attributes);
        bench::run(message_.get());
        bindId(history_.get(), id);
        sqlite3_bind_int64(history_.get(), 2, now);
        sqlite3_bind_int64(history_.get(), 3, sqlite3_last_insert_rowid(database_.get()));
        sqlite3_bind_int64(history_.get(), 4, status);
        bench::run(history_.get());
        bench::run(commit_.get());
    }

  private:
    static void bindId(sqlite3_stmt* statement, const std::string& id) {
        sqlite3_bind_text(statement, 1, id.data(), static_cast<int>(id.size()), SQLITE_STATIC);
    }

    static sqlite3_int64 keyOf(sqlite3_stmt* statement, const char* name) {
        sqlite3_bind_text(statement, 1, name, -1, SQLITE_STATIC);
        sqlite3_step(statement);
        const auto key = sqlite3_column_int64(statement, 0);
        sqlite3_reset(statement);
        return key;
    }

    bench::Database database_;
    bench::Statement begin_;
    bench::Statement commit_;
    bench::Statement exists_;
    bench::Statement status_;
    bench::Statement channel_;
    bench::Statement attributes_;
    bench::Statement message_;
    bench::Statement history_;
};

void BM_BareReceipt(benchmark::State& state) {
    BareReceipt receipt;
    static int next = 0;
    for (auto _ : state) {
        receipt.receive("m" + std::to_string(next++),
                        std::chrono::duration_cast<std::chrono::nanoseconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BareReceipt)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();

}  // namespace

int main(int argc, char** argv) {
    bench::BenchHome home("orvanpush.bench");
    Log::neverEnable();
    bench::TimeKeeper reporter;
    bench::runBenchmarks(argc, argv, reporter);
    reporter.printRatio("BM_MessageReceived", "BM_BareReceipt", "messageReceived (messages/s)",
                        "bare statements writing the same rows", bench::TimeKeeper::Better::higher,
                        0.5);
    return 0;
}
