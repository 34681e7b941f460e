#include "sdk/CallbackQueue.h"

#include <utility>

#include "platform/CurlTransport.h"
#include "platform/OutstandingWork.h"

namespace orvanpush::detail {

void postToCallbackQueue(std::function<void()> task) {
    platform::CurlTransport::shared().complete(
        {}, [task = std::move(task),
             work = platform::OutstandingWork::begin()](const platform::HttpOutcome&) { task(); });
}

}  // namespace orvanpush::detail
