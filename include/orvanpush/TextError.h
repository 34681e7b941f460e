#pragma once

// The base of the plain-text errors the library throws.

#include <stdexcept>
#include <string>

namespace orvanpush {

/// A plain text error: its `what()` is the whole message, for example
/// "Shared application group error. Status: -25299".
class TextError : public std::runtime_error {
  public:
    /// An error whose `what()` is `text`.
    explicit TextError(const std::string& text) : std::runtime_error(text) {}
};

}  // namespace orvanpush
