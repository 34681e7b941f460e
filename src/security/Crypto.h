#pragma once

// The device key pair and request signing. A subscription generates a pair in the keychain and
// sends its public key; later requests carry a signature made with the private key:
//
//   generateKeyPair("myInstance", "myInstance.public", "myInstance.private",
//                   platform::kSecAttrKeyTypeRSA, 1024);
//   std::string publicKey = getPublicKeyString("myInstance", "myInstance.public",
//                                              "myInstance.private", platform::kSecAttrKeyTypeRSA,
//                                              1024);
//   std::string signature = signString("myInstance", "myInstance.private",
//                                      platform::kSecKeyAlgorithmRSASignatureMessagePKCS1v15SHA1,
//                                      "address" "token");
//
// The access group is a bare name (expanded with getKeychainGroup); tags are matched as UTF-8
// bytes. No key material stays in memory between calls. Look-ups are not narrowed by
// accessibility: a key added by a process that chose the other accessibility is found.

#include <string>

namespace orvanpush::detail {

/// Generates a pair of `keyType` ("RSA" or "EC" key-type constant) and `keySize` bits and adds
/// both halves, permanent, under the two tags in one keychain transaction. Earlier keys under
/// the same tags stay. Throws nothing: the outcome is logged and written to the console
/// ("Generating Key Pair successfully completed" or "Error generating key pair: <status>"), and
/// returned: true when both halves were added.
bool generateKeyPair(const std::string& accessGroup, const std::string& appTagPublic,
                     const std::string& appTagPrivate, const std::string& keyType, int keySize);

/// The public key under `appTagPublic` as Base64 of its DER SubjectPublicKeyInfo (for RSA 1024:
/// 162 bytes, 216 characters). Throws TextError "Public key not found", "An error occured during
/// the public key copy process" or "An error occured during the public key export process" (a
/// key type neither EC nor RSA, compared as text).
std::string getPublicKeyString(const std::string& accessGroup, const std::string& appTagPublic,
                               const std::string& appTagPrivate, const std::string& keyType,
                               int keySize);

/// Base64 of the signature of the UTF-8 bytes of `dataToSign` with the private key under
/// `appTagPrivate` (with RSA 1024: 172 characters). Throws TextError "An error occured during
/// the private key copy process" (no such key), "Private key not found" (an unreadable one),
/// `Algorithm "<algorithm>" is not supported`, or the signing failure's own text.
std::string signString(const std::string& accessGroup, const std::string& appTagPrivate,
                       const std::string& algorithm, const std::string& dataToSign);

}  // namespace orvanpush::detail
