#pragma once

// Signed requests, and the settling of a subscription whose outcome is unknown. A subscription or
// token update that went out and got no answer leaves its key pair pending (SubscriptionKey.h):
// the server may hold that key. When the server then refuses a signed request with the
// key-mismatch code 115 while such a pair exists, the request is sent once more, unchanged but
// signed with the pending pair, holding the instance's turn. Accepted: the pair becomes the
// device key with the ids and token its subscription carried, and the host gets the retry's
// result. Refused with 115: the pair is removed and the first answer stands. Any other answer, or
// none, settles nothing: the pair stays and the first answer stands.
//
//   object.signature = state->sign(Target::signedText(object));
//   sendSigned(state, Target{object}, Target::signedText(object), completion);

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "sdk/PushSDKState.h"
#include "sdk/SubscriptionTurn.h"

namespace orvanpush::detail {

/// The server's code for a signature that does not verify with the key it holds.
inline constexpr int kKeyMismatchCode = 115;

/// How long an operation waits for the instance's turn: as long as its own request may take.
std::chrono::milliseconds turnTimeLimit(const PushSDKState& state,
                                        std::optional<double> requestTimeout);

/// What the retry signed with a pending pair answered.
enum class RetryVerdict { accepted, refused, unsettled };

/// Sends the retry signed with the given signature, then calls the function it is given with
/// the verdict and a function that hands the retry's result to the host.
using PendingKeyRetry =
    std::function<void(const std::string& signature,
                       std::function<void(RetryVerdict, std::function<void()> completeWithRetry)>)>;

/// Settles a pending pair after a 115 answer to the request whose signed text is `signedText`:
/// at once when the caller holds the instance's turn (`turnHeld`), else once the turn comes
/// (given back before the completion). Calls `completeWithFirst` or the retry's completion
/// exactly once, on the callback queue.
void reconcileAfterKeyMismatch(const std::shared_ptr<PushSDKState>& state, bool turnHeld,
                               const std::string& signedText, PendingKeyRetry retry,
                               std::function<void()> completeWithFirst);

/// Sends `target`, already signed with the device key over `signedText`, and hands its result
/// to `postCompleted`, settling a pending pair first when the server answers 115. An empty
/// `signedText` marks a request sent unsigned, never retried. `turnHeld`: the caller holds the
/// instance's turn until its completion.
template <typename Target>
void sendSigned(const std::shared_ptr<PushSDKState>& state, const Target& target,
                const std::string& signedText,
                std::function<void(typename Target::Result)> postCompleted, bool turnHeld = false) {
    using Result = typename Target::Result;
    state->apiService.send(target, [state, target, signedText, postCompleted,
                                    turnHeld](Result result) {
        if (result.getErrorCode() != kKeyMismatchCode || signedText.empty()) {
            postCompleted(std::move(result));
            return;
        }
        auto retry = [state, target, postCompleted](const std::string& signature, auto answered) {
            auto signedAgain = target;
            signedAgain.value.signature = signature;
            state->apiService.send(signedAgain, [answered, postCompleted](Result again) {
                const auto verdict =
                    again.getResultKind() == ResultKind::success ? RetryVerdict::accepted
                    : again.getErrorCode() == kKeyMismatchCode   ? RetryVerdict::refused
                                                                 : RetryVerdict::unsettled;
                answered(verdict, [postCompleted, again] { postCompleted(again); });
            });
        };
        reconcileAfterKeyMismatch(state, turnHeld, signedText, std::move(retry),
                                  [postCompleted, result] { postCompleted(result); });
    });
}

}  // namespace orvanpush::detail
