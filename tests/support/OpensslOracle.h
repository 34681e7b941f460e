#pragma once

// The openssl command as the independent judge of keys and signatures.
//
//   EXPECT_TRUE(opensslVerifies(publicKeyBase64, signatureBase64, "signed text"));

#include <string>

#include "orvanpush/Types.h"

namespace orvanpush::testing {

/// The bytes of standard Base64 text, decoded by `openssl base64`.
Bytes opensslBase64Decode(const std::string& text);

/// True when `signature` (Base64) is an RSA PKCS #1 v1.5 SHA-1 signature of `text` by the key
/// whose DER SubjectPublicKeyInfo is `publicKey` (Base64), as `openssl dgst -verify` finds.
bool opensslVerifies(const std::string& publicKey, const std::string& signature,
                     const std::string& text);

/// True when `openssl pkey` reads `publicKey` (Base64 DER) as a public key.
bool opensslReadsPublicKey(const std::string& publicKey);

}  // namespace orvanpush::testing
