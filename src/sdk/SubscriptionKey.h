#pragma once

// The key pair a subscription sends. The device key is committed only on the server's word: a
// fresh pair is generated under pending tags and its public key sent; the server's success makes
// it the device key, and its refusal deletes it, so the pair the server holds keeps signing
// every request of both processes meanwhile. When generating fails, the committed pair's public
// key is sent and nothing is committed or deleted.
//
// A request that went out and got no answer (a time-out, a transport failure, the process ended
// or killed) leaves its pair pending, recorded in the keychain with what the request carried:
// the server may hold it. Reconciliation (KeyReconciliation.h) settles it on the server's word;
// pairs recorded more than a day ago are removed by the next operation that holds the turn.
//
//   auto key = SubscriptionKey::generate(state.identifier);
//   object.publicKey = key->publicKey();
//   ... with the instance's turn: key->markSent(registration); send ...
//   ... success: key->commit() inside the identity change; refusal: key->discard()
//   ... a pair never sent is deleted when the last owner lets go

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "platform/SecItem.h"
#include "security/CryptoPendingKeyPair.h"

namespace orvanpush::detail {

class SubscriptionKey {
  public:
    /// What a subscription request registers: stored with its pair once the pair is the
    /// device key.
    struct Registration {
        std::optional<std::string> deviceId;
        std::string clientId;
        std::string token;
    };

    /// A pending pair whose request went out and was never answered, with what it carried.
    struct Unanswered {
        PendingKeyPair pair;
        Registration registration;
    };

    /// How long a pending pair is kept before it counts as an orphan.
    static constexpr std::chrono::hours orphanAge{24};

    /// Generates a fresh pair for the instance `identifier` under pending tags, recorded as
    /// not sent.
    static std::shared_ptr<SubscriptionKey> generate(const std::string& identifier);

    /// The newest pending pair of the instance whose request went out unanswered. Call it
    /// holding the instance's turn, so that no operation's request is in flight.
    static std::optional<Unanswered> newestUnanswered(const std::string& identifier);

    /// Removes the pending pairs of the instance recorded more than orphanAge ago, or whose
    /// record cannot be read. Call it holding the instance's turn.
    static void removeOrphans(const std::string& identifier);

    SubscriptionKey(std::string identifier, std::optional<PendingKeyPair> pending);
    /// Deletes a fresh pair whose request was never sent; one sent stays pending.
    ~SubscriptionKey();
    SubscriptionKey(const SubscriptionKey&) = delete;
    SubscriptionKey& operator=(const SubscriptionKey&) = delete;

    /// The public key string to send. Throws the TextError of getPublicKeyString.
    std::string publicKey() const;
    /// Records that the request carrying the pair is about to go out with `registration`.
    void markSent(const Registration& registration);
    /// Makes the fresh pair the device key, replacing every pair under the instance's tags in
    /// one keychain transaction (or the one under way): errSecSuccess, or the failing status
    /// with nothing changed. errSecSuccess at once when the committed pair was sent.
    platform::OSStatus commit() const;
    /// Deletes the fresh pair: the server refused it. After a commit that was undone it is
    /// found under its pending tags again.
    void discard();

  private:
    std::string identifier_;
    std::optional<PendingKeyPair> pending_;
    std::int64_t created_ = 0;
    bool sent_ = false;
};

}  // namespace orvanpush::detail
