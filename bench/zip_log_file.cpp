// Bytes per second that zipItem packs a 64 MiB log file at, against the limit of that work in
// the same run: a bare loop that reads the same file in the same 16 KiB pieces through stdio,
// runs zlib's crc32 and raw deflate (default level, window bits -15) over them and writes the
// output through stdio. On a shared machine run it with --benchmark_repetitions=5: the ratio
// then compares the medians.
//
// Then the whole command, `orvanpush zip`, against `zip -6` on the same file: each program run
// afresh, interleaved, 7 times; the ratio compares the medians of the programs' own CPU times
// (user and system) and of their wall times.

#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include <benchmark/benchmark.h>

#include "BenchSupport.h"
#include "child_process.h"
#include "orvanpush/zip/ZipItem.h"

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kFileSize = 64u << 20;
constexpr std::size_t kPiece = 16384;

fs::path gSource;

// Lines shaped like the SDK's own log files: timestamps, thread numbers, modules and messages
// that vary as they do in a real day's file.
void writeLogFile(const fs::path& path, std::size_t size) {
    static const char* const kMessages[] = {
        "Message received: id %u",
        "updatePushNotificationStatus(messageId:status:) status Delivered for %u",
        "OSStatus: %u",
        "Request to https://push.example.com:8443/api/notifications finished with code 200 in %u "
        "ms",
        "saveMessage(message:) stored %u rows",
        "Current log level: info, send logs: 1, entries %u",
    };
    static const char* const kModules[] = {"Sdk", "Storage", "Crypto"};
    std::mt19937 random(7);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    std::size_t written = 0;
    for (unsigned second = 0; written < size; ++second) {
        char message[160];
        std::snprintf(message, sizeof message, kMessages[random() % 6], random() % 100000);
        char line[320];
        const int length = std::snprintf(
            line, sizeof line,
            "2024-03-01 %02u:%02u:%02u.%03u+0100;Info;%08X;;%s;%s [PushSDK.cpp:%u]\n",
            second / 3600 % 24, second / 60 % 60, second % 60,
            static_cast<unsigned>(random() % 1000), static_cast<unsigned>(0x1000 + random() % 8),
            kModules[random() % 3], message, static_cast<unsigned>(random() % 900 + 10));
        written += std::fwrite(line, 1, static_cast<std::size_t>(length), file);
    }
    std::fclose(file);
    fs::resize_file(path, size);
}

void BM_ZipItem(benchmark::State& state) {
    const fs::path destination = gSource.parent_path() / "ours.zip";
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove(destination);
        state.ResumeTiming();
        orvanpush::zip::zipItem(gSource, destination, true,
                                orvanpush::zip::CompressionMethod::deflate);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileSize));
}
BENCHMARK(BM_ZipItem)->Unit(benchmark::kMillisecond)->MinTime(3);

void BM_BareDeflateAndCrc32(benchmark::State& state) {
    const fs::path destination = gSource.parent_path() / "bare.deflate";
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove(destination);
        state.ResumeTiming();
        std::FILE* in = std::fopen(gSource.c_str(), "rb");
        std::FILE* out = std::fopen(destination.c_str(), "wb");
        std::setvbuf(in, nullptr, _IOFBF, kPiece);
        std::setvbuf(out, nullptr, _IOFBF, kPiece);
        z_stream stream{};
        deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
        unsigned char input[kPiece];
        unsigned char output[kPiece];
        uLong crc = crc32(0, nullptr, 0);
        int flush = Z_NO_FLUSH;
        do {
            const std::size_t got = std::fread(input, 1, kPiece, in);
            crc = crc32(crc, input, static_cast<uInt>(got));
            flush = got < kPiece ? Z_FINISH : Z_NO_FLUSH;
            stream.next_in = input;
            stream.avail_in = static_cast<uInt>(got);
            do {
                stream.next_out = output;
                stream.avail_out = kPiece;
                deflate(&stream, flush);
                std::fwrite(output, 1, kPiece - stream.avail_out, out);
            } while (stream.avail_out == 0);
        } while (flush != Z_FINISH);
        deflateEnd(&stream);
        std::fclose(in);
        std::fclose(out);
        benchmark::DoNotOptimize(crc);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileSize));
}
BENCHMARK(BM_BareDeflateAndCrc32)->Unit(benchmark::kMillisecond)->MinTime(3);

// The commands' rates: the median times of `orvanpush zip` and of `zip -6` packing the file.
void compareCommands(orvanpush::bench::TimeKeeper::Better better) {
    constexpr int kRuns = 7;
    const fs::path ours = gSource.parent_path() / "command.zip";
    const fs::path theirs = gSource.parent_path() / "zip6.zip";
    std::vector<double> oursCpu, oursWall, theirsCpu, theirsWall;
    for (int i = 0; i < kRuns; ++i) {
        fs::remove(ours);
        const auto packed = orvanpush::bench::runChild({ORVANPUSH_CLI, "zip", gSource, ours});
        oursCpu.push_back(packed.cpuSeconds);
        oursWall.push_back(packed.wallSeconds);
        fs::remove(theirs);
        const auto zipped =
            orvanpush::bench::runChild({ZIP_PROGRAM, "-q", "-6", "-j", theirs, gSource});
        theirsCpu.push_back(zipped.cpuSeconds);
        theirsWall.push_back(zipped.wallSeconds);
    }
    using orvanpush::bench::median;
    orvanpush::bench::TimeKeeper::printRatioLine("orvanpush zip of a 64 MiB log file", "zip -6",
                                                 better, 1.0, {median(oursCpu), median(oursWall)},
                                                 {median(theirsCpu), median(theirsWall)});
}

}  // namespace

int main(int argc, char** argv) {
    orvanpush::bench::BenchHome home("orvanpush.bench");
    const fs::path directory = orvanpush::platform::PlatformConfig::current()->home;
    gSource = directory / "day.log";
    writeLogFile(gSource, kFileSize);

    orvanpush::bench::TimeKeeper reporter;
    orvanpush::bench::runBenchmarks(argc, argv, reporter);
    reporter.printRatio("BM_ZipItem", "BM_BareDeflateAndCrc32", "zipItem of a 64 MiB log file",
                        "bare zlib deflate+crc32", orvanpush::bench::TimeKeeper::Better::higher,
                        0.95);
    compareCommands(orvanpush::bench::TimeKeeper::Better::higher);
    return 0;
}
