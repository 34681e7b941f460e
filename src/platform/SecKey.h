#pragma once

// Keys of the keychain: generating a pair into it, and using a key found there. Key items hold
// their material: a private key as PKCS #8 DER, a public key as SubjectPublicKeyInfo DER.
//
//   Json parameters = {{kSecAttrKeyType, kSecAttrKeyTypeRSA}, {kSecAttrKeySizeInBits, 1024},
//                      {kSecPublicKeyAttrs, {{kSecAttrIsPermanent, true}, ...}},
//                      {kSecPrivateKeyAttrs, {{kSecAttrIsPermanent, true}, ...}}};
//   std::optional<SecKey> publicKey, privateKey;
//   OSStatus status = SecKeyGeneratePair(parameters, &publicKey, &privateKey);
//
//   Json item;  // found with kSecReturnAttributes and kSecReturnData
//   auto key = SecKey::fromItem(item);
//   Bytes signature = key->createSignature(kSecKeyAlgorithmRSASignatureMessagePKCS1v15SHA1, data);

#include <memory>
#include <optional>
#include <string_view>

#include "orvanpush/Types.h"
#include "platform/SecItem.h"

namespace orvanpush::platform {

// Key types beside kSecAttrKeyTypeRSA: elliptic-curve keys on the NIST prime curves.
inline constexpr const char* kSecAttrKeyTypeEC = kSecAttrKeyTypeECSECPrimeRandom;

// Generation parameters: the attribute sets of the two halves.
inline constexpr const char* kSecPublicKeyAttrs = "public";
inline constexpr const char* kSecPrivateKeyAttrs = "private";

// RSA signature with PKCS #1 v1.5 padding over the SHA-1 digest of the message.
inline constexpr const char* kSecKeyAlgorithmRSASignatureMessagePKCS1v15SHA1 =
    "algid:sign:RSA:message-PKCS1v15:SHA1";

enum class SecKeyOperationType { sign, verify };

class SecKey {
  public:
    /// The key a key item holds (an attribute dictionary with kSecAttrKeyClass and
    /// kSecValueData); nothing when the item holds no readable key.
    static std::optional<SecKey> fromItem(const Json& item);

    ~SecKey();
    SecKey(SecKey&&) noexcept;
    SecKey& operator=(SecKey&&) noexcept;

    /// A public key's external form: RSA as PKCS #1 RSAPublicKey DER, EC as the uncompressed
    /// point (04, X, Y). Nothing for a private key or when the export fails.
    std::optional<Bytes> copyExternalRepresentation() const;

    /// True when the key can do `operation` with `algorithm` (an RSA private key signs, an RSA
    /// public key verifies, with the PKCS #1 v1.5 SHA-1 algorithm).
    bool isAlgorithmSupported(SecKeyOperationType operation, std::string_view algorithm) const;

    /// The signature of `data`. Throws TextError with the cryptographic library's reason when
    /// signing fails.
    Bytes createSignature(std::string_view algorithm, const Bytes& data) const;

    /// The key's material as its key item holds it.
    Bytes itemData() const;
    /// kSecAttrKeyClassPublic or kSecAttrKeyClassPrivate.
    const char* keyClass() const;

    struct Material;

  private:
    explicit SecKey(std::unique_ptr<Material> material);
    friend OSStatus SecKeyGeneratePair(const Json&, std::optional<SecKey>*, std::optional<SecKey>*);

    std::unique_ptr<Material> material_;
};

/// Generates a pair of kSecAttrKeyType (RSA of 512 to 16384 bits, EC of 256, 384 or 521) and
/// kSecAttrKeySizeInBits, and adds each half whose attribute set (kSecPublicKeyAttrs,
/// kSecPrivateKeyAttrs) is permanent to the keychain with those attributes, both in one
/// transaction: both are added or neither. A half without kSecAttrAccessible gets the
/// parameters' accessibility. errSecParam for parameters it cannot use; else the status of the
/// adds. The keys come back through the pointers on success.
OSStatus SecKeyGeneratePair(const Json& parameters, std::optional<SecKey>* publicKey,
                            std::optional<SecKey>* privateKey);

}  // namespace orvanpush::platform
