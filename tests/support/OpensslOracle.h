#pragma once

// The openssl command as the independent judge of keys and signatures.
//
//   EXPECT_TRUE(opensslVerifies(publicKeyBase64, signatureBase64, "signed text"));

#include <cstdlib>
#include <fstream>
#include <string>

#include "orvanpush/Types.h"
#include "support/SqliteOracle.h"
#include "support/TestHome.h"

namespace orvanpush::testing {

/// A shell command printing the bytes of the Base64 `text`.
inline std::string opensslDecoding(const std::string& text) {
    return "printf %s " + shellQuoted(text) + " | openssl base64 -d -A";
}

inline bool commandSucceeds(const std::string& command) {
    return std::system(("(" + command + ") >/dev/null 2>&1").c_str()) == 0;
}

/// The bytes of standard Base64 text, decoded by `openssl base64`.
inline Bytes opensslBase64Decode(const std::string& text) {
    const std::string bytes = commandOutput(opensslDecoding(text) + " 2>/dev/null");
    return Bytes(bytes.begin(), bytes.end());
}

/// True when `signature` (Base64) is an RSA PKCS #1 v1.5 SHA-1 signature of `text` by the key
/// whose DER SubjectPublicKeyInfo is `publicKey` (Base64), as `openssl dgst -verify` finds.
inline bool opensslVerifies(const std::string& publicKey, const std::string& signature,
                            const std::string& text) {
    TempDirectory directory;
    const auto keyFile = shellQuoted((directory.path() / "key.der").string());
    const auto signatureFile = shellQuoted((directory.path() / "signature").string());
    std::ofstream(directory.path() / "data", std::ios::binary) << text;
    return commandSucceeds(
        opensslDecoding(publicKey) + " >" + keyFile + " && " + opensslDecoding(signature) + " >" +
        signatureFile + " && openssl dgst -sha1 -keyform DER -verify " + keyFile + " -signature " +
        signatureFile + " " + shellQuoted((directory.path() / "data").string()));
}

/// True when `openssl pkey` reads `publicKey` (Base64 DER) as a public key.
inline bool opensslReadsPublicKey(const std::string& publicKey) {
    return commandSucceeds(opensslDecoding(publicKey) +
                           " | openssl pkey -pubin -inform DER -noout");
}

}  // namespace orvanpush::testing
