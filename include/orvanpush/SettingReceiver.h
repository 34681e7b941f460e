#pragma once

// Setting receivers supply settings that the shared settings store lacks. The first receiver
// that answers for a key wins; its answer is written into the store, so each receiver is asked
// at most once per key.
//
//   auto migrated = std::make_shared<orvanpush::PushSDKv1SettingReceiver>("myInstance", true);
//   auto sdk = orvanpush::PushSDK::getInstance("myInstance", {migrated});

#include <optional>
#include <string>
#include "orvanpush/Export.h"

namespace orvanpush {

/// Each requirement answers the value of one setting, in the form the store keeps it (ports
/// and limits in decimal, "true" or "false" for the silence switch), or nothing when the
/// receiver has none. Called on the thread that reads the setting.
class ORVANPUSH_EXPORT SettingReceiver {
  public:
    virtual ~SettingReceiver() = default;

    /// The push server's protocol, address, port, context, login and password.
    virtual std::optional<std::string> getProtocolType() = 0;
    virtual std::optional<std::string> getServerAddress() = 0;
    virtual std::optional<std::string> getServerPort() = 0;
    virtual std::optional<std::string> getServerContext() = 0;
    virtual std::optional<std::string> getServerLogin() = 0;
    virtual std::optional<std::string> getServerPassword() = 0;
    /// The log server's protocol, address, port and context.
    virtual std::optional<std::string> getLogServerProtocolType() = 0;
    virtual std::optional<std::string> getLogServerAddress() = 0;
    virtual std::optional<std::string> getLogServerPort() = 0;
    virtual std::optional<std::string> getLogServerContext() = 0;
    /// The shared application group, and whether duplicates are silenced ("true" or "false").
    virtual std::optional<std::string> getSharedAppGroup() = 0;
    virtual std::optional<std::string> getSilenceDuplicates() = 0;
    /// The subscription's client id, device id and push token.
    virtual std::optional<std::string> getClientId() = 0;
    virtual std::optional<std::string> getDeviceId() = 0;
    virtual std::optional<std::string> getToken() = 0;
    /// The message store's limits: most messages, most days.
    virtual std::optional<std::string> getStorageQuantityLimit() = 0;
    virtual std::optional<std::string> getStorageDaysLimit() = 0;
};

/// Carries a configuration over from the library's first generation, which kept each setting
/// as a keychain item named by the setting's key ("serverAddressKey", "tokenKey", ...).
class ORVANPUSH_EXPORT PushSDKv1SettingReceiver : public SettingReceiver {
  public:
    /// Reads the items of the keychain access group `identifier` (of the groups this process is
    /// entitled to when absent: its own default group, never another application's).
    /// With `removeAfterReceive`, an item is removed once it has been read, and a line saying
    /// so is printed on the console.
    PushSDKv1SettingReceiver(std::optional<std::string> identifier, bool removeAfterReceive);

    /// The values it was made with.
    const std::optional<std::string>& identifier() const { return identifier_; }
    bool removeAfterReceive() const { return removeAfterReceive_; }

    /// Each answers the text of the first-generation keychain item of its setting; nothing when
    /// there is none, it is not UTF-8, or the keychain cannot be read. Never throws.
    std::optional<std::string> getProtocolType() override;
    std::optional<std::string> getServerAddress() override;
    std::optional<std::string> getServerPort() override;
    std::optional<std::string> getServerContext() override;
    std::optional<std::string> getServerLogin() override;
    std::optional<std::string> getServerPassword() override;
    std::optional<std::string> getLogServerProtocolType() override;
    std::optional<std::string> getLogServerAddress() override;
    std::optional<std::string> getLogServerPort() override;
    std::optional<std::string> getLogServerContext() override;
    std::optional<std::string> getSharedAppGroup() override;
    std::optional<std::string> getSilenceDuplicates() override;
    std::optional<std::string> getClientId() override;
    std::optional<std::string> getDeviceId() override;
    std::optional<std::string> getToken() override;
    std::optional<std::string> getStorageQuantityLimit() override;
    std::optional<std::string> getStorageDaysLimit() override;

  private:
    /// The text of the item `key`; nothing when there is none or it is not UTF-8.
    std::optional<std::string> receive(const std::string& key) const;

    std::optional<std::string> identifier_;
    bool removeAfterReceive_;
};

}  // namespace orvanpush
