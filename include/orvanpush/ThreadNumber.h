#pragma once

// The calling thread's number as log entries carry it.

#include <cstdint>

namespace orvanpush {

/// The system thread id of the calling thread, as a 64-bit number (stable for the thread's life).
std::uint64_t getThreadNubmer();

}  // namespace orvanpush
