#pragma once

// What every benchmark program shares: a temporary home installed as the process's platform
// configuration, and a reporter that keeps each benchmark's time per iteration (the median when
// runs are repeated) so the program can print our code's ratio to its limit.

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <iomanip>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <benchmark/benchmark.h>

#include "orvanpush/platform/PlatformConfig.h"
#include "platform/DateFormatter.h"

namespace orvanpush::bench {

/// A bare C library handle released by its library's own function when it goes out of scope,
/// for the handles the baselines hold: `Owned<CURL, curl_easy_cleanup>`.
template <auto release>
struct Releaser {
    template <class Handle>
    void operator()(Handle* handle) const {
        release(handle);
    }
};
template <class Handle, auto release>
using Owned = std::unique_ptr<Handle, Releaser<release>>;

/// A fresh temporary home for the process, removed at the end.
class BenchHome {
  public:
    explicit BenchHome(const std::string& bundleIdentifier) {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "orvanpush-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot create a temporary home");
        }
        path_ = pattern;
        auto config = platform::PlatformConfig::fromEnvironment();
        config.home = path_;
        config.bundleIdentifier = bundleIdentifier;
        platform::PlatformConfig::install(config);
    }
    ~BenchHome() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    BenchHome(const BenchHome&) = delete;
    BenchHome& operator=(const BenchHome&) = delete;

    /// The home's directory.
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

/// Console output as usual, plus the time per iteration of every benchmark by name.
class TimeKeeper : public benchmark::ConsoleReporter {
  public:
    struct Times {
        double cpu = 0;
        double wall = 0;
    };

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& run : runs) {
            if (run.run_type == Run::RT_Iteration || run.aggregate_name == "median") {
                times_[run.run_name.function_name] = {run.GetAdjustedCPUTime(),
                                                      run.GetAdjustedRealTime()};
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    /// Colours the table or not.
    void setColour(bool colour) { output_options_ = colour ? OO_ColorTabular : OO_Tabular; }

    /// The times of the benchmark `name`, when it ran.
    std::optional<Times> find(const std::string& name) const {
        auto found = times_.find(name);
        return found == times_.end() ? std::nullopt : std::optional<Times>(found->second);
    }

    /// Which way a ratio should go.
    enum class Better { higher, lower };

    /// Prints, in the one form every benchmark uses, how the benchmark `ours` compares with
    /// `bare` (its limit, run in the same program):
    ///   "<what> / <limit> (target >= 0.95): 0.97 by CPU time, 0.96 by wall time"
    /// With Better::higher the ratio is a rate (bare time / our time), with Better::lower a cost
    /// (our time / bare time). Prints nothing when either benchmark did not run.
    void printRatio(const std::string& ours, const std::string& bare, const std::string& what,
                    const std::string& limit, Better better, double target) const {
        auto oursTimes = find(ours);
        auto bareTimes = find(bare);
        if (oursTimes && bareTimes) {
            printRatioLine(what, limit, better, target, *oursTimes, *bareTimes);
        }
    }

    /// The same line for times measured otherwise (whole programs, say).
    static void printRatioLine(const std::string& what, const std::string& limit, Better better,
                               double target, Times ours, Times bare) {
        auto ratio = [&](double our, double limitTime) {
            return better == Better::higher ? limitTime / our : our / limitTime;
        };
        std::cout << what << " / " << limit << " (target "
                  << (better == Better::higher ? ">=" : "<=") << " "
                  << platform::formatDouble(target) << "): " << std::fixed << std::setprecision(2)
                  << ratio(ours.cpu, bare.cpu) << " by CPU time, " << ratio(ours.wall, bare.wall)
                  << " by wall time" << std::defaultfloat << std::endl;
    }

  private:
    std::map<std::string, Times> times_;
};

/// The middle one of `values` (none: 0).
inline double median(std::vector<double> values) {
    if (values.empty()) {
        return 0;
    }
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

/// Whether the command line's --benchmark_color asks for colour; "auto" (the default) means
/// when the output is a terminal. The library only applies it to its own reporter.
inline bool colourAsked(int argc, char** argv) {
    constexpr std::string_view kFlag = "--benchmark_color=";
    std::string_view choice = "auto";
    for (int i = 1; i < argc; ++i) {
        if (std::string_view argument = argv[i]; argument.starts_with(kFlag)) {
            choice = argument.substr(kFlag.size());
        }
    }
    if (choice == "auto") {
        return ::isatty(STDOUT_FILENO) == 1;
    }
    return choice == "true" || choice == "yes" || choice == "1";
}

/// Runs the benchmarks the command line selects, reporting through `reporter`.
inline void runBenchmarks(int argc, char** argv, TimeKeeper& reporter) {
    reporter.setColour(colourAsked(argc, argv));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
}

}  // namespace orvanpush::bench
