#pragma once

// Some state lives once per process (the log channels, the cached logging settings), so tests
// of it run in a new process of this test program that shares this program's home:
//
//   TEST(Settings, DISABLED_ChildReads) {
//       if (!enterFreshProcess()) GTEST_SKIP();
//       ...
//   }
//   EXPECT_TRUE(runInFreshProcess("Settings.DISABLED_ChildReads", {{"LEVEL", "trace"}}).passed());

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace orvanpush::testing {

struct FreshProcessResult {
    int exitCode = -1;   ///< 0 when the child's test passed
    std::string output;  ///< what the child wrote to standard output

    /// True when the child ran exactly one test and it passed.
    bool passed() const;
};

/// Runs the single test `testName` of this program in a new process, with `environment` added
/// to this process's environment, and waits for it.
FreshProcessResult runInFreshProcess(
    const std::string& testName,
    const std::vector<std::pair<std::string, std::string>>& environment = {});

/// In a test started by `runInFreshProcess`: makes the parent's home this process's home (call
/// before any library use) and returns true. Returns false in an ordinary run.
bool enterFreshProcess();

}  // namespace orvanpush::testing
