#include "security/KeyChainUtil.h"

#include <array>
#include <charconv>

#include "orvanpush/KeyChainAccessGroupHelper.h"
#include "orvanpush/TextError.h"
#include "orvanpush/platform/PlatformConfig.h"
#include "platform/Home.h"
#include "utils/logger/log_manager/SdkLog.h"

namespace orvanpush::detail {
namespace {

using namespace platform;

using Version = std::array<unsigned long, 3>;

// Reads major, minor and patch from the front of `text`; a component stops at its first
// non-digit and the rest of the text is ignored, so a kernel release such as "6.1.0-18-amd64"
// reads as 6.1.0. Missing components are zero.
Version leadingVersion(std::string_view text) {
    Version version{0, 0, 0};
    const char* position = text.data();
    const char* end = text.data() + text.size();
    for (auto& component : version) {
        auto [next, error] = std::from_chars(position, end, component);
        if (error != std::errc()) {
            break;
        }
        position = next;
        if (position == end || *position != '.') {
            break;
        }
        ++position;
    }
    return version;
}

Json passwordItem(const std::string& key) {
    return {{kSecClass, kSecClassGenericPassword}, {kSecAttrAccount, key}};
}

void restrictToGroup(Json& query, const std::optional<std::string>& accessGroup) {
    if (accessGroup) {
        query[kSecAttrAccessGroup] = KeyChain::getKeychainGroup(*accessGroup);
    }
}

}  // namespace

OSStatus KeyChain::save(const std::string& key, const Bytes& data,
                        const std::optional<std::string>& accessGroup) {
    Json item = passwordItem(key);
    item[kSecValueData] = Json::binary(data);
    if (accessGroup) {
        restrictToGroup(item, accessGroup);
        SdkLog::trace(LogSeverity::info, LoggerModule::crypto);
    }
    // Clears an earlier item of the same key and group, so that the add is not a duplicate. One
    // transaction: the other process never finds the item missing in between, and a failed add
    // keeps the earlier item.
    return SecItemTransaction([&] {
        SecItemDelete(item);
        item[kSecAttrAccessible] = accessibility();
        return SecItemAdd(item, nullptr);
    });
}

namespace {

struct Loaded {
    OSStatus status;
    std::optional<Bytes> bytes;
};

Loaded loadItem(const std::string& key, const std::optional<std::string>& accessGroup,
                SourceLocation site) {
    Json query = passwordItem(key);
    query[kSecReturnData] = true;
    query[kSecMatchLimit] = kSecMatchLimitOne;
    restrictToGroup(query, accessGroup);
    Json result;
    const OSStatus status = SecItemCopyMatching(query, &result);
    KeyChain::logStatus(status, site);
    if (status != errSecSuccess || !result.is_binary()) {
        return {status, std::nullopt};
    }
    const auto& bytes = result.get_binary();
    return {status, Bytes(bytes.begin(), bytes.end())};
}

}  // namespace

std::optional<Bytes> KeyChain::load(const std::string& key,
                                    const std::optional<std::string>& accessGroup) {
    return loadItem(key, accessGroup, SourceLocation::current()).bytes;
}

std::optional<Bytes> KeyChain::loadOrThrow(const std::string& key,
                                           const std::optional<std::string>& accessGroup) {
    auto loaded = loadItem(key, accessGroup, SourceLocation::current());
    if (loaded.status == errSecIO) {
        throw TextError("The keychain " + Home::keychainFile().string() +
                        " cannot be read (OSStatus: " + std::to_string(loaded.status) + ")");
    }
    return std::move(loaded.bytes);
}

OSStatus KeyChain::deleteItem(const std::string& key,
                              const std::optional<std::string>& accessGroup) {
    Json query = passwordItem(key);
    restrictToGroup(query, accessGroup);
    OSStatus status = SecItemDelete(query);
    logStatus(status);
    return status;
}

std::string KeyChain::getKeychainGroup(const std::string& accessGroup) {
    auto info = KeyChainAccessGroupHelper::getAccessGroupInfo();
    if (!info) {
        SdkLog::trace(LogSeverity::error, LoggerModule::crypto);
        return accessGroup;
    }
    SdkLog::trace(LogSeverity::info, LoggerModule::crypto);
    return info->prefix + "." + accessGroup;
}

void KeyChain::logStatus(OSStatus status, SourceLocation site) {
    SdkLog::message(LogSeverity::info, LoggerModule::crypto, "OSStatus: " + std::to_string(status),
                    site);
}

const char* KeyChain::accessibility() {
    static const char* const chosen = accessibilityFor(PlatformConfig::current()->osVersion);
    return chosen;
}

const char* KeyChain::accessibilityFor(std::string_view osVersion) {
    constexpr Version firstWithAfterFirstUnlock{13, 0, 0};
    return leadingVersion(osVersion) >= firstWithAfterFirstUnlock
               ? kSecAttrAccessibleAfterFirstUnlock
               : kSecAttrAccessibleAlways;
}

}  // namespace orvanpush::detail
