#pragma once

// The outcomes of one request's checks, written to its record as they are made; the first
// failure decides the answer.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "Exchange.h"
#include "Refusal.h"
#include "RequestRecord.h"

namespace orvanpush::server {

class Verdict {
  public:
    /// Builds the answer to a refused request from the failed check's refusal and problem.
    using Answer = std::function<Reply(const Refusal& refusal, const std::string& problem)>;

    Verdict(RequestRecord& record, Answer answer) : record_(record), answer_(std::move(answer)) {}

    /// Records a check that failed when `problem` is not empty.
    void note(std::string_view check, std::string problem, const Refusal& refusal) {
        if (problem.empty()) {
            pass(check);
        } else {
            fail(check, "failed", std::move(problem), refusal);
        }
    }
    /// Records a check that did not fail ("passed", or "verified", "absent", "skipped").
    void pass(std::string_view check, std::string_view outcome = "passed") {
        record_.check(check, outcome);
    }
    void fail(std::string_view check, std::string_view outcome, std::string problem,
              const Refusal& refusal) {
        if (!refusal_) {
            refusal_ = answer_(refusal, problem);
        }
        record_.check(check, outcome, std::move(problem));
    }

    /// The answer of the first failed check, if any failed.
    const std::optional<Reply>& refusal() const { return refusal_; }

  private:
    RequestRecord& record_;
    Answer answer_;
    std::optional<Reply> refusal_;
};

}  // namespace orvanpush::server
