#pragma once

// What the demo's steps share: the device they play, and waiting for a completion.

#include <chrono>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "CommandSupport.h"
#include "orvanpush/BaseApiResult.h"

namespace orvanpush::cli::demo {

inline constexpr const char* kInstance = "demo";
inline constexpr const char* kGroup = "group.orvanpush.demo";
inline constexpr const char* kClientId = "client-42";
inline constexpr const char* kDeviceId = "phone-1";
inline constexpr const char* kToken = "demo-token-7f3a";
/// The subscriber address the SDK forms: device id "." client id.
inline const std::string kAddress = std::string(kDeviceId) + "." + kClientId;
/// The application keeps this many messages (and none older than kDays days).
inline constexpr std::int64_t kKeep = 3;
inline constexpr std::int64_t kDays = 30;
/// The longest the demo waits for one completion or one extension process.
inline constexpr auto kWait = std::chrono::seconds(30);

/// Fails the step with `why` unless `condition` holds.
inline void require(bool condition, const std::string& why) {
    if (!condition) {
        throw std::runtime_error(why);
    }
}

/// `items` separated by ", ".
std::string joined(const std::vector<std::string>& items);

/// Fails the step unless `result` is a success, with the server's error code and description.
void requireSuccess(const std::optional<BaseApiResult>& result, const std::string& what);

/// Calls `start` with a completion and waits up to kWait for the value it is handed; fails the
/// step when none comes.
template <class Value, class Start>
Value await(const std::string& what, Start start) {
    Awaited<Value> awaited;
    start(awaited.completion());
    auto value = awaited.wait(kWait);
    require(value.has_value(),
            what + " did not complete within " + std::to_string(kWait.count()) + " s");
    return std::move(*value);
}

}  // namespace orvanpush::cli::demo
