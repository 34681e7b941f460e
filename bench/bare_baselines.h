#pragma once

// Pieces of the bare baselines that several benchmarks measure against: a libcurl body sink and
// the key read, DER decode and EVP signature a signed request cannot avoid.

#include <sqlite3.h>

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

#include "BenchSupport.h"
#include "orvanpush/Types.h"
#include "platform/Base64.h"

namespace orvanpush::bench {

/// A libcurl write callback that appends the answer to the std::string it is given.
inline std::size_t keepBody(char* data, std::size_t size, std::size_t count, void* body) {
    static_cast<std::string*>(body)->append(data, size * count);
    return size * count;
}

/// Reads the private key through `keyRead` (a prepared statement taking the key's tag and access
/// group), decodes its DER and signs `text` with RSA and SHA-1; the signature in base64.
inline std::string bareSignature(sqlite3_stmt* keyRead, std::string_view tag,
                                 const std::string& group, std::string_view text) {
    sqlite3_reset(keyRead);
    sqlite3_bind_blob(keyRead, 1, tag.data(), static_cast<int>(tag.size()), SQLITE_STATIC);
    sqlite3_bind_text(keyRead, 2, group.data(), static_cast<int>(group.size()), SQLITE_STATIC);
    if (sqlite3_step(keyRead) != SQLITE_ROW) {
        throw std::runtime_error("the private key row is missing");
    }
    const auto* der = static_cast<const unsigned char*>(sqlite3_column_blob(keyRead, 0));
    Owned<EVP_PKEY, EVP_PKEY_free> key(
        d2i_PrivateKey(EVP_PKEY_RSA, nullptr, &der, sqlite3_column_bytes(keyRead, 0)));
    Owned<EVP_MD_CTX, EVP_MD_CTX_free> context(EVP_MD_CTX_new());
    unsigned char signature[512];
    std::size_t length = sizeof signature;
    EVP_DigestSignInit(context.get(), nullptr, EVP_sha1(), nullptr, key.get());
    EVP_DigestSign(context.get(), signature, &length,
                   reinterpret_cast<const unsigned char*>(text.data()), text.size());
    return platform::base64Encode(Bytes(signature, signature + length));
}

}  // namespace orvanpush::bench
