#pragma once

#include <stdexcept>
#include <string>

namespace orvanpush {

/// A plain text error: its `what()` is the whole message, for example
/// "Shared application group error. Status: -25299".
class TextError : public std::runtime_error {
public:
    explicit TextError(const std::string& text) : std::runtime_error(text) {}
};

}  // namespace orvanpush
