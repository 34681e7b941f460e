// Lines per second that the SDK log files take through LogManager::saveLogRecord, against the
// physical limit of such a file: a bare loop that formats the same line with a fresh timestamp
// and writes and flushes it per line with stdio, in the same directory. On a shared machine run
// it with --benchmark_repetitions=5: the ratio then compares the medians.

#include <time.h>

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>

#include <benchmark/benchmark.h>

#include "BenchSupport.h"
#include "platform/ProcessInfo.h"
#include "utils/logger/log_manager/LogManager.h"
#include "utils/logger/log_manager/LogSettings.h"
#include "utils/logger/log_manager/SdkLog.h"

namespace {

using orvanpush::LogEntry;
using orvanpush::LoggerModule;
using orvanpush::LogSeverity;
using orvanpush::detail::LogManager;

constexpr const char* kMessage = "OSStatus: 0";
constexpr const char* kFilePath = "/src/security/KeyChainUtil.cpp";
constexpr int kLine = 42;

void BM_SaveLogRecord(benchmark::State& state) {
    for (auto _ : state) {
        LogManager::saveLogRecord(LogEntry(
            LogEntry::Message{kMessage}, LogSeverity::info, std::nullopt, LoggerModule::crypto,
            kFilePath, kLine, "KeyChain::load", orvanpush::platform::ProcessInfo::threadNumber(),
            std::chrono::system_clock::now()));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SaveLogRecord);

// The whole call-site path: trace marker (no console here), entry, function-name cleanup, file.
void BM_SdkLogMessage(benchmark::State& state) {
    for (auto _ : state) {
        orvanpush::detail::SdkLog::message(LogSeverity::info, LoggerModule::crypto, kMessage);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SdkLogMessage);

void BM_BareFormattedWriteAndFlush(benchmark::State& state) {
    auto path = *LogManager::logDirectory() / "bare.log";
    std::FILE* file = std::fopen(path.c_str(), "a");
    const auto thread = orvanpush::platform::ProcessInfo::threadNumber();
    for (auto _ : state) {
        time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
        tm local{};
        localtime_r(&now, &local);
        char timestamp[32];
        strftime(timestamp, sizeof timestamp, "%Y-%m-%d %H:%M:%S%z", &local);
        char line[512];
        int length = std::snprintf(line, sizeof line, "%s;Info;%08" PRIX64 ";;Crypto;%s [%s:%d]\n",
                                   timestamp, thread, kMessage, "KeyChainUtil.cpp", kLine);
        std::fwrite(line, 1, static_cast<std::size_t>(length), file);
        std::fflush(file);
    }
    std::fclose(file);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BareFormattedWriteAndFlush);

}  // namespace

int main(int argc, char** argv) {
    orvanpush::bench::BenchHome home("orvanpush.bench");
    orvanpush::detail::LogSettings::setLogLevel("trace");
    orvanpush::detail::LogSettings::setSendLogs("1");
    LogManager::logRecorder()->createLogDirectory();

    orvanpush::bench::TimeKeeper reporter;
    orvanpush::bench::runBenchmarks(argc, argv, reporter);

    reporter.printRatio("BM_SaveLogRecord", "BM_BareFormattedWriteAndFlush",
                        "saveLogRecord lines per second", "bare fwrite+fflush",
                        orvanpush::bench::TimeKeeper::Better::higher, 0.95);
    return 0;
}
