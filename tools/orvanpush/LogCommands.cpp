#include "LogCommands.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "CommandSupport.h"
#include "Remedies.h"
#include "Validators.h"
#include "orvanpush/PushSDK.h"

namespace orvanpush::cli {
namespace {

using Outcomes = std::vector<LogUploadOutcome>;

Json outcomeObject(const LogUploadOutcome& outcome) {
    Json object{{"file", outcome.file}, {"sent", outcome.sent}};
    if (outcome.description) {
        object["description"] = *outcome.description;
    }
    return object;
}

std::string outcomeLine(const LogUploadOutcome& outcome) {
    if (outcome.sent) {
        return "sent: " + outcome.file;
    }
    return "not sent: " + outcome.file + ": " + outcome.description.value_or("no description");
}

// What went wrong with the files not sent, and what to do: the first refusal stands for all.
Json failureOf(const Outcomes& outcomes, std::size_t unsent, const Situation& situation) {
    const auto first = std::find_if(outcomes.begin(), outcomes.end(),
                                    [](const LogUploadOutcome& outcome) { return !outcome.sent; });
    const auto why = first->description.value_or("no description");
    const auto count = std::to_string(unsent) + " of " + std::to_string(outcomes.size());
    if (why == LogUploadOutcome::noLogServer) {
        const auto id = situation.instanceId.value_or("ID");
        return {{"error", "noLogServer"},
                {"message", count +
                                " log files not sent: no log server is configured for "
                                "instance '" +
                                id + "': run " + initCommandFor(id, " --log-server URL")}};
    }
    return {{"error", "server"},
            {"message", count + " log files not sent (" + why +
                            "): fix what it names and run `orvanpush send-logs` again"}};
}

int report(const Outcomes& outcomes, const Output& out) {
    Json files = Json::array();
    std::vector<std::string> lines;
    std::size_t unsent = 0;
    for (const auto& outcome : outcomes) {
        files.push_back(outcomeObject(outcome));
        lines.push_back(outcomeLine(outcome));
        unsent += outcome.sent ? 0 : 1;
    }
    if (outcomes.empty()) {
        lines.emplace_back("No log files were sent (none of today, or sending is switched off)");
    }
    Json result{{"result", unsent == 0 ? "success" : "error"}};
    if (unsent > 0) {
        result["errorDescription"] = std::to_string(unsent) + " of " +
                                     std::to_string(outcomes.size()) + " log files not sent";
        result.update(failureOf(outcomes, unsent, out.situation()));
    }
    result["files"] = std::move(files);
    out.result(result, lines);
    return unsent == 0 ? kExitSuccess : kExitError;
}

int runSendLogs(const std::string& id, const CliContext& context) {
    const auto sdk = PushSDK::getInstance(id);
    Awaited<Outcomes> answered;
    sdk->sendLogs(answered.completion());
    const auto outcomes = answered.wait(context.timeout());
    return outcomes ? report(*outcomes, context.out) : completionTimedOut(context.out);
}

}  // namespace

void addLogCommands(CLI::App& app, CliContext& context) {
    auto id = std::make_shared<std::string>();
    auto* sendLogs = app.add_subcommand(
        "send-logs", "Upload today's log files to the log server and show each outcome");
    sendLogs->add_option("--id", *id, "Instance identifier")->required()->check(instanceName());
    sendLogs->callback(
        [id, &context] { context.action = [id, &context] { return runSendLogs(*id, context); }; });
}

}  // namespace orvanpush::cli
