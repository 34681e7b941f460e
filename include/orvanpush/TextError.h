#pragma once

// The base of the plain-text errors the library throws.

#include <stdexcept>
#include <string>
#include "orvanpush/Export.h"

namespace orvanpush {

/// A plain text error: its `what()` is the whole message, for example
/// "Shared application group error. Status: -25299".
class ORVANPUSH_EXPORT TextError : public std::runtime_error {
  public:
    /// An error whose `what()` is `text`.
    explicit TextError(const std::string& text) : std::runtime_error(text) {}
};

}  // namespace orvanpush
