#pragma once

// The shared settings store of an instance: string values that the application and its
// extension both read and write, opened by the suite of the instance's shared group.
//
//   auto settings = SettingsUtils::sharedAccessGroupInstance("myInstance");
//   settings->set(ClientSetting::Token, token);
//   std::optional<std::string> port = settings->get(Setting::ServerPort);
//
// There is no cache: every get and set goes to the store, so a value one process writes is
// seen by the other on its next get.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "orvanpush/SettingReceiver.h"
#include "platform/UserDefaults.h"

namespace orvanpush::detail {

/// The configuration an instance keeps in its settings store.
enum class Setting {
    ProtocolType,
    ServerAddress,
    ServerPort,
    ServerContext,
    ServerLogin,
    ServerPassword,
    LogServerProtocolType,
    LogServerAddress,
    LogServerPort,
    LogServerContext,
    SharedAppGroup,
    SilenceDuplicates,
    StorageQuantityLimit,
    StorageDaysLimit,
};

/// The subscriber identity that subscription keeps in the settings store.
enum class ClientSetting { ClientId, DeviceId, Token, Version, Messages };

/// The setting's key in the store ("protocolTypeKey", "silenceDuplicates", ...).
std::string toString(Setting setting);
/// The setting's key in the store ("clientIdKey", "deviceIdKey", "tokenKey", ...).
std::string toString(ClientSetting setting);

/// A handle on one settings store: copies of the shared pointer are the same store. Its
/// operations change the store, never the handle, and are safe from several threads.
class SettingsUtils {
  public:
    using SettingReceivers = std::vector<std::shared_ptr<SettingReceiver>>;

    /// The store of the instance `identifier`: the suite "group." + G when the keychain names
    /// the shared group G, else the suite named by the identifier; the process's standard store
    /// when that suite's name is refused. Throws TextError naming the file when the keychain
    /// cannot be read or the store's file exists but cannot be opened (nothing falls back
    /// then), or when no store can be opened at all.
    static std::shared_ptr<SettingsUtils> sharedAccessGroupInstance(
        const std::string& identifier, SettingReceivers settingReceivers = {});

    SettingsUtils(std::shared_ptr<platform::UserDefaults> userDefaults,
                  SettingReceivers settingReceivers);

    /// The string under `key`. When the store has none, the receivers are asked in order for a
    /// key they answer for; the first answer is stored (an empty one is not) and returned.
    std::optional<std::string> get(const std::string& key) const;
    std::optional<std::string> get(Setting setting) const { return get(toString(setting)); }
    std::optional<std::string> get(ClientSetting setting) const { return get(toString(setting)); }

    /// Stores `value` under `key`; an empty value removes the key.
    void set(const std::string& key, const std::string& value) const;
    void set(Setting setting, const std::string& value) const { set(toString(setting), value); }
    void set(ClientSetting setting, const std::string& value) const {
        set(toString(setting), value);
    }

    /// Stores each value under its setting (an empty value removes it) in one transaction:
    /// another thread or process sees all of them or none.
    void set(const std::vector<std::pair<ClientSetting, std::string>>& values) const;

    const platform::UserDefaults& userDefaults() const { return *userDefaults_; }

  private:
    /// The suite the store of `identifier` is opened under, before any fallback.
    static std::string suiteName(const std::string& identifier);
    std::optional<std::string> askReceivers(std::string_view key) const;

    std::shared_ptr<platform::UserDefaults> userDefaults_;
    SettingReceivers settingReceivers_;
};

}  // namespace orvanpush::detail
