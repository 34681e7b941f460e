// Peak memory while zipItem packs a 1 GiB file: the process's peak resident set is reset to its
// current size just before the zip (Linux /proc/self/clear_refs), and what the zip adds to it
// is reported. The target is at most 16 MiB over that baseline, whatever the file's size: data
// moves through the archive in pieces, never as a whole.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <string>

#include <benchmark/benchmark.h>

#include "BenchSupport.h"
#include "orvanpush/Types.h"
#include "orvanpush/zip/ZipItem.h"

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kFileSize = 1u << 30;

fs::path gSource;

// A mebibyte of varied text and one of noise, repeated: deflate sees both kinds of block.
void writeLargeFile(const fs::path& path) {
    std::mt19937 random(11);
    orvanpush::Bytes text;
    while (text.size() < (1u << 20)) {
        const std::string line = "2024-03-01 12:00:00.000+0100;Info;00001A2B;;Sdk;Message " +
                                 std::to_string(random() % 1000000) + " received\n";
        text.insert(text.end(), line.begin(), line.end());
    }
    text.resize(1u << 20);
    orvanpush::Bytes noise(1u << 20);
    for (auto& byte : noise) {
        byte = static_cast<std::uint8_t>(random());
    }
    std::ofstream out(path, std::ios::binary);
    for (std::size_t mebibyte = 0; mebibyte < kFileSize >> 20; ++mebibyte) {
        const auto& piece = mebibyte % 8 == 5 ? noise : text;
        out.write(reinterpret_cast<const char*>(piece.data()),
                  static_cast<std::streamsize>(piece.size()));
    }
}

// A "Vm..." figure of /proc/self/status in kiB.
long statusKiB(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field + ":", 0) == 0) {
            return std::stol(line.substr(field.size() + 1));
        }
    }
    return -1;
}

bool resetPeak() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

double gPeakOverBaselineMiB = -1;

void BM_ZipItemPeakMemory(benchmark::State& state) {
    const fs::path destination = gSource.parent_path() / "large.zip";
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove(destination);
        const bool reset = resetPeak();
        const long baseline = reset ? statusKiB("VmRSS") : statusKiB("VmHWM");
        state.ResumeTiming();
        orvanpush::zip::zipItem(gSource, destination, true,
                                orvanpush::zip::CompressionMethod::deflate);
        gPeakOverBaselineMiB = static_cast<double>(statusKiB("VmHWM") - baseline) / 1024;
    }
    state.counters["peak_over_baseline_MiB"] = gPeakOverBaselineMiB;
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileSize));
}
BENCHMARK(BM_ZipItemPeakMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    orvanpush::bench::BenchHome home("orvanpush.bench");
    gSource = orvanpush::platform::PlatformConfig::current()->home / "large.log";
    writeLargeFile(gSource);

    orvanpush::bench::TimeKeeper reporter;
    orvanpush::bench::runBenchmarks(argc, argv, reporter);
    if (gPeakOverBaselineMiB >= 0) {
        std::printf(
            "zipItem peak memory over the process's baseline, 1 GiB file "
            "(target <= 16 MiB): %.2f MiB\n",
            gPeakOverBaselineMiB);
    }
    return 0;
}
