// subscribe, unsubscribe and updateSubscription: registering the device with the push server.

#include <exception>
#include <utility>

#include "api/ResultDecoding.h"
#include "api/SubscribeTarget.h"
#include "api/UnsubscribeTarget.h"
#include "orvanpush/PushSDK.h"
#include "orvanpush/TextError.h"
#include "orvanpush/platform/PlatformConfig.h"
#include "sdk/CallbackQueue.h"
#include "sdk/KeyReconciliation.h"
#include "sdk/OperationSupport.h"
#include "sdk/PushSDKState.h"
#include "sdk/SubscriberIdentity.h"
#include "sdk/SubscriptionKey.h"
#include "sdk/SubscriptionTurn.h"
#include "sdk/UnsentStatuses.h"
#include "utils/DeviceInfoUtil.h"

namespace orvanpush {

using detail::PushSDKState;
using detail::SubscriberIds;
using detail::SubscriptionKey;
using detail::SubscriptionTurn;

namespace {

using Registration = SubscriptionKey::Registration;

// Runs `store` as an identity change: `result` when it ran or was not needed (a newer identity
// is stored), a code-600 result with the failure's text when storing failed.
BaseApiResult storedResult(const PushSDKState& state, const SubscriberIds& recorded,
                           BaseApiResult result, const std::function<void()>& store,
                           bool& changed) {
    try {
        changed = detail::changeIdentityIfUnchanged(*state.settingsUtils, recorded, store);
        return result;
    } catch (const std::exception& error) {
        return BaseApiResult(ResultKind::error, detail::kLibraryErrorCode, error.what());
    }
}

// The answer of a subscribe request: stores the ids, the token and the key on success and logs;
// the host's completion is the caller's (subscribe's or updateSubscription's). A request left
// `unanswered` keeps its pair pending, as does a success that could not be stored: the server
// may hold that key, and reconciliation settles it.
BaseApiResult finishSubscription(const std::shared_ptr<PushSDKState>& state, SubscriptionKey& key,
                                 const Registration& registration, const SubscriberIds& recorded,
                                 BaseApiResult result, bool unanswered) {
    if (result.getResultKind() == ResultKind::error) {
        detail::logEntry("Error on subscribe process: " + detail::errorDetails(result),
                         LogSeverity::error);
        if (!unanswered) {
            key.discard();
        }
        return result;
    }
    detail::logEntry("Subscribe process success", LogSeverity::trace);
    const auto& settings = *state->settingsUtils;
    bool changed = false;
    result = storedResult(
        *state, recorded, std::move(result),
        [&] {
            if (const auto status = key.commit(); status != platform::errSecSuccess) {
                throw TextError("Key pair commit error. OSStatus: " + std::to_string(status));
            }
            // Without a device id the address is the client id alone: an older device id would
            // make every later address one the server never registered.
            settings.set({{detail::ClientSetting::ClientId, registration.clientId},
                          {detail::ClientSetting::DeviceId, registration.deviceId.value_or("")},
                          {detail::ClientSetting::Token, registration.token}});
        },
        changed);
    if (result.getResultKind() == ResultKind::error) {
        detail::logEntry("Error on subscribe process: " + detail::errorDetails(result),
                         LogSeverity::error);
        return result;
    }
    if (!changed) {
        detail::logEntry(
            "Subscribe answer arrived after a newer subscription: its identity is kept");
        key.discard();
    }
    detail::logEntry("Subscribe process successfully completed");
    detail::processUnsentStatuses(state, detail::kResendLimit);
    return result;
}

// Runs `start` with the instance's turn (SubscriptionTurn::take), once the pending pairs that
// turned orphans are removed: with the turn held, no operation's request is in flight.
void takeTurn(const PushSDKState& state, std::optional<double> requestTimeout,
              std::function<void(SubscriptionTurn::Held)> start,
              std::function<void(const std::string&)> gaveUp) {
    SubscriptionTurn::take(
        state.identifier, detail::turnTimeLimit(state, requestTimeout),
        [identifier = state.identifier, start = std::move(start)](SubscriptionTurn::Held turn) {
            SubscriptionKey::removeOrphans(identifier);
            start(std::move(turn));
        },
        std::move(gaveUp));
}

// The result of an operation that never got its turn, or whose request could not be built then.
BaseApiResult notSent(const std::string& reason) {
    return BaseApiResult(ResultKind::error, detail::kLibraryErrorCode, reason);
}

// Whose subscription a request renews: the ids the host gave, or (a token update) the ids
// stored when the request's turn comes, which an operation that went before may have changed.
enum class Identity { given, storedAtTurn };

// subscribe steps 1 to 8: everything but the host's completion, which `continuation` calls
// with the result once it is stored and logged. The request is sent once the instance's turn
// has come, and the turn is held until its answer is applied.
void startSubscription(const std::shared_ptr<PushSDKState>& state,
                       const std::optional<std::string>& deviceId,
                       const std::optional<std::string>& clientId,
                       const std::optional<std::string>& token,
                       std::optional<double> requestTimeout, Identity identity,
                       std::function<void(BaseApiResult)> continuation) {
    detail::logEntry("Generating key pair");
    auto key = SubscriptionKey::generate(state->identifier);
    detail::logEntry("Receiving public key");
    const std::string publicKey = key->publicKey();
    detail::SubscribeObject object{
        .retryCount = detail::kRetryCount,
        .requestTimeout = requestTimeout,
        .address = PushSDKState::makeAddress(deviceId, clientId),
        .token = PushSDKState::checkMandatoryParameter(token, "token"),
        .publicKey = PushSDKState::checkMandatoryParameter(publicKey, "pubKey")};
    object.vendorInfo = "Apple " + detail::DeviceInfoUtil::modelName();
    object.osVersion = platform::PlatformConfig::current()->osVersion;
    detail::logEntry("Start subscribe request");
    object.headers = state->getHeadersWithPushEnabled("subscribe");
    Registration registration{deviceId, *clientId, object.token};
    auto send = [state, key, registration, object = std::move(object), identity,
                 continuation](SubscriptionTurn::Held turn) mutable {
        const auto recorded = SubscriberIds::read(*state->settingsUtils);
        if (identity == Identity::storedAtTurn) {
            object.address = PushSDKState::makeAddress(recorded.deviceId, recorded.clientId);
            registration.deviceId = recorded.deviceId;
            registration.clientId = recorded.clientId.value_or("");
        }
        key->markSent(registration);
        state->apiService.sendNotingUnanswered(
            detail::SubscribeTarget{object}, [state, key, registration, recorded, continuation,
                                              turn](BaseApiResult result, bool unanswered) mutable {
                auto finished = finishSubscription(state, *key, registration, recorded,
                                                   std::move(result), unanswered);
                turn.reset();
                continuation(std::move(finished));
            });
    };
    auto gaveUp = [state, key, registration, continuation](const std::string& reason) {
        detail::postToCallbackQueue([state, key, registration, continuation, reason] {
            continuation(finishSubscription(state, *key, registration, {}, notSent(reason), false));
        });
    };
    takeTurn(*state, requestTimeout, std::move(send), std::move(gaveUp));
}

// The unsubscribe request for the stored identity, signed with the device key. Throws as
// unsubscribe does.
detail::UnsubscribeObject unsubscribeObject(const PushSDKState& state,
                                            const std::optional<std::string>& note,
                                            std::optional<double> requestTimeout,
                                            const SubscriberIds& recorded) {
    const auto storedToken = state.settingsUtils->get(detail::ClientSetting::Token);
    detail::UnsubscribeObject object{
        .retryCount = detail::kRetryCount,
        .requestTimeout = requestTimeout,
        .address = PushSDKState::makeAddress(recorded.deviceId, recorded.clientId),
        .token = PushSDKState::checkMandatoryParameter(storedToken, "token"),
        .note = note};
    object.signature = state.sign(detail::UnsubscribeTarget::signedText(object));
    return object;
}

// The answer of an unsubscribe request: logs it and, on success or code 104, removes the ids
// `recorded` when they are still stored.
BaseApiResult finishUnsubscription(const PushSDKState& state, const SubscriberIds& recorded,
                                   BaseApiResult result) {
    const bool failed = result.getResultKind() == ResultKind::error;
    if (failed) {
        detail::logEntry(
            "Unsubscribe process completed with error: " + detail::errorDetails(result, ":"),
            LogSeverity::error);
    } else {
        detail::logEntry("Unsubscribe process successfully completed");
    }
    // Code 104: the server knows no such subscriber, so the ids go as well.
    if (!failed || result.getErrorCode() == 104) {
        bool changed = false;
        result = storedResult(
            state, recorded, std::move(result),
            [&] {
                state.settingsUtils->set(
                    {{detail::ClientSetting::DeviceId, ""}, {detail::ClientSetting::ClientId, ""}});
            },
            changed);
    }
    return result;
}

}  // namespace

void PushSDK::subscribe(const std::optional<std::string>& deviceId,
                        const std::optional<std::string>& clientId,
                        const std::optional<std::string>& token,
                        std::optional<double> requestTimeout, ResultCompletion postCompleted) {
    startSubscription(state_, detail::repaired(deviceId), detail::repaired(clientId),
                      detail::repaired(token), requestTimeout, Identity::given,
                      [postCompleted = std::move(postCompleted)](BaseApiResult result) {
                          detail::complete(postCompleted, std::move(result));
                      });
}

void PushSDK::updateSubscription(const std::optional<std::string>& token,
                                 std::optional<double> requestTimeout,
                                 ResultCompletion postCompleted) {
    detail::logEntry("Start updating subscription process");
    const auto stored = SubscriberIds::read(*state_->settingsUtils);
    auto state = state_;
    startSubscription(
        state_, stored.deviceId, stored.clientId, detail::repaired(token), requestTimeout,
        Identity::storedAtTurn,
        [state, stored, postCompleted = std::move(postCompleted)](BaseApiResult result) {
            detail::logEntry("Updating subscription for address \"" + stored.deviceId.value_or("") +
                             "." + stored.clientId.value_or("") + "\"");
            if (result.getResultKind() == ResultKind::error) {
                detail::logEntry(
                    "Error on update subscriprion process: " + detail::errorDetails(result),
                    LogSeverity::error);
            } else {
                detail::logEntry("Update subscription process successfully completed");
                detail::processUnsentStatuses(state, detail::kResendLimit);
            }
            detail::complete(postCompleted, std::move(result));
        });
}

void PushSDK::unsubscribe(const std::optional<std::string>& note,
                          std::optional<double> requestTimeout, ResultCompletion postCompleted) {
    detail::logEntry("Start unsubscribe process");
    const auto repairedNote = detail::repaired(note);
    // Checked here, so that what is missing is thrown to the caller; built again with the
    // identity and key stored once the turn has come.
    unsubscribeObject(*state_, repairedNote, requestTimeout,
                      SubscriberIds::read(*state_->settingsUtils));
    auto state = state_;
    auto send = [state, repairedNote, requestTimeout, postCompleted](SubscriptionTurn::Held turn) {
        const auto recorded = SubscriberIds::read(*state->settingsUtils);
        auto object = unsubscribeObject(*state, repairedNote, requestTimeout, recorded);
        object.headers = state->getHeadersWithPushEnabled("unsubscribe");
        const auto signedText = detail::UnsubscribeTarget::signedText(object);
        // One slot for every copy of the completion, so that the turn goes before the host's.
        auto held = std::make_shared<SubscriptionTurn::Held>(std::move(turn));
        detail::sendSigned<detail::UnsubscribeTarget>(
            state, detail::UnsubscribeTarget{std::move(object)}, signedText,
            [state, recorded, postCompleted, held](BaseApiResult result) {
                auto finished = finishUnsubscription(*state, recorded, std::move(result));
                held->reset();
                detail::complete(postCompleted, std::move(finished));
            },
            true);
    };
    auto gaveUp = [state, postCompleted](const std::string& reason) {
        detail::postToCallbackQueue([state, postCompleted, reason] {
            detail::complete(postCompleted, finishUnsubscription(*state, {}, notSent(reason)));
        });
    };
    takeTurn(*state_, requestTimeout, std::move(send), std::move(gaveUp));
}

}  // namespace orvanpush
