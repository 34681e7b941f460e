#pragma once

// The device key is committed only on the server's word. A subscription generates its fresh
// pair under pending tags and sends that public key; when the server accepts it, the pending
// pair replaces the instance's pair in one keychain transaction; otherwise it is deleted. Every
// other request signs with the committed pair, in either process, at every moment.
//
//   auto pending = PendingKeyPair::make("myInstance");
//   generateKeyPair("myInstance", pending.publicTag, pending.privateTag, kSecAttrKeyTypeRSA, 1024);
//   ... send getPublicKeyString(... pending tags ...) ...
//   success ? pending.commit() : pending.remove();

#include <string>

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

    /// Makes the pending pair the instance's pair: in one keychain transaction, deletes every
    /// key under the instance's tags and re-tags both pending keys to them. errSecSuccess, or
    /// the failing status with nothing changed (errSecItemNotFound when a pending half is
    /// missing).
    platform::OSStatus commit() const;

    /// Deletes both pending keys; errSecItemNotFound when there were none.
    platform::OSStatus remove() const;
};

}  // namespace orvanpush::detail
