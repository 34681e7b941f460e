#include "platform/WakeableWait.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace orvanpush::platform {

// An eventfd that is written once and never read: it stays readable, so each wait after the
// wake-up ends at once.
WakeableWait::WakeableWait() : wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

bool WakeableWait::untilReadable(int descriptor) const {
    pollfd descriptors[] = {{descriptor, POLLIN, 0}, {wake_.get(), POLLIN, 0}};
    while (::poll(descriptors, 2, -1) < 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return descriptors[1].revents == 0;
}

void WakeableWait::wake() const {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(wake_.get(), &one, sizeof one);
}

}  // namespace orvanpush::platform
