// isMessageExists on a store of 100,000 messages against its limit: a bare indexed look-up of
// the same ids on the same file, in the same run. On a shared machine run it with
// --benchmark_repetitions=5: the ratio then compares the medians.

#include <string>
#include <vector>

#include "BenchSupport.h"
#include "orvanpush/logger/Log.h"
#include "storage/StorageMessage.h"
#include "storage_support.h"

namespace {

using namespace orvanpush;

constexpr int kMessages = 100000;
constexpr const char* kGroup = "group.bench.exists";

// Ids present and absent, in an order that walks the whole index.
std::vector<std::string> lookedUpIds() {
    std::vector<std::string> ids;
    for (int i = 0; i < 1000; ++i) {
        ids.push_back("m" + std::to_string((i * 7919) % kMessages));
        ids.push_back("absent" + std::to_string(i));
    }
    return ids;
}

void BM_IsMessageExists(benchmark::State& state) {
    auto store = detail::StorageMessage::make(kGroup, AppTarget::extension);
    const auto ids = lookedUpIds();
    std::size_t next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(store->isMessageExists(ids[next]));
        next = (next + 1) % ids.size();
    }
}
BENCHMARK(BM_IsMessageExists);

void BM_BareIndexedLookUp(benchmark::State& state) {
    auto database = bench::openBare(platform::Home::containerDirectory(kGroup) /
                                    platform::MessageDatabase::fileName);
    auto exists =
        bench::prepare(database.get(), "SELECT EXISTS (SELECT 1 FROM Message WHERE id = ?1)");
    const auto ids = lookedUpIds();
    std::size_t next = 0;
    for (auto _ : state) {
        sqlite3_bind_text(exists.get(), 1, ids[next].data(), static_cast<int>(ids[next].size()),
                          SQLITE_STATIC);
        sqlite3_step(exists.get());
        benchmark::DoNotOptimize(sqlite3_column_int(exists.get(), 0));
        sqlite3_reset(exists.get());
        next = (next + 1) % ids.size();
    }
}
BENCHMARK(BM_BareIndexedLookUp);

}  // namespace

int main(int argc, char** argv) {
    bench::BenchHome home("orvanpush.bench");
    Log::neverEnable();
    bench::storeOfManyMessages(kGroup, kMessages);

    bench::TimeKeeper reporter;
    bench::runBenchmarks(argc, argv, reporter);
    reporter.printRatio("BM_IsMessageExists", "BM_BareIndexedLookUp",
                        "isMessageExists on 100,000 messages", "bare indexed look-up",
                        bench::TimeKeeper::Better::higher, 0.8);
    return 0;
}
