// A minimal host application. Run once with "subscribe" to configure the instance the extension
// shares and register the device, and with "open <message-id>" when the user opens a
// notification.
//
//   example-app 127.0.0.1 8090 subscribe
//   example-app 127.0.0.1 8090 open msg-1

#include <cstring>
#include <exception>
#include <iostream>
#include <optional>
#include <string>

#include <orvanpush/BaseApiResult.h>
#include <orvanpush/PushSDK.h>
#include <orvanpush/platform/PlatformConfig.h>

#include "ExampleSupport.h"

namespace {

using orvanpush::BaseApiResult;
using orvanpush::PushSDK;
using Result = std::optional<BaseApiResult>;

bool succeeded(const char* what, const Result& result) {
    if (result && result->getResultKind() == orvanpush::ResultKind::success) {
        std::cout << what << ": success\n";
        return true;
    }
    std::cout << what << ": failed (" << (result ? result->getErrorCode() : -1) << " "
              << (result ? result->getErrorDescription().value_or("") : "no answer") << ")\n";
    return false;
}

bool subscribe(PushSDK& sdk) {
    example::Awaited<Result> answer;
    sdk.subscribe("phone", "customer-42", "device-token-1", std::nullopt, answer.handler());
    return succeeded("subscribe", answer.get());
}

bool openMessage(PushSDK& sdk, const std::string& messageId) {
    example::Awaited<Result> answer;
    sdk.onMessageRead(messageId, answer.handler());
    return succeeded("read", answer.get());
}

int run(int argc, char** argv) {
    if (argc < 4 || (std::strcmp(argv[3], "open") == 0 && argc < 5)) {
        std::cerr << "usage: example-app <host> <port> subscribe | open <message-id>\n";
        return 2;
    }
    auto config = orvanpush::platform::PlatformConfig::fromEnvironment();
    config.bundleIdentifier = "com.example.shop";
    orvanpush::platform::PlatformConfig::install(config);

    // The configuration lives in the group both processes share; creating it again is harmless.
    PushSDK::createInstance(example::kInstance, example::pushServer(argv[1], argv[2]), "orvan",
                            "orvan-password", std::nullopt, /*silenceDuplicates=*/true);
    auto sdk = PushSDK::getInstance(example::kInstance);
    bool ok = std::strcmp(argv[3], "subscribe") == 0 ? subscribe(*sdk) : openMessage(*sdk, argv[4]);
    PushSDK::waitForOutstandingWork(std::chrono::seconds(30));
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    return example::runReportingErrors(run, argc, argv);
}
