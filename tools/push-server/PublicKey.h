#pragma once

// A subscriber's public key, as the subscription carries it: the Base64 text of a DER-encoded
// X.509 SubjectPublicKeyInfo. Requests are signed with PKCS #1 v1.5 over SHA-1 (RSA keys), so
// this is also where signatures are checked.

#include <memory>
#include <string>
#include <string_view>
#include <variant>

struct evp_pkey_st;

namespace orvanpush::server {

class PublicKey {
  public:
    /// The key of a Base64 SubjectPublicKeyInfo, or the reason it is not one: bad Base64, a DER
    /// structure OpenSSL refuses, trailing bytes, or an encoding that is not the canonical DER
    /// of the key it holds.
    static std::variant<PublicKey, std::string> parse(std::string_view base64);

    /// True when `signatureBase64` is the padded Base64 of a valid signature of `message` by the
    /// private half of this key, made over the SHA-1 digest.
    bool verifies(std::string_view message, std::string_view signatureBase64) const;

    /// "RSA", "EC" or OpenSSL's name of another key type.
    std::string type() const;
    int bits() const;
    /// The DER size of the SubjectPublicKeyInfo (162 bytes for RSA 1024).
    std::size_t derSize() const { return derSize_; }

  private:
    PublicKey(std::shared_ptr<evp_pkey_st> key, std::size_t derSize)
        : key_(std::move(key)), derSize_(derSize) {}

    std::shared_ptr<evp_pkey_st> key_;  // never modified after parsing, so shared by copies
    std::size_t derSize_;
};

}  // namespace orvanpush::server
