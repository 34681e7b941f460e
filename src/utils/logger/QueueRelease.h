#pragma once

#include <memory>

#include "orvanpush/platform/DispatchQueue.h"

namespace orvanpush::detail {

/// Lets go of a queue that its owner is done with. When the caller runs on that very queue (the
/// owner's last holder went away inside one of the queue's own tasks), the queue cannot wait
/// for its own thread, so the last reference is dropped later on the global background queue.
void releaseQueue(std::shared_ptr<platform::DispatchQueue>& queue);

}  // namespace orvanpush::detail
