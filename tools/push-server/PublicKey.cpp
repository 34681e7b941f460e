#include "PublicKey.h"

#include <cstring>

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/x509.h>

#include "Base64.h"

namespace orvanpush::server {
namespace {

struct DigestContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

}  // namespace

std::variant<PublicKey, std::string> PublicKey::parse(std::string_view base64) {
    const auto der = base64Decode(base64);
    if (!der) {
        return std::string("the public key is not padded Base64");
    }
    const auto* cursor = reinterpret_cast<const unsigned char*>(der->data());
    std::shared_ptr<EVP_PKEY> key(d2i_PUBKEY(nullptr, &cursor, static_cast<long>(der->size())),
                                  EVP_PKEY_free);
    if (!key) {
        ERR_clear_error();
        return std::string("the public key is not a DER SubjectPublicKeyInfo");
    }
    if (cursor != reinterpret_cast<const unsigned char*>(der->data() + der->size())) {
        return std::string("the public key has bytes after its SubjectPublicKeyInfo");
    }
    unsigned char* canonical = nullptr;
    const int canonicalSize = i2d_PUBKEY(key.get(), &canonical);
    const bool same = canonicalSize == static_cast<int>(der->size()) &&
                      std::memcmp(der->data(), canonical, der->size()) == 0;
    OPENSSL_free(canonical);
    if (!same) {
        return std::string("the public key is not in canonical DER");
    }
    return PublicKey(std::move(key), der->size());
}

bool PublicKey::verifies(std::string_view message, std::string_view signatureBase64) const {
    const auto signature = base64Decode(signatureBase64);
    if (!signature || signature->empty()) {
        return false;
    }
    std::unique_ptr<EVP_MD_CTX, DigestContextFree> context(EVP_MD_CTX_new());
    if (!context ||
        EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha1(), nullptr, key_.get()) != 1) {
        return false;
    }
    const bool valid =
        EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char*>(signature->data()),
                         signature->size(), reinterpret_cast<const unsigned char*>(message.data()),
                         message.size()) == 1;
    ERR_clear_error();  // a refused signature leaves its reason on this thread's error queue
    return valid;
}

std::string PublicKey::type() const {
    switch (EVP_PKEY_get_base_id(key_.get())) {
        case EVP_PKEY_RSA:
            return "RSA";
        case EVP_PKEY_EC:
            return "EC";
        default:
            return OBJ_nid2sn(EVP_PKEY_get_base_id(key_.get()));
    }
}

int PublicKey::bits() const {
    return EVP_PKEY_get_bits(key_.get());
}

}  // namespace orvanpush::server
