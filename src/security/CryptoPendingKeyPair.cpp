#include "security/CryptoPendingKeyPair.h"

#include <array>
#include <string_view>

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

// The records kept beside pending pairs: generic passwords of the instance's group.
constexpr const char* recordService = "orvanpush.pendingKeyPair";

Json recordsOf(const std::string& identifier) {
    return {{kSecClass, kSecClassGenericPassword},
            {kSecAttrAccessGroup, KeyChain::getKeychainGroup(identifier)},
            {kSecAttrService, recordService}};
}

constexpr std::string_view publicSuffix = ".public";

std::string stemOf(const PendingKeyPair& pair) {
    return pair.publicTag.substr(0, pair.publicTag.size() - publicSuffix.size());
}

Json recordOf(const PendingKeyPair& pair) {
    Json query = recordsOf(pair.identifier);
    query[kSecAttrAccount] = stemOf(pair);
    return query;
}

PendingKeyPair pairOf(const std::string& identifier, const std::string& stem) {
    return {identifier, stem + std::string(publicSuffix), stem + ".private"};
}

// errSecSuccess for the outcome of a delete that may find nothing.
OSStatus ignoringAbsence(OSStatus status) {
    return status == errSecItemNotFound ? errSecSuccess : status;
}

}  // namespace

std::string publicKeyTag(const std::string& identifier) {
    return identifier + ".public";
}

std::string privateKeyTag(const std::string& identifier) {
    return identifier + ".private";
}

PendingKeyPair PendingKeyPair::make(const std::string& identifier) {
    return pairOf(identifier, identifier + ".pending-" + makeUuid());
}

std::vector<std::pair<PendingKeyPair, Json>> PendingKeyPair::recorded(
    const std::string& identifier) {
    Json query = recordsOf(identifier);
    query[kSecReturnAttributes] = true;
    query[kSecReturnData] = true;
    query[kSecMatchLimit] = kSecMatchLimitAll;
    Json found;
    std::vector<std::pair<PendingKeyPair, Json>> records;
    if (SecItemCopyMatching(query, &found) != errSecSuccess) {
        return records;
    }
    for (const auto& item : found) {
        const auto& data = item.at(kSecValueData).get_binary();
        records.emplace_back(pairOf(identifier, item.at(kSecAttrAccount).get<std::string>()),
                             Json::parse(data.begin(), data.end(), nullptr, false));
    }
    return records;
}

OSStatus PendingKeyPair::record(const Json& value) const {
    const std::string text = value.dump();
    const Json data = {{kSecValueData, Json::binary(Bytes(text.begin(), text.end()))}};
    return SecItemTransaction([&] {
        const OSStatus updated = SecItemUpdate(recordOf(*this), data);
        if (updated != errSecItemNotFound) {
            return updated;
        }
        Json added = recordOf(*this);
        added.update(data);
        return SecItemAdd(added, nullptr);
    });
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
        return ignoringAbsence(SecItemDelete(recordOf(*this)));
    });
}

OSStatus PendingKeyPair::remove() const {
    bool noKeys = false;
    const OSStatus status = SecItemTransaction([&] {
        const OSStatus publicStatus = SecItemDelete(keysUnder(identifier, publicTag));
        const OSStatus privateStatus = SecItemDelete(keysUnder(identifier, privateTag));
        const OSStatus recordStatus = SecItemDelete(recordOf(*this));
        noKeys = publicStatus == errSecItemNotFound && privateStatus == errSecItemNotFound;
        for (OSStatus each : {publicStatus, privateStatus, recordStatus}) {
            if (ignoringAbsence(each) != errSecSuccess) {
                return each;
            }
        }
        return errSecSuccess;
    });
    return status == errSecSuccess && noKeys ? errSecItemNotFound : status;
}

}  // namespace orvanpush::detail
