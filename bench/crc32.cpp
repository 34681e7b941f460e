// Bytes per second of the library's CRC-32 over 64 MiB in memory, against zlib's crc32() over
// the same bytes in the same run.

#include <zlib.h>

#include <random>

#include <benchmark/benchmark.h>

#include "BenchSupport.h"
#include "orvanpush/Types.h"
#include "orvanpush/zip/Crc32.h"

namespace {

constexpr std::size_t kSize = 64u << 20;

const orvanpush::Bytes& data() {
    static const orvanpush::Bytes bytes = [] {
        std::mt19937 random(3);
        orvanpush::Bytes result(kSize);
        for (auto& byte : result) {
            byte = static_cast<std::uint8_t>(random());
        }
        return result;
    }();
    return bytes;
}

void BM_Crc32(benchmark::State& state) {
    const auto& bytes = data();
    for (auto _ : state) {
        benchmark::DoNotOptimize(orvanpush::zip::crc32(bytes));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kSize));
}
BENCHMARK(BM_Crc32)->Unit(benchmark::kMillisecond);

void BM_ZlibCrc32(benchmark::State& state) {
    const auto& bytes = data();
    for (auto _ : state) {
        benchmark::DoNotOptimize(::crc32(0, bytes.data(), static_cast<uInt>(bytes.size())));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kSize));
}
BENCHMARK(BM_ZlibCrc32)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    data();
    orvanpush::bench::TimeKeeper reporter;
    orvanpush::bench::runBenchmarks(argc, argv, reporter);
    reporter.printRatio("BM_Crc32", "BM_ZlibCrc32", "crc32(checksum:) over 64 MiB", "zlib crc32()",
                        orvanpush::bench::TimeKeeper::Better::higher, 0.9);
    return 0;
}
