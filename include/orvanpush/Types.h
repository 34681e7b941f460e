#pragma once

// The value types shared by the whole public API.

#include <chrono>
#include <cstdint>
#include <vector>

#include <nlohmann/json.hpp>

namespace orvanpush {

/// Raw bytes: keychain values, keys, signatures, file contents.
using Bytes = std::vector<std::uint8_t>;

/// A point in time.
using Date = std::chrono::system_clock::time_point;

/// A dynamic JSON value: payload dictionaries, custom data, attribute dictionaries.
using Json = nlohmann::json;

}  // namespace orvanpush
