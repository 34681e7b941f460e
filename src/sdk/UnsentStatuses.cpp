#include "sdk/UnsentStatuses.h"

#include "sdk/PushSDKState.h"

namespace orvanpush::detail {

void processUnsentStatuses(const std::shared_ptr<PushSDKState>& /*state*/, int /*limit*/) {
    // Queued reports are re-sent by the delivery-report code, which fills this in.
}

}  // namespace orvanpush::detail
