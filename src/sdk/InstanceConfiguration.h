#pragma once

// The configuration of a named instance as createInstance writes it into the settings store and
// getInstance reads it back.

#include <optional>
#include <string>

#include "orvanpush/ServerParams.h"
#include "utils/SettingsUtils.h"

namespace orvanpush::detail {

struct InstanceConfiguration {
    ServerParams pushServerParams;
    std::string login;
    std::string password;
    std::optional<ServerParams> logServerParams;
    bool silenceDuplicates = true;

    /// Writes every value as text, the shared group and the storage limits included. An absent
    /// context or limit, an empty login or password, is written as a removal; absent log-server
    /// parameters leave the stored ones in place.
    void write(const SettingsUtils& settings, const std::string& sharedAppGroup,
               const std::optional<StorageParams>& storageParams) const;

    /// Reads the configuration back. Throws OrvanPushSDKError settingNotFound naming the first
    /// mandatory key that has no value. A port that is not a decimal integer reads as 8090 for
    /// the push server and 443 for the log server; the log server is absent unless its protocol,
    /// address and port are all stored.
    static InstanceConfiguration read(const SettingsUtils& settings);

    bool operator==(const InstanceConfiguration&) const = default;
};

}  // namespace orvanpush::detail
