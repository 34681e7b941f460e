#pragma once

// Runs one disabled test of this test program in a process of its own, for what only a separate
// process shows: another environment (locale, time zone), or an exit with work in flight.
//
//   auto child = runChildTest("EndpointsTest.DISABLED_PrintQueryDate", {{"LANG", "th_TH.UTF-8"}});
//   EXPECT_EQ(child.exitCode, 0);
//   EXPECT_EQ(child.reported, "2024-03-01T12:00:00+03:00");

#include <string>
#include <utility>
#include <vector>

namespace orvanpush::testing {

struct ChildResult {
    int exitCode = -1;
    /// What the child passed to reportToParent (empty when it did not).
    std::string reported;
};

/// Runs the test `name` of this program with `environment` added to the parent's.
ChildResult runChildTest(const std::string& name,
                         const std::vector<std::pair<std::string, std::string>>& environment);

/// In a child test: hands `text` (one line) back to the parent.
void reportToParent(const std::string& text);

}  // namespace orvanpush::testing
