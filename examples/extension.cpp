// A minimal notification-service extension: the system starts it with the push's payload; it
// hands the payload to the library (which stores the message and reports its delivery) and
// shows the content the library gives back.
//
//   example-extension '{"aps":{"alert":{"title":"Sale","body":"Today only"}},"message-id":"msg-1"}'

#include <exception>
#include <iostream>
#include <optional>
#include <string>

#include <orvanpush/BaseApiResult.h>
#include <orvanpush/NotificationRequest.h>
#include <orvanpush/PushSDK.h>
#include <orvanpush/platform/PlatformConfig.h>
#include <orvanpush/storage/StorageErrors.h>

#include "ExampleSupport.h"

namespace {

struct Handled {
    std::optional<orvanpush::BaseApiResult> report;
    std::exception_ptr error;
    std::optional<orvanpush::MutableNotificationContent> content;
};

// Why the message was not stored or reported, in words; empty when nothing went wrong.
std::string problemOf(const std::exception_ptr& error) {
    if (!error) {
        return "";
    }
    try {
        std::rethrow_exception(error);
    } catch (const orvanpush::StorageMessageError& notSaved) {
        return "not stored on this device (" + notSaved.reason() + ")";
    } catch (const std::exception& other) {
        return other.what();
    }
}

int run(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: example-extension <payload JSON>\n";
        return 2;
    }
    auto config = orvanpush::platform::PlatformConfig::fromEnvironment();
    config.bundleIdentifier = "com.example.shop.extension";
    config.bundlePath = "/opt/example/ShopNotifications.appex";  // marks the extension process
    orvanpush::platform::PlatformConfig::install(config);

    // Only the identifier: the application created the instance.
    auto sdk = orvanpush::PushSDK::getInstance(example::kInstance);
    orvanpush::NotificationRequest request{
        "push-1", orvanpush::NotificationContent::fromPayload(orvanpush::Json::parse(argv[1]))};

    example::Awaited<Handled> handled;
    sdk->onMessageReceive(request, std::nullopt,
                          [done = handled.handler()](auto report, auto error, auto content) {
                              done(Handled{report, error, content});
                          });
    Handled outcome = handled.get();
    // The report and the store's work finish before the content goes back to the system.
    orvanpush::PushSDK::waitForOutstandingWork(std::chrono::seconds(9));

    const auto problem = problemOf(outcome.error);
    if (!outcome.content) {
        std::cout << "nothing to show: " << problem << "\n";
        return 1;
    }
    std::cout << "show: " << outcome.content->title() << " / " << outcome.content->body()
              << (outcome.content->sound() ? " (with sound)" : " (silent)") << "\n";
    std::cout << "delivered: "
              << (outcome.report &&
                          outcome.report->getResultKind() == orvanpush::ResultKind::success
                      ? "reported"
                      : "queued for a later report")
              << "\n";
    // The notification is shown all the same; the application will not find the message in
    // its list, so say so (a real extension would log it for the host's diagnostics).
    if (!problem.empty()) {
        std::cout << "warning: " << problem << "\n";
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    return example::runReportingErrors(run, argc, argv);
}
