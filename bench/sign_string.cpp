// Signatures per second through signString, against the honest limit of what it has to do:
// keeping no key material in memory between calls, it reads the private key from the keychain
// file, decodes it and signs. The bare loop reads the same row with a prepared SQLite statement,
// decodes the DER and signs with EVP, in the same run. On a shared machine run it with
// --benchmark_repetitions=5: the ratio then compares the medians.

#include <memory>
#include <stdexcept>
#include <string>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include "BenchSupport.h"
#include "bare_baselines.h"
#include "orvanpush/logger/Log.h"
#include "platform/Home.h"
#include "platform/SecKey.h"
#include "security/Crypto.h"
#include "security/KeyChainUtil.h"

namespace {

using orvanpush::bench::Owned;

namespace platform = orvanpush::platform;
using orvanpush::detail::signString;

constexpr const char* kIdentifier = "bench";
const std::string kPrivateTag = std::string(kIdentifier) + ".private";
// A typical signed text: address, request address.
const std::string kText =
    "6F1D2C3B-0A9E-4D8C-B7A6-958473625140.client-42"
    "client-42";

void BM_SignString(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            signString(kIdentifier, kPrivateTag,
                       platform::kSecKeyAlgorithmRSASignatureMessagePKCS1v15SHA1, kText));
    }
}
BENCHMARK(BM_SignString)->Unit(benchmark::kMicrosecond);

// Read the row, decode the key, sign, encode: nothing kept between iterations but the open file
// and the prepared statement.
void BM_BareSqliteDerEvp(benchmark::State& state) {
    sqlite3* rawDatabase = nullptr;
    sqlite3_open_v2(platform::Home::keychainFile().c_str(), &rawDatabase, SQLITE_OPEN_READONLY,
                    nullptr);
    Owned<sqlite3, sqlite3_close_v2> database(rawDatabase);
    sqlite3_stmt* rawStatement = nullptr;
    if (sqlite3_prepare_v3(database.get(),
                           "SELECT value FROM items WHERE class = 'keys' AND application_tag = ?1"
                           " AND access_group = ?2 ORDER BY id DESC LIMIT 1",
                           -1, SQLITE_PREPARE_PERSISTENT, &rawStatement, nullptr) != SQLITE_OK) {
        throw std::runtime_error("cannot prepare the key read");
    }
    Owned<sqlite3_stmt, sqlite3_finalize> statement(rawStatement);
    const std::string group = orvanpush::detail::KeyChain::getKeychainGroup(kIdentifier);
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            orvanpush::bench::bareSignature(statement.get(), kPrivateTag, group, kText));
    }
}
BENCHMARK(BM_BareSqliteDerEvp)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    orvanpush::bench::BenchHome home("orvanpush.bench");
    orvanpush::Log::neverEnable();
    orvanpush::detail::generateKeyPair(kIdentifier, std::string(kIdentifier) + ".public",
                                       kPrivateTag, platform::kSecAttrKeyTypeRSA, 1024);

    orvanpush::bench::TimeKeeper reporter;
    orvanpush::bench::runBenchmarks(argc, argv, reporter);
    reporter.printRatio("BM_SignString", "BM_BareSqliteDerEvp", "signString",
                        "bare SQLite read, DER decode and EVP signature",
                        orvanpush::bench::TimeKeeper::Better::higher, 0.8);
    return 0;
}
