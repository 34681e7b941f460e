#include "sdk/KeyReconciliation.h"

#include <exception>

#include "api/ApiRequestBuilder.h"
#include "orvanpush/TextError.h"
#include "sdk/CallbackQueue.h"
#include "sdk/OperationSupport.h"
#include "sdk/SubscriberIdentity.h"
#include "sdk/SubscriptionKey.h"
#include "security/Crypto.h"

namespace orvanpush::detail {
namespace {

// Makes the pair the device key with the identity its subscription carried; logs a failure,
// which leaves the pair pending.
void adopt(const PushSDKState& state, const SubscriptionKey::Unanswered& found) {
    const auto& settings = *state.settingsUtils;
    try {
        changeIdentityIfUnchanged(settings, SubscriberIds::read(settings), [&] {
            if (const auto status = found.pair.commit(); status != platform::errSecSuccess) {
                throw TextError("Key pair commit error. OSStatus: " + std::to_string(status));
            }
            settings.set({{ClientSetting::ClientId, found.registration.clientId},
                          {ClientSetting::DeviceId, found.registration.deviceId.value_or("")},
                          {ClientSetting::Token, found.registration.token}});
        });
        logEntry("Key pair of an unanswered subscription accepted by the server: committed");
    } catch (const std::exception& error) {
        logEntry(std::string("Error on committing a reconciled key pair: ") + error.what(),
                 LogSeverity::error);
    }
}

// With the turn held (`turn`, or by the caller when null): retries with the newest unanswered
// pair, if there is one.
void retryWithPendingKey(const std::shared_ptr<PushSDKState>& state, SubscriptionTurn::Held turn,
                         const std::string& signedText, const PendingKeyRetry& retry,
                         const std::function<void()>& completeWithFirst) {
    const auto found = SubscriptionKey::newestUnanswered(state->identifier);
    std::string signature;
    try {
        if (found) {
            signature = signString(state->identifier, found->pair.privateTag,
                                   PushSDKState::signAlgorithm, signedText);
        }
    } catch (const std::exception& error) {
        logEntry(std::string("Error on signing with a pending key pair: ") + error.what(),
                 LogSeverity::error);
        found->pair.remove();
    }
    if (signature.empty()) {
        turn.reset();
        postToCallbackQueue(completeWithFirst);
        return;
    }
    logEntry(
        "Signature refused with code 115: retrying with the key pair of an unanswered "
        "subscription");
    // Shared, so that the turn is given back before the host's completion runs.
    auto held = std::make_shared<SubscriptionTurn::Held>(std::move(turn));
    retry(signature, [state, held, unanswered = *found, completeWithFirst](
                         RetryVerdict verdict, const std::function<void()>& completeWithRetry) {
        if (verdict == RetryVerdict::accepted) {
            adopt(*state, unanswered);
        } else if (verdict == RetryVerdict::refused) {
            unanswered.pair.remove();
        }
        held->reset();
        (verdict == RetryVerdict::accepted ? completeWithRetry : completeWithFirst)();
    });
}

}  // namespace

std::chrono::milliseconds turnTimeLimit(const PushSDKState& state,
                                        std::optional<double> requestTimeout) {
    const auto text =
        requestTimeout ? std::optional(std::to_string(*requestTimeout)) : std::nullopt;
    const auto perAttempt =
        ApiRequestBuilder::timeout(text ? &*text : nullptr, state.apiService.defaultTimeout());
    return perAttempt * (kRetryCount + 1) + std::chrono::seconds(2);
}

void reconcileAfterKeyMismatch(const std::shared_ptr<PushSDKState>& state, bool turnHeld,
                               const std::string& signedText, PendingKeyRetry retry,
                               std::function<void()> completeWithFirst) {
    auto start = [state, signedText, retry, completeWithFirst](SubscriptionTurn::Held held) {
        retryWithPendingKey(state, std::move(held), signedText, retry, completeWithFirst);
    };
    try {
        if (turnHeld) {
            start(nullptr);
            return;
        }
        if (!SubscriptionKey::newestUnanswered(state->identifier)) {
            postToCallbackQueue(completeWithFirst);
            return;
        }
        SubscriptionTurn::take(
            state->identifier, turnTimeLimit(*state, std::nullopt), std::move(start),
            [completeWithFirst](const std::string&) { postToCallbackQueue(completeWithFirst); });
    } catch (const std::exception& error) {
        logEntry(std::string("Error on reconciling the device key: ") + error.what(),
                 LogSeverity::error);
        postToCallbackQueue(completeWithFirst);
    }
}

}  // namespace orvanpush::detail
