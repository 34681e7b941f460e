#include "DemoRunner.h"

#include <exception>

namespace orvanpush::cli {

DemoOutcome DemoRunner::run(const std::vector<DemoStep>& steps) const {
    DemoOutcome outcome;
    outcome.total = steps.size();
    for (const auto& step : steps) {
        const auto position = std::to_string(outcome.passed + 1) + "/" +
                              std::to_string(steps.size()) + " " + step.name + " " + step.api +
                              ": ";
        try {
            beforeStep_(step);
            const auto shown = step.run();
            out_.note("[ok] " + position + shown);
            ++outcome.passed;
        } catch (const std::exception& error) {
            std::string line = "[FAILED] " + position + error.what();
            if (line.size() > kWidth) {
                line = line.substr(0, kWidth - 3) + "...";
            }
            out_.note(line);
            outcome.failedStep = step.name;
            outcome.why = error.what();
            break;
        }
    }
    return outcome;
}

}  // namespace orvanpush::cli
