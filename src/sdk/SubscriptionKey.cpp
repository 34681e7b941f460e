#include "sdk/SubscriptionKey.h"

#include <utility>

#include "sdk/PushSDKState.h"
#include "security/Crypto.h"

namespace orvanpush::detail {

std::shared_ptr<SubscriptionKey> SubscriptionKey::generate(const std::string& identifier) {
    auto pending = PendingKeyPair::make(identifier);
    const bool generated = generateKeyPair(identifier, pending.publicTag, pending.privateTag,
                                           PushSDKState::keyType, PushSDKState::keySize);
    return std::make_shared<SubscriptionKey>(identifier,
                                             generated ? std::optional(pending) : std::nullopt);
}

SubscriptionKey::SubscriptionKey(std::string identifier, std::optional<PendingKeyPair> pending)
    : identifier_(std::move(identifier)), pending_(std::move(pending)) {}

SubscriptionKey::~SubscriptionKey() {
    discard();
}

std::string SubscriptionKey::publicKey() const {
    return pending_ ? getPublicKeyString(identifier_, pending_->publicTag, pending_->privateTag,
                                         PushSDKState::keyType, PushSDKState::keySize)
                    : getPublicKeyString(identifier_, publicKeyTag(identifier_),
                                         privateKeyTag(identifier_), PushSDKState::keyType,
                                         PushSDKState::keySize);
}

platform::OSStatus SubscriptionKey::commit() const {
    return pending_ ? pending_->commit() : platform::errSecSuccess;
}

void SubscriptionKey::keep() {
    pending_.reset();
}

void SubscriptionKey::discard() {
    if (pending_) {
        pending_->remove();
        pending_.reset();
    }
}

}  // namespace orvanpush::detail
