#include "DemoWalkThrough.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iomanip>
#include <sstream>
#include <stdexcept>

#include "DemoSupport.h"
#include "platform/FileSystem.h"

namespace orvanpush::cli {
namespace {

using namespace demo;

constexpr const char* kRequestLog = "server-requests.jsonl";

// The step that sends nothing to the server, so nothing there can refuse it.
constexpr const char* kLocalStep = "instance";

std::string seconds(std::chrono::steady_clock::duration elapsed) {
    std::ostringstream text;
    text << std::fixed << std::setprecision(1) << std::chrono::duration<double>(elapsed).count()
         << " s";
    return text.str();
}

// Every request answered with a refusal: the log server's form for log uploads, the push
// server's error envelope for the rest.
Json refusal(const std::string& step) {
    const auto why =
        std::string("refused on purpose (") + DemoWalkThrough::kRefuseVariable + "=" + step + ")";
    constexpr int kEveryRequest = 1000000;
    return {{"faults",
             {{{"path", "/logs/saveLogFile"},
               {"kind", "answer"},
               {"status", 403},
               {"body", {{"status", "error"}, {"description", why}}},
               {"count", kEveryRequest}},
              {{"path", "*"},
               {"kind", "error"},
               {"status", 403},
               {"errorCode", 403},
               {"errorDescription", why},
               {"count", kEveryRequest}}}}};
}

// What the server made of the demo's requests.
struct RequestTally {
    std::size_t accepted = 0;
    std::size_t signatures = 0;
    std::size_t faulted = 0;
    std::vector<std::string> problems;
};

RequestTally tally(const Json& requests) {
    RequestTally counts;
    for (const auto& record : requests) {
        if (record.at("outcome") == "faulted") {
            ++counts.faulted;
        } else if (record.at("problems").empty()) {
            ++counts.accepted;
            counts.signatures += record.at("checks").value("signature", "") == "verified" ? 1 : 0;
        } else {
            counts.problems.push_back(record.at("path").get<std::string>() + ": " +
                                      record.at("problems").front().get<std::string>());
        }
    }
    return counts;
}

// The steps ORVANPUSH_DEMO_REFUSE may name: every one that talks to the server.
std::vector<std::string> refusableSteps(const std::vector<DemoStep>& walk) {
    std::vector<std::string> names;
    for (const auto& step : walk) {
        if (step.name != kLocalStep) {
            names.push_back(step.name);
        }
    }
    return names;
}

}  // namespace

std::string demo::joined(const std::vector<std::string>& items) {
    std::string text;
    for (const auto& item : items) {
        text += (text.empty() ? "" : ", ") + item;
    }
    return text;
}

void demo::requireSuccess(const std::optional<BaseApiResult>& result, const std::string& what) {
    require(result.has_value(), what + " completed without a result");
    require(result->getResultKind() == ResultKind::success,
            what + ": error " + std::to_string(result->getErrorCode()) + " (" +
                result->getErrorDescription().value_or("no description") + ")");
}

DemoWalkThrough::DemoWalkThrough(const Output& out, Settings settings)
    : out_(out), settings_(std::move(settings)) {}

DemoWalkThrough::~DemoWalkThrough() = default;

std::vector<DemoStep> DemoWalkThrough::steps() {
    return {
        {kLocalStep, "createInstance", [this] { return createInstance(); }},
        {"subscribe", "subscribe", [this] { return subscribe(); }},
        {"attributes", "updateSubscriber", [this] { return updateAttributes(); }},
        {"receive", "onMessageReceive", [this] { return receive(); }},
        {"receive-again", "onMessageReceive", [this] { return receiveAgain(); }},
        {"read", "onMessageRead", [this] { return openMessage(); }},
        {"content", "getNotificationContent", [this] { return fetchContent(); }},
        {"outage", "onMessageRead", [this] { return rideOutOutage(); }},
        {"history", "getMessages", [this] { return readHistory(); }},
        {"messages", "getFetchedResultsController", [this] { return listAndRetain(); }},
        {"logs", "sendLogs", [this] { return uploadLogs(); }},
    };
}

int DemoWalkThrough::run(const std::optional<std::string>& refusedStep) {
    const auto walk = steps();
    if (refusedStep) {
        const auto names = refusableSteps(walk);
        if (std::find(names.begin(), names.end(), *refusedStep) == names.end()) {
            out_.error("usage",
                       std::string(kRefuseVariable) + "=" + *refusedStep +
                           " names no step that talks to the server; one of: " + joined(names));
            return kExitUsage;
        }
    }
    // The server appends its request log there from its first moment.
    if (auto made = platform::FileSystem::createDirectories(settings_.home); !made) {
        throw std::runtime_error("cannot make the demo's home " + settings_.home.string() + ": " +
                                 made.error);
    }
    server_ =
        std::make_unique<ReferenceServer>(settings_.serverProgram, settings_.home / kRequestLog);
    out_.note("OrvanPushSDK " + PushSDK::OrvanPushSDKVersion() + " demo in " +
              settings_.home.string());
    out_.note("orvanpush-server on http://127.0.0.1:" + std::to_string(server_->port()) +
              ", its request log in " + kRequestLog);
    const auto started = std::chrono::steady_clock::now();
    DemoRunner runner(out_,
                      [this, refusedStep](const DemoStep& step) { beforeStep(step, refusedStep); });
    auto outcome = runner.run(walk);
    // Everything the library still has under way ends before the server does.
    PushSDK::waitForOutstandingWork(kWait);
    const int code = summarize(outcome, std::chrono::steady_clock::now() - started);
    server_->stop();
    return code;
}

void DemoWalkThrough::beforeStep(const DemoStep& step,
                                 const std::optional<std::string>& refusedStep) {
    // The previous step's late work (re-sends, store jobs) belongs to it, not to this one.
    PushSDK::waitForOutstandingWork(kWait);
    const auto logged = server_->requests(stepFirstRequest_);
    if (!logged.empty()) {
        stepFirstRequest_ = logged.back().at("id").get<long long>();
    }
    if (refusedStep == step.name) {
        server_->setRefusal(refusal(step.name));
    }
}

Json DemoWalkThrough::stepRequests() const {
    return server_->requests(stepFirstRequest_);
}

int DemoWalkThrough::summarize(const DemoOutcome& outcome,
                               std::chrono::steady_clock::duration elapsed) {
    const auto counts = tally(server_->requests());
    const auto line = "Summary: " + std::to_string(outcome.passed) + " of " +
                      std::to_string(outcome.total) + " steps passed in " + seconds(elapsed) +
                      "; the server verified " + std::to_string(counts.accepted) + " requests";
    const auto detail = std::to_string(counts.signatures) +
                        " of them signed with the device key; " + std::to_string(counts.faulted) +
                        " more answered by injected faults";
    std::string failure;
    if (outcome.failedStep) {
        failure = "step \"" + *outcome.failedStep + "\" failed: " + outcome.why;
    } else if (!counts.problems.empty()) {
        failure = "the server's checks refused " + std::to_string(counts.problems.size()) +
                  " requests, the first " + counts.problems.front();
    }
    if (!failure.empty()) {
        out_.note(line);
        out_.note(detail);
        out_.failure("demo", failure,
                     failure +
                         "; `orvanpush demo --keep-home` keeps the demo's home and the "
                         "server's request log to look into");
        return kExitError;
    }
    out_.result({{"result", "success"},
                 {"stepsPassed", outcome.passed},
                 {"requestsVerified", counts.accepted},
                 {"signaturesVerified", counts.signatures},
                 {"requestsFaulted", counts.faulted}},
                {line, detail});
    return kExitSuccess;
}

DemoWalkThrough::ExtensionReceipt DemoWalkThrough::receiveInExtension(
    const std::string& messageId) {
    const Json payload{{"aps",
                        {{"alert",
                          {{"title", "Order " + messageId + " shipped"},
                           {"subtitle", "Orvan Shop"},
                           {"body", "Your parcel is on its way."}}},
                         {"sound", "default"}}},
                       {"message-id", messageId},
                       {"custom-data", {{"order", messageId}}}};
    const auto directory = settings_.home / "payloads";
    std::filesystem::create_directories(directory);
    std::filesystem::permissions(directory, std::filesystem::perms::owner_all);
    const auto file = directory / (messageId + ".json");
    std::ofstream(file) << payload.dump();
    std::filesystem::permissions(
        file, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    ChildProcess extension({runningProgram().string(), "--home", settings_.home.string(),
                            "--bundle-id", settings_.bundleId, "--extension", "--json", "--timeout",
                            std::to_string(kWait.count()), "receive", "--id", kInstance,
                            "--payload", file.string()});
    std::string last;
    while (auto line = extension.readLine()) {
        last = line->empty() ? last : *line;
    }
    ExtensionReceipt receipt{extension.wait(), Json::parse(last, nullptr, false)};
    require(receipt.answer.is_object(), "the extension printed \"" + last +
                                            "\" and exited with status " +
                                            std::to_string(receipt.status));
    return receipt;
}

std::string DemoWalkThrough::ExtensionReceipt::failure() const {
    if (answer.contains("error")) {
        return answer.at("error").dump();
    }
    return "error " + answer.value("errorCode", Json(nullptr)).dump() + " (" +
           answer.value("errorDescription", std::string("no description")) + "), exit status " +
           std::to_string(status);
}

bool DemoWalkThrough::ExtensionReceipt::succeeded() const {
    return status == kExitSuccess && answer.value("result", "") == "success";
}

}  // namespace orvanpush::cli
