#pragma once

// The subscriber identity the settings store holds, and the rule that keeps a late answer from
// overwriting a newer identity: an operation records the ids when it starts and, after its
// answer, changes them only while they are still what it recorded.

#include <functional>
#include <optional>
#include <string>

#include "utils/SettingsUtils.h"

namespace orvanpush::detail {

struct SubscriberIds {
    std::optional<std::string> deviceId;
    std::optional<std::string> clientId;

    /// The ids stored now ("deviceIdKey", "clientIdKey"). Throws what the store throws.
    static SubscriberIds read(const SettingsUtils& settings);

    bool operator==(const SubscriberIds&) const = default;
};

/// Runs `change` when the stored ids still equal `recorded`; true when it ran. Every identity
/// change runs inside one keychain transaction, which serialises them across threads and
/// processes; keychain calls made by `change` join it and are undone when `change` throws. What
/// `change` throws reaches the caller; a transaction the keychain cannot complete throws
/// TextError "Keychain transaction error. OSStatus: <status>".
bool changeIdentityIfUnchanged(const SettingsUtils& settings, const SubscriberIds& recorded,
                               const std::function<void()>& change);

}  // namespace orvanpush::detail
