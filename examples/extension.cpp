// A minimal notification-service extension: the system starts it with the push's payload; it
// hands the payload to the library (which stores the message and reports its delivery) and
// shows the content the library gives back.
//
//   example-extension '{"aps":{"alert":{"title":"Sale","body":"Today only"}},"message-id":"msg-1"}'

#include <exception>
#include <iostream>
#include <optional>

#include <orvanpush/BaseApiResult.h>
#include <orvanpush/NotificationRequest.h>
#include <orvanpush/PushSDK.h>
#include <orvanpush/platform/PlatformConfig.h>

#include "ExampleSupport.h"

namespace {

struct Handled {
    std::optional<orvanpush::BaseApiResult> report;
    std::optional<orvanpush::MutableNotificationContent> content;
};

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
                          [done = handled.handler()](auto report, auto, auto content) {
                              done(Handled{report, content});
                          });
    Handled outcome = handled.get();
    // The report and the store's work finish before the content goes back to the system.
    orvanpush::PushSDK::waitForOutstandingWork(std::chrono::seconds(9));

    if (!outcome.content) {
        std::cout << "nothing to show\n";
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
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception& error) {
        // The library throws before anything is sent: a missing configuration, a bad argument.
        std::cerr << "error: " << error.what() << "\n";
        return 1;
    }
}
