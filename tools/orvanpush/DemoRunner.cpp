#include "DemoRunner.h"

#include <exception>

namespace orvanpush::cli {

DemoOutcome DemoRunner::run(const std::vector<DemoStep>& steps) const {
    DemoOutcome outcome;
    outcome.total = steps.size();
    for (const auto& step : steps) {
        const auto position = std::to_string(outcome.passed + 1) + "/" +
                              std::to_string(steps.size()) + " " + step.name + ": ";
        try {
            beforeStep_(step);
            const auto shown = step.run();
            out_.note("[ok] " + position + shown);
            ++outcome.passed;
        } catch (const std::exception& error) {
            out_.note("[FAILED] " + position + error.what());
            outcome.failedStep = step.name;
            outcome.why = error.what();
            break;
        }
    }
    return outcome;
}

}  // namespace orvanpush::cli
