#pragma once

// The calling thread's number as log entries carry it.

#include <cstdint>
#include "orvanpush/Export.h"

namespace orvanpush {

/// The system thread id of the calling thread, as a 64-bit number (stable for the thread's life).
ORVANPUSH_EXPORT std::uint64_t getThreadNubmer();

}  // namespace orvanpush
