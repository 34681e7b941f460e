#include "security/CryptoPendingKeyPair.h"

#include <array>

#include "platform/ProcessInfo.h"
#include "security/KeyChainUtil.h"

namespace orvanpush::detail {
namespace {

using namespace platform;

// Every key of the instance's access group under `tag`, of either class.
Json keysUnder(const std::string& identifier, const std::string& tag) {
    return {{kSecClass, kSecClassKey},
            {kSecAttrAccessGroup, KeyChain::getKeychainGroup(identifier)},
            {kSecAttrApplicationTag, Json::binary(Bytes(tag.begin(), tag.end()))}};
}

}  // namespace

std::string publicKeyTag(const std::string& identifier) {
    return identifier + ".public";
}

std::string privateKeyTag(const std::string& identifier) {
    return identifier + ".private";
}

PendingKeyPair PendingKeyPair::make(const std::string& identifier) {
    const std::string stem = identifier + ".pending-" + makeUuid();
    return {identifier, stem + ".public", stem + ".private"};
}

OSStatus PendingKeyPair::commit() const {
    const std::array<std::pair<std::string, std::string>, 2> retags{
        {{publicTag, publicKeyTag(identifier)}, {privateTag, privateKeyTag(identifier)}}};
    return SecItemTransaction([&] {
        for (const auto& [pending, committed] : retags) {
            const OSStatus deleted = SecItemDelete(keysUnder(identifier, committed));
            if (deleted != errSecSuccess && deleted != errSecItemNotFound) {
                return deleted;
            }
        }
        for (const auto& [pending, committed] : retags) {
            const Json tag = {
                {kSecAttrApplicationTag, Json::binary(Bytes(committed.begin(), committed.end()))}};
            if (OSStatus updated = SecItemUpdate(keysUnder(identifier, pending), tag);
                updated != errSecSuccess) {
                return updated;
            }
        }
        return errSecSuccess;
    });
}

OSStatus PendingKeyPair::remove() const {
    return SecItemTransaction([&] {
        const OSStatus publicStatus = SecItemDelete(keysUnder(identifier, publicTag));
        const OSStatus privateStatus = SecItemDelete(keysUnder(identifier, privateTag));
        if (publicStatus == errSecItemNotFound && privateStatus == errSecItemNotFound) {
            return errSecItemNotFound;
        }
        for (OSStatus status : {publicStatus, privateStatus}) {
            if (status != errSecSuccess && status != errSecItemNotFound) {
                return status;
            }
        }
        return errSecSuccess;
    });
}

}  // namespace orvanpush::detail
