#include "utils/logger/QueueRelease.h"

#include <utility>

namespace orvanpush::detail {

void releaseQueue(std::shared_ptr<platform::DispatchQueue>& queue) {
    if (queue && queue->isCurrent()) {
        platform::DispatchQueue::globalBackground().async(
            [released = std::move(queue)]() mutable { released.reset(); });
    }
    queue.reset();
}

}  // namespace orvanpush::detail
