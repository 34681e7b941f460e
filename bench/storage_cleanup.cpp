// Retention clean-up of 100,000 messages down to the 1,000 newest (a few hundred per
// transaction, so the other process gets its turn) against its limit: a bare SQL delete of the
// same rows (the messages, their sent status rows and their attributes) in one transaction,
// in the same run, each on a fresh copy of the same store.

#include <filesystem>
#include <limits>
#include <string>

#include "BenchSupport.h"
#include "orvanpush/logger/Log.h"
#include "storage/StorageMessage.h"
#include "storage_support.h"

namespace {

using namespace orvanpush;
namespace fs = std::filesystem;

constexpr int kMessages = 100000;
constexpr std::int64_t kKept = 1000;
constexpr const char* kTemplateGroup = "group.bench.cleanup.template";
constexpr const char* kGroup = "group.bench.cleanup";
constexpr const char* kBareGroup = "group.bench.cleanup.bare";

// The store of 100,000 messages, kept open: copies are written through its connection, never by
// opening (and closing) a descriptor of a database file.
bench::Database templateStore;

/// A fresh copy of the store of 100,000 messages as the store of `groupId` (whose last
/// connection has closed).
void restoreStore(const std::string& groupId) {
    const auto file =
        platform::Home::containerDirectory(groupId) / platform::MessageDatabase::fileName;
    for (const auto* suffix : {"", "-wal", "-shm"}) {
        fs::remove(file.string() + suffix);
    }
    auto copy = bench::prepare(templateStore.get(), "VACUUM INTO ?1");
    sqlite3_bind_text(copy.get(), 1, file.c_str(), -1, SQLITE_TRANSIENT);
    bench::run(copy.get());
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
}

void BM_Cleanup(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        restoreStore(kGroup);
        auto store = detail::StorageMessage::make(kGroup, AppTarget::application);
        state.ResumeTiming();
        store->cleanup(kKept, std::numeric_limits<std::int64_t>::max());
        state.PauseTiming();
        store.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_Cleanup)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_BareDelete(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        restoreStore(kBareGroup);
        auto database = bench::openBare(platform::Home::containerDirectory(kBareGroup) /
                                        platform::MessageDatabase::fileName);
        state.ResumeTiming();
        bench::execute(database.get(),
                       "BEGIN IMMEDIATE;"
                       "CREATE TEMP TABLE doomed AS SELECT pk, id FROM Message "
                       "  ORDER BY messageDate DESC, pk DESC LIMIT -1 OFFSET 1000;"
                       "DELETE FROM MessageStatus WHERE messageLink IN (SELECT pk FROM doomed) "
                       "  AND +isSentInternal = 1;"
                       "DELETE FROM Message WHERE pk IN (SELECT pk FROM doomed);"
                       "DELETE FROM MessageAttributes WHERE messageId IN (SELECT id FROM doomed);"
                       "DELETE FROM ExtraContent WHERE messageId IN (SELECT id FROM doomed);"
                       "DROP TABLE doomed;"
                       "COMMIT;");
        state.PauseTiming();
        database.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_BareDelete)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    bench::BenchHome home("orvanpush.bench");
    Log::neverEnable();
    templateStore = bench::openBare(bench::storeOfManyMessages(kTemplateGroup, kMessages));

    bench::TimeKeeper reporter;
    bench::runBenchmarks(argc, argv, reporter);
    reporter.printRatio("BM_Cleanup", "BM_BareDelete", "clean-up of 100,000 messages to 1,000",
                        "bare SQL delete of the same rows", bench::TimeKeeper::Better::lower, 1.2);
    return 0;
}
