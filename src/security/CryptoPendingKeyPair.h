#pragma once

// The device key is committed only on the server's word. A subscription generates its fresh
// pair under pending tags and sends that public key; when the server accepts it, the pending
// pair replaces the instance's pair in one keychain transaction; otherwise it is deleted. Every
// other request signs with the committed pair, in either process, at every moment. Beside each
// pending pair a record may be kept (a generic password of the instance's group whose account is
// the pair's tag stem): what its caller needs to settle the pair later, removed with the pair.
//
//   auto pending = PendingKeyPair::make("myInstance");
//   generateKeyPair("myInstance", pending.publicTag, pending.privateTag, kSecAttrKeyTypeRSA, 1024);
//   ... send getPublicKeyString(... pending tags ...) ...
//   success ? pending.commit() : pending.remove();

#include <string>
#include <utility>
#include <vector>

#include "orvanpush/Types.h"
#include "platform/SecItem.h"

namespace orvanpush::detail {

/// The tags of an instance's committed pair: identifier + ".public" and identifier + ".private".
std::string publicKeyTag(const std::string& identifier);
std::string privateKeyTag(const std::string& identifier);

struct PendingKeyPair {
    /// The instance identifier (the access group of the keys).
    std::string identifier;
    /// identifier + ".pending-" + UUID + ".public", and the same with ".private".
    std::string publicTag;
    std::string privateTag;

    /// Fresh pending tags for the instance `identifier`.
    static PendingKeyPair make(const std::string& identifier);

    /// Every record kept beside a pending pair of the instance, newest first, with its pair.
    /// Empty when there are none or the keychain cannot be read.
    static std::vector<std::pair<PendingKeyPair, Json>> recorded(const std::string& identifier);

    /// Adds the record beside the pair, or replaces it: errSecSuccess or the failing status.
    platform::OSStatus record(const Json& value) const;

    /// Makes the pending pair the instance's pair: in one keychain transaction, deletes every
    /// key under the instance's tags, re-tags both pending keys to them and deletes the pair's
    /// record. errSecSuccess, or
    /// the failing status with nothing changed (errSecItemNotFound when a pending half is
    /// missing).
    platform::OSStatus commit() const;

    /// Deletes both pending keys and the record; errSecItemNotFound when there were no keys.
    platform::OSStatus remove() const;
};

}  // namespace orvanpush::detail
