#include "utils/SettingsUtils.h"

#include <algorithm>
#include <array>
#include <utility>

#include "orvanpush/TextError.h"
#include "orvanpush/platform/PlatformConfig.h"
#include "security/KeyChainUtil.h"
#include "text/Utf8Text.h"
#include "utils/logger/log_manager/SdkLog.h"

namespace orvanpush::detail {
namespace {

/// The receiver requirement that answers for a key; null for keys no receiver answers.
using Requirement = std::optional<std::string> (SettingReceiver::*)();

template <class Case>
struct KeyEntry {
    Case setting;
    std::string_view key;
    Requirement requirement;
};

constexpr std::array<KeyEntry<Setting>, 14> settingKeys{{
    {Setting::ProtocolType, "protocolTypeKey", &SettingReceiver::getProtocolType},
    {Setting::ServerAddress, "serverAddressKey", &SettingReceiver::getServerAddress},
    {Setting::ServerPort, "serverPortKey", &SettingReceiver::getServerPort},
    {Setting::ServerContext, "serverContextKey", &SettingReceiver::getServerContext},
    {Setting::ServerLogin, "serverLoginKey", &SettingReceiver::getServerLogin},
    {Setting::ServerPassword, "serverPasswordKey", &SettingReceiver::getServerPassword},
    {Setting::LogServerProtocolType, "logServerProtocolTypeKey",
     &SettingReceiver::getLogServerProtocolType},
    {Setting::LogServerAddress, "logServerAddressKey", &SettingReceiver::getLogServerAddress},
    {Setting::LogServerPort, "logServerPortKey", &SettingReceiver::getLogServerPort},
    {Setting::LogServerContext, "logServerContextKey", &SettingReceiver::getLogServerContext},
    {Setting::SharedAppGroup, "sharedAppGroup", &SettingReceiver::getSharedAppGroup},
    {Setting::SilenceDuplicates, "silenceDuplicates", &SettingReceiver::getSilenceDuplicates},
    {Setting::StorageQuantityLimit, "storageQuantityLimit",
     &SettingReceiver::getStorageQuantityLimit},
    {Setting::StorageDaysLimit, "storageDaysLimit", &SettingReceiver::getStorageDaysLimit},
}};

constexpr std::array<KeyEntry<ClientSetting>, 5> clientSettingKeys{{
    {ClientSetting::ClientId, "clientIdKey", &SettingReceiver::getClientId},
    {ClientSetting::DeviceId, "deviceIdKey", &SettingReceiver::getDeviceId},
    {ClientSetting::Token, "tokenKey", &SettingReceiver::getToken},
    {ClientSetting::Version, "version", nullptr},
    {ClientSetting::Messages, "messages", nullptr},
}};

// The tables are indexed by case, so their rows follow the declaration order.
template <class Case, std::size_t N>
constexpr bool inDeclarationOrder(const std::array<KeyEntry<Case>, N>& table) {
    for (std::size_t i = 0; i < N; ++i) {
        if (static_cast<std::size_t>(table[i].setting) != i) {
            return false;
        }
    }
    return true;
}
static_assert(inDeclarationOrder(settingKeys));
static_assert(inDeclarationOrder(clientSettingKeys));

template <class Case, std::size_t N>
const KeyEntry<Case>* entryFor(const std::array<KeyEntry<Case>, N>& table, std::string_view key) {
    auto found = std::find_if(table.begin(), table.end(),
                              [key](const KeyEntry<Case>& entry) { return entry.key == key; });
    return found == table.end() ? nullptr : &*found;
}

template <class Case, std::size_t N>
std::string keyOf(const std::array<KeyEntry<Case>, N>& table, Case setting) {
    return std::string(table[static_cast<std::size_t>(setting)].key);
}

/// The requirement answering for `key`, looking at the configuration keys first.
Requirement requirementFor(std::string_view key) {
    if (const auto* entry = entryFor(settingKeys, key)) {
        return entry->requirement;
    }
    if (const auto* entry = entryFor(clientSettingKeys, key)) {
        return entry->requirement;
    }
    return nullptr;
}

constexpr std::string_view groupPrefix = "group.";

}  // namespace

std::string toString(Setting setting) {
    return keyOf(settingKeys, setting);
}

std::string toString(ClientSetting setting) {
    return keyOf(clientSettingKeys, setting);
}

std::string SettingsUtils::suiteName(const std::string& identifier) {
    const auto stored = KeyChain::loadOrThrow(toString(Setting::SharedAppGroup), identifier);
    const auto group = stored ? decodeUtf8(*stored) : std::nullopt;
    if (!group) {
        SdkLog::trace(LogSeverity::info, LoggerModule::sdk);
        return identifier;
    }
    SdkLog::trace(LogSeverity::info, LoggerModule::sdk);
    // "group.x" and "x" name the same group: one prefix is taken off, one put back.
    std::string_view name = *group;
    if (name.starts_with(groupPrefix)) {
        name.remove_prefix(groupPrefix.size());
    }
    return std::string(groupPrefix) + std::string(name);
}

std::shared_ptr<SettingsUtils> SettingsUtils::sharedAccessGroupInstance(
    const std::string& identifier, SettingReceivers settingReceivers) {
    // Only a refused suite name falls back: a shared store that exists but cannot be opened is
    // an error, or the application would work on a store its extension never sees.
    auto userDefaults = platform::UserDefaults::suiteChecked(suiteName(identifier));
    if (!userDefaults) {
        SdkLog::trace(LogSeverity::error, LoggerModule::sdk);
        userDefaults = platform::UserDefaults::suiteChecked(
            platform::PlatformConfig::current()->bundleIdentifier);
    }
    if (!userDefaults) {
        // Not even the process's own store opens (unusable home): writing nowhere while
        // reporting success would lose the configuration.
        throw TextError("Settings store cannot be opened for instance " + identifier);
    }
    return std::make_shared<SettingsUtils>(std::move(userDefaults), std::move(settingReceivers));
}

SettingsUtils::SettingsUtils(std::shared_ptr<platform::UserDefaults> userDefaults,
                             SettingReceivers settingReceivers)
    : userDefaults_(std::move(userDefaults)), settingReceivers_(std::move(settingReceivers)) {}

std::optional<std::string> SettingsUtils::get(const std::string& key) const {
    if (auto stored = userDefaults_->string(key)) {
        return stored;
    }
    auto received = askReceivers(key);
    // An empty answer is returned but not stored, so the next get asks again.
    if (received && !received->empty()) {
        set(key, *received);
    }
    return received;
}

void SettingsUtils::set(const std::string& key, const std::string& value) const {
    if (value.empty()) {
        userDefaults_->remove(key);
    } else {
        userDefaults_->set(key, value);
    }
}

void SettingsUtils::set(const std::vector<std::pair<ClientSetting, std::string>>& values) const {
    std::vector<std::pair<std::string, std::optional<std::string>>> changes;
    for (const auto& [setting, value] : values) {
        changes.emplace_back(toString(setting),
                             value.empty() ? std::nullopt : std::optional(value));
    }
    userDefaults_->setStrings(changes);
}

std::optional<std::string> SettingsUtils::askReceivers(std::string_view key) const {
    const Requirement requirement = settingReceivers_.empty() ? nullptr : requirementFor(key);
    if (requirement == nullptr) {
        return std::nullopt;
    }
    for (const auto& receiver : settingReceivers_) {
        if (!receiver) {
            continue;
        }
        if (auto answer = (*receiver.*requirement)()) {
            return answer;
        }
    }
    return std::nullopt;
}

}  // namespace orvanpush::detail
