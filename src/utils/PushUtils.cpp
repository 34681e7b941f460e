#include "utils/PushUtils.h"

#include <memory>

#include "platform/UserNotificationCenter.h"

namespace orvanpush::detail {

using platform::AuthorizationStatus;

void AuthorizationAnswer::set(AuthorizationStatus status) {
    std::lock_guard lock(mutex_);
    status_ = status;
    answered_.notify_all();
}

std::optional<AuthorizationStatus> AuthorizationAnswer::waitFor(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    answered_.wait_for(lock, timeout, [this] { return status_.has_value(); });
    return status_;
}

bool PushUtils::isPushEnabled() {
    return isPushEnabled(platform::UserNotificationCenter::current(),
                         [](AuthorizationAnswer& answer, std::chrono::milliseconds timeout) {
                             return answer.waitFor(timeout);
                         });
}

bool PushUtils::isPushEnabled(platform::UserNotificationCenter& center, const AnswerWait& wait) {
    auto answer = std::make_shared<AuthorizationAnswer>();
    center.getNotificationSettings([answer](AuthorizationStatus status) { answer->set(status); });
    const auto status = wait(*answer, kAnswerTimeout);
    // Authorized (2) and provisional (3) allow notifications: the status without its lowest bit.
    return status && (static_cast<int>(*status) & ~1) == 2;
}

}  // namespace orvanpush::detail
