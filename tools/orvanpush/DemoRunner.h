#pragma once

// Runs the demo's steps in order, one readable line each, and stops at the first that fails.
//
//   DemoRunner runner(out);
//   auto outcome = runner.run({{"subscribe", [&] { return subscribe(); }}, ...});

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Cli.h"

namespace orvanpush::cli {

/// A step: its name (as ORVANPUSH_DEMO_REFUSE takes it), the API calls it exercises, and its
/// work, which returns the outcome to print or throws an exception whose text says why the
/// step failed.
struct DemoStep {
    std::string name;
    std::string api;
    std::function<std::string()> run;
};

struct DemoOutcome {
    std::size_t passed = 0;
    std::size_t total = 0;
    /// The step that failed and why; absent when every step passed.
    std::optional<std::string> failedStep;
    std::string why;
};

class DemoRunner {
  public:
    /// `beforeStep` runs ahead of each step (and may throw, failing it).
    DemoRunner(const Output& out, std::function<void(const DemoStep&)> beforeStep)
        : out_(out), beforeStep_(std::move(beforeStep)) {}

    /// The widest line printed; a longer failure is cut (its whole text is in the summary).
    static constexpr std::size_t kWidth = 100;

    /// Runs `steps` until one fails, printing "[ok] N/M name api: outcome" or "[FAILED] N/M
    /// name api: why" for each.
    DemoOutcome run(const std::vector<DemoStep>& steps) const;

  private:
    const Output& out_;
    std::function<void(const DemoStep&)> beforeStep_;
};

}  // namespace orvanpush::cli
