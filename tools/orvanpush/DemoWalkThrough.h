#pragma once

// The demo: the whole life of a device, walked through against a reference server of its own
// on a loopback port, in a home of its own. The application is this process; the extension is
// this tool started again with --extension for each push it receives.
//
//   DemoWalkThrough demo(context.out, {home, ReferenceServer::locate(std::nullopt),
//   "orvanpush.cli"}); return demo.run(std::nullopt);

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Cli.h"
#include "DemoRunner.h"
#include "ReferenceServer.h"
#include "orvanpush/PushSDK.h"

namespace orvanpush::cli {

class DemoWalkThrough {
  public:
    /// The environment variable that names the step whose requests the server refuses.
    static constexpr const char* kRefuseVariable = "ORVANPUSH_DEMO_REFUSE";

    struct Settings {
        std::filesystem::path home;
        std::filesystem::path serverProgram;
        /// This process's bundle identifier; the extension's is it plus ".extension".
        std::string bundleId;
    };

    DemoWalkThrough(const Output& out, Settings settings);
    ~DemoWalkThrough();
    DemoWalkThrough(const DemoWalkThrough&) = delete;
    DemoWalkThrough& operator=(const DemoWalkThrough&) = delete;

    /// Starts the server and runs every step, the server refusing every request of
    /// `refusedStep` when one is named, then prints the summary. kExitSuccess when all passed,
    /// kExitError when one failed, kExitUsage when `refusedStep` names no step that talks to
    /// the server.
    int run(const std::optional<std::string>& refusedStep);

  private:
    /// What an extension process made of a push: its exit status and its JSON result.
    struct ExtensionReceipt {
        int status = 0;
        Json answer;

        /// True when the extension exited 0 with a successful report.
        bool succeeded() const;
        /// Why it did not succeed: the error, or the report's code and description.
        std::string failure() const;
    };

    std::vector<DemoStep> steps();
    void beforeStep(const DemoStep& step, const std::optional<std::string>& refusedStep);
    int summarize(const DemoOutcome& outcome, std::chrono::steady_clock::duration elapsed);

    // The steps, in order; each returns its outcome or throws why it failed.
    std::string createInstance();
    std::string subscribe();
    std::string updateAttributes();
    std::string receive();
    std::string receiveAgain();
    std::string openMessage();
    std::string fetchContent();
    std::string rideOutOutage();
    std::string readHistory();
    std::string listAndRetain();
    std::string uploadLogs();

    ExtensionReceipt receiveInExtension(const std::string& messageId);
    /// The requests the server logged since the current step began.
    Json stepRequests() const;

    const Output& out_;
    Settings settings_;
    std::unique_ptr<ReferenceServer> server_;
    std::shared_ptr<PushSDK> sdk_;
    long long stepFirstRequest_ = 0;
};

}  // namespace orvanpush::cli
