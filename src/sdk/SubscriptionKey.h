#pragma once

// The key pair a subscription sends. The device key is committed only on the server's word: a
// fresh pair is generated under pending tags and its public key sent; the server's success makes
// it the device key, and any other end deletes it, so the pair the server holds keeps signing
// every request of both processes meanwhile. When generating fails, the committed pair's public
// key is sent and nothing is committed or deleted.
//
//   auto key = SubscriptionKey::generate(state.identifier);
//   object.publicKey = key->publicKey();
//   ... on success, inside the identity change: key->commit(); once that has held: key->keep()
//   ... otherwise the fresh pair is deleted when the last owner lets go

#include <memory>
#include <optional>
#include <string>

#include "platform/SecItem.h"
#include "security/CryptoPendingKeyPair.h"

namespace orvanpush::detail {

class SubscriptionKey {
  public:
    /// Generates a fresh pair for the instance `identifier` under pending tags.
    static std::shared_ptr<SubscriptionKey> generate(const std::string& identifier);

    SubscriptionKey(std::string identifier, std::optional<PendingKeyPair> pending);
    /// Deletes a fresh pair that was not committed.
    ~SubscriptionKey();
    SubscriptionKey(const SubscriptionKey&) = delete;
    SubscriptionKey& operator=(const SubscriptionKey&) = delete;

    /// The public key string to send. Throws the TextError of getPublicKeyString.
    std::string publicKey() const;
    /// Makes the fresh pair the device key, replacing every pair under the instance's tags in
    /// one keychain transaction (or the one under way): errSecSuccess, or the failing status
    /// with nothing changed. errSecSuccess at once when the committed pair was sent.
    platform::OSStatus commit() const;
    /// Marks the commit as final once the transaction holding it has ended well: the pair is
    /// the device key, nothing is left to delete.
    void keep();
    /// Deletes the fresh pair unless it was kept. After a commit that was undone it is found
    /// under its pending tags again.
    void discard();

  private:
    std::string identifier_;
    std::optional<PendingKeyPair> pending_;
};

}  // namespace orvanpush::detail
