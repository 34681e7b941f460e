#include "orvanpush/KeyChainAccessGroupHelper.h"

#include <string_view>
#include <vector>

#include "platform/SecItem.h"
#include "security/KeyChainUtil.h"
#include "utils/logger/log_manager/SdkLog.h"

namespace orvanpush {
namespace {

using namespace platform;
using detail::KeyChain;
using detail::SdkLog;

constexpr const char* detectionProbeAccount = "detectAppIdentifierForKeyChainGroupIdUsage";
constexpr const char* prefixProbeAccount = "bundleSeedID";

// A probe item carries no access group, so the keychain files it under the application's
// default group and reports that group back in the item's attributes.
Json probeQuery(const char* account) {
    return {{kSecClass, kSecClassGenericPassword},
            {kSecAttrAccount, account},
            {kSecAttrService, ""},
            {kSecAttrAccessible, kSecAttrAccessibleAlways},
            {kSecReturnAttributes, true}};
}

std::optional<std::string> accessGroupOf(const Json& attributes) {
    if (!attributes.is_object()) {
        return std::nullopt;
    }
    auto group = attributes.find(kSecAttrAccessGroup);
    if (group == attributes.end() || !group->is_string()) {
        return std::nullopt;
    }
    return group->get<std::string>();
}

// Every piece between dots, empty ones included: "a..b" has three.
std::vector<std::string_view> splitAtDots(std::string_view text) {
    std::vector<std::string_view> pieces;
    for (std::size_t start = 0;;) {
        std::size_t dot = text.find('.', start);
        if (dot == std::string_view::npos) {
            pieces.push_back(text.substr(start));
            return pieces;
        }
        pieces.push_back(text.substr(start, dot - start));
        start = dot + 1;
    }
}

std::string joinWithDots(const std::vector<std::string_view>& pieces) {
    std::string joined;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (i > 0) {
            joined += '.';
        }
        joined += pieces[i];
    }
    return joined;
}

KeyChainAccessGroupInfo infoWithoutPrefix(const std::string& accessGroup) {
    auto pieces = splitAtDots(accessGroup);
    std::string_view prefix = pieces.front();
    std::erase(pieces, prefix);
    return {std::string(prefix), joinWithDots(pieces), accessGroup};
}

KeyChainAccessGroupInfo infoWithWholeGroup(const std::string& accessGroup) {
    auto pieces = splitAtDots(accessGroup);
    return {std::string(pieces.front()), joinWithDots(pieces), accessGroup};
}

}  // namespace

std::optional<KeyChainAccessGroupInfo> KeyChainAccessGroupHelper::getAccessGroupInfo() {
    Json query = probeQuery(detectionProbeAccount);
    query[kSecAttrSynchronizable] = true;
    Json result;
    OSStatus status = SecItemCopyMatching(query, &result);
    if (status == errSecItemNotFound) {
        OSStatus addStatus = SecItemAdd(query, nullptr);
        KeyChain::logStatus(addStatus);
        // A concurrent first call may have created the probe between our look-up and our add;
        // its item serves us just as well, so only a real failure ends the detection here.
        if (addStatus != errSecSuccess && addStatus != errSecDuplicateItem) {
            return std::nullopt;
        }
        status = SecItemCopyMatching(query, &result);
        KeyChain::logStatus(status);
    }
    KeyChain::logStatus(status);
    if (status != errSecSuccess) {
        return std::nullopt;
    }
    auto accessGroup = accessGroupOf(result);
    if (!accessGroup) {
        return std::nullopt;
    }
    SdkLog::trace(LogSeverity::info, LoggerModule::crypto);
    return infoWithoutPrefix(*accessGroup);
}

std::optional<KeyChainAccessGroupInfo> KeyChainAccessGroupHelper::applicationPrefix() {
    Json query = probeQuery(prefixProbeAccount);
    Json result;
    OSStatus status = SecItemCopyMatching(query, &result);
    if (status == errSecItemNotFound) {
        status = SecItemAdd(query, &result);
        if (status == errSecDuplicateItem) {
            status = SecItemCopyMatching(query, &result);
        }
    }
    if (status != errSecSuccess) {
        return std::nullopt;
    }
    auto accessGroup = accessGroupOf(result);
    if (!accessGroup) {
        return std::nullopt;
    }
    return infoWithWholeGroup(*accessGroup);
}

}  // namespace orvanpush
