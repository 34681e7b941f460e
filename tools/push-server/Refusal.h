#pragma once

// How a refused request is answered: its HTTP status and, on the push endpoints, the error code
// of the envelope.

#include <cstdint>

namespace orvanpush::server {

struct Refusal {
    /// A refusal with a status alone (the log upload's, written as the bare number) or with a
    /// status and its code.
    constexpr Refusal(int status, std::int64_t errorCode = 0)
        : httpStatus(status), code(errorCode) {}

    int httpStatus;
    std::int64_t code;
};

}  // namespace orvanpush::server
