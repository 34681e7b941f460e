// A lean notification-service extension, started afresh for each push by the cold-push
// benchmark: it gets its instance, hands the library the push, waits for the library's
// outstanding work, prints its peak resident size and exits (status 0 when the report
// succeeded).
//
//   bench_extension_host <instance> <message id>     (ORVANPUSH_HOME names the home)

#include <filesystem>
#include <future>

#include "orvanpush/PushSDK.h"
#include "orvanpush/platform/PlatformConfig.h"
#include "peak_resident.h"

int main(int argc, char** argv) {
    using namespace orvanpush;
    if (argc != 3) {
        return 2;
    }
    auto config = platform::PlatformConfig::fromEnvironment();
    config.bundleIdentifier = "orvanpush.bench.extension";
    config.bundlePath =
        (std::filesystem::path(config.bundlePath).parent_path() / "orvanpush.bench.extension.appex")
            .string();
    platform::PlatformConfig::install(config);

    const Json payload = {{"message-id", argv[2]},
                          {"aps", {{"alert", {{"title", "Title"}, {"body", "Body"}}}}}};
    std::promise<bool> reported;
    PushSDK::getInstance(argv[1])->onMessageReceive(
        {"bench-push", NotificationContent::fromPayload(payload)}, std::nullopt,
        [&](std::optional<BaseApiResult> result, std::exception_ptr error,
            std::optional<MutableNotificationContent>) {
            reported.set_value(!error && result && result->getResultKind() == ResultKind::success);
        });
    const bool succeeded = reported.get_future().get();
    const bool finished = PushSDK::waitForOutstandingWork(std::chrono::seconds(30));
    bench::printPeakResident();
    return succeeded && finished ? 0 : 1;
}
