#pragma once

// What the benchmarks of the receipt share: an instance against the reference server whose
// device has subscribed once with a key of its own, as a subscription leaves it.

#include <future>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "ReferenceServer.h"
#include "api/SubscribeTarget.h"
#include "orvanpush/PushSDK.h"
#include "platform/Base64.h"
#include "platform/SecKey.h"
#include "sdk/PushSDKState.h"
#include "security/Crypto.h"
#include "security/KeyChainUtil.h"

namespace orvanpush::bench {

constexpr const char* kInstance = "bench";
constexpr const char* kInstancePrivateTag = "bench.private";
constexpr const char* kSubscriberAddress = "bench-device.bench-client";

/// The reference server and the instance `kInstance` saved against it, subscribed.
struct SubscribedInstance {
    std::unique_ptr<cli::ReferenceServer> server;
    std::shared_ptr<PushSDK> sdk;

    SubscribedInstance() : server(std::make_unique<cli::ReferenceServer>(ORVANPUSH_SERVER)) {
        PushSDK::createInstance(kInstance, "group.bench", server->pushServer(),
                                cli::ReferenceServer::kLogin, cli::ReferenceServer::kPassword,
                                std::nullopt, true, std::nullopt);
        sdk = PushSDK::getInstance(kInstance);
        subscribe();
    }

    /// The address of the server's report end point.
    std::string reportUrl() const {
        return "http://127.0.0.1:" + std::to_string(server->port()) + "/api/notifications";
    }

    /// The header lines of a report as the library sends them, for a bare request.
    static std::vector<std::string> reportHeaders() {
        const std::string credentials =
            std::string(cli::ReferenceServer::kLogin) + ":" + cli::ReferenceServer::kPassword;
        return {"Authorization: Basic " + platform::base64Encode(credentials),
                "Content-Type: application/json; charset=utf-8; version=test;",
                "rid: 0F8E6C1A-3B2D-4E5F-8A7B-9C0D1E2F3A4B", "push-enabled: true", "Expect:"};
    }

  private:
    void subscribe() {
        detail::generateKeyPair(kInstance, "bench.public", kInstancePrivateTag,
                                platform::kSecAttrKeyTypeRSA, 1024);
        auto& state = *detail::PushSDKAccess::state(*sdk);
        auto headers = state.getHeaders("subscribe");
        headers["push-enabled"] = "true";
        std::promise<BaseApiResult> answered;
        state.apiService.send(
            detail::SubscribeTarget{{.headers = headers,
                                     .address = kSubscriberAddress,
                                     .osVersion = "12",
                                     .vendorInfo = "bench",
                                     .token = "token",
                                     .publicKey = detail::getPublicKeyString(
                                         kInstance, "bench.public", kInstancePrivateTag,
                                         platform::kSecAttrKeyTypeRSA, 1024)}},
            [&](BaseApiResult result) { answered.set_value(result); });
        if (answered.get_future().get().getResultKind() != ResultKind::success) {
            throw std::runtime_error("the subscription failed");
        }
        state.settingsUtils->set(detail::ClientSetting::ClientId, "bench-client");
        state.settingsUtils->set(detail::ClientSetting::DeviceId, "bench-device");
    }
};

}  // namespace orvanpush::bench
