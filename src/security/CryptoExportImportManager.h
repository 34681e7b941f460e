#pragma once

// Wraps the raw public-key bytes the key store exports into a DER-encoded X.509
// SubjectPublicKeyInfo, the form the push server reads:
//
//   CryptoExportImportManager manager;
//   Bytes der = manager.exportRSAPublicKeyToDER(pkcs1Bytes);  // 162 bytes for RSA 1024

#include "orvanpush/Types.h"

namespace orvanpush::detail {

class CryptoExportImportManager {
  public:
    /// The uncompressed point `rawKey` (04, X, Y) behind the SubjectPublicKeyInfo header of the
    /// named curve of `keySize` (256: prime256v1, 384: secp384r1, 521: secp521r1); the point
    /// alone for any other size. Writes "Exporting EC raw key: <n> bytes" to the console first.
    Bytes exportECPublicKeyToDER(const Bytes& rawKey, int keySize) const;

    /// The PKCS #1 RSAPublicKey `rawKey` wrapped with the rsaEncryption algorithm identifier.
    Bytes exportRSAPublicKeyToDER(const Bytes& rawKey) const;
};

}  // namespace orvanpush::detail
