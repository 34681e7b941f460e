#include "platform/SecKey.h"

#include <array>
#include <cstring>
#include <mutex>
#include <string>
#include <utility>

#include <openssl/decoder.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include "orvanpush/TextError.h"

namespace orvanpush::platform {
namespace {

struct PkeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct DigestContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
struct DecoderContextFree {
    void operator()(OSSL_DECODER_CTX* context) const { OSSL_DECODER_CTX_free(context); }
};
using Pkey = std::unique_ptr<EVP_PKEY, PkeyFree>;
using DigestContext = std::unique_ptr<EVP_MD_CTX, DigestContextFree>;
using DecoderContext = std::unique_ptr<OSSL_DECODER_CTX, DecoderContextFree>;

constexpr int kSmallestRsaKey = 512;
constexpr int kLargestRsaKey = 16384;

// The reason of the cryptographic library's latest failure, and its queue emptied.
std::string libraryError(const char* what) {
    std::string text = what;
    if (unsigned long code = ERR_get_error(); code != 0) {
        std::array<char, 256> reason{};
        ERR_error_string_n(code, reason.data(), reason.size());
        text += std::string(": ") + reason.data();
    }
    ERR_clear_error();
    return text;
}

const char* curveForSize(std::int64_t bits) {
    switch (bits) {
        case 256:
            return "P-256";
        case 384:
            return "P-384";
        case 521:
            return "P-521";
        default:
            return nullptr;
    }
}

Pkey generate(const std::string& keyType, std::int64_t bits) {
    EVP_PKEY* key = nullptr;
    if (keyType == kSecAttrKeyTypeRSA && bits >= kSmallestRsaKey && bits <= kLargestRsaKey) {
        key = EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", static_cast<std::size_t>(bits));
    } else if (const char* curve = curveForSize(bits); keyType == kSecAttrKeyTypeEC && curve) {
        key = EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", curve);
    }
    ERR_clear_error();
    return Pkey(key);
}

// For every d2i_PrivateKey OpenSSL builds a chain of decoders, at ten times the cost of the
// decoding itself, and every request's signature decodes its key. The chain for RSA
// PrivateKeyInfo, the form of the keys added here, is built once and kept; it holds no key
// between uses (each key leaves with its caller), and a lock keeps its uses one at a time.
class RsaPrivateKeyDecoder {
  public:
    static RsaPrivateKeyDecoder& shared() {
        static RsaPrivateKeyDecoder decoder;
        return decoder;
    }

    /// The key, or nothing when `der` is not an RSA PrivateKeyInfo.
    Pkey decode(const Bytes& der) {
        std::lock_guard lock(mutex_);
        if (!context_) {
            context_.reset(OSSL_DECODER_CTX_new_for_pkey(&decoded_, "DER", "PrivateKeyInfo", "RSA",
                                                         EVP_PKEY_KEYPAIR, nullptr, nullptr));
        }
        const unsigned char* cursor = der.data();
        std::size_t left = der.size();
        const bool decoded =
            context_ && OSSL_DECODER_from_data(context_.get(), &cursor, &left) == 1;
        Pkey key(std::exchange(decoded_, nullptr));
        if (!decoded) {
            key.reset();
            context_.reset();  // built anew for the next key rather than trusted after a failure
        }
        ERR_clear_error();
        return key;
    }

  private:
    std::mutex mutex_;
    EVP_PKEY* decoded_ = nullptr;  // where the chain leaves the key it decoded
    DecoderContext context_;
};

template <typename Encode>
std::optional<Bytes> encoded(Encode encode) {
    unsigned char* data = nullptr;
    const int length = encode(&data);
    if (length <= 0) {
        ERR_clear_error();
        return std::nullopt;
    }
    Bytes bytes(data, data + length);
    OPENSSL_free(data);
    return bytes;
}

}  // namespace

struct SecKey::Material {
    Pkey key;
    bool isPrivate = false;
};

SecKey::SecKey(std::unique_ptr<Material> material) : material_(std::move(material)) {}
SecKey::~SecKey() = default;
SecKey::SecKey(SecKey&&) noexcept = default;
SecKey& SecKey::operator=(SecKey&&) noexcept = default;

std::optional<SecKey> SecKey::fromItem(const Json& item) {
    if (!item.is_object() || !item.contains(kSecValueData) || !item[kSecValueData].is_binary() ||
        !item.contains(kSecAttrKeyClass)) {
        return std::nullopt;
    }
    const auto& data = item[kSecValueData].get_binary();
    const unsigned char* cursor = data.data();
    const auto length = static_cast<long>(data.size());
    auto material = std::make_unique<Material>();
    material->isPrivate = item[kSecAttrKeyClass] == kSecAttrKeyClassPrivate;
    if (material->isPrivate) {
        const bool isEc = item.value(kSecAttrKeyType, "") == kSecAttrKeyTypeEC;
        if (!isEc) {
            material->key = RsaPrivateKeyDecoder::shared().decode(data);
        }
        if (!material->key) {
            // Naming the key type spares the decoder trying every kind of key in turn; an RSA
            // key in another form than PrivateKeyInfo comes here too.
            material->key.reset(
                d2i_PrivateKey(isEc ? EVP_PKEY_EC : EVP_PKEY_RSA, nullptr, &cursor, length));
        }
    } else {
        material->key.reset(d2i_PUBKEY(nullptr, &cursor, length));
    }
    // The decoder queues the errors of the formats it tried first even when a later one
    // succeeds; left there, they would mislead the thread's next OpenSSL caller.
    ERR_clear_error();
    if (!material->key) {
        return std::nullopt;
    }
    return SecKey(std::move(material));
}

std::optional<Bytes> SecKey::copyExternalRepresentation() const {
    if (material_->isPrivate) {
        return std::nullopt;
    }
    return encoded([&](unsigned char** out) { return i2d_PublicKey(material_->key.get(), out); });
}

bool SecKey::isAlgorithmSupported(SecKeyOperationType operation, std::string_view algorithm) const {
    const bool rsa = EVP_PKEY_is_a(material_->key.get(), "RSA");
    const bool wantsPrivate = operation == SecKeyOperationType::sign;
    return rsa && material_->isPrivate == wantsPrivate &&
           algorithm == kSecKeyAlgorithmRSASignatureMessagePKCS1v15SHA1;
}

Bytes SecKey::createSignature(std::string_view algorithm, const Bytes& data) const {
    if (!isAlgorithmSupported(SecKeyOperationType::sign, algorithm)) {
        throw TextError("The key cannot sign with " + std::string(algorithm));
    }
    DigestContext context(EVP_MD_CTX_new());
    std::size_t length = 0;
    if (!context ||
        EVP_DigestSignInit(context.get(), nullptr, EVP_sha1(), nullptr, material_->key.get()) !=
            1 ||
        EVP_DigestSign(context.get(), nullptr, &length, data.data(), data.size()) != 1) {
        throw TextError(libraryError("Signing failed"));
    }
    Bytes signature(length);
    if (EVP_DigestSign(context.get(), signature.data(), &length, data.data(), data.size()) != 1) {
        throw TextError(libraryError("Signing failed"));
    }
    signature.resize(length);
    return signature;
}

Bytes SecKey::itemData() const {
    EVP_PKEY* key = material_->key.get();
    auto data = material_->isPrivate
                    ? encoded([&](unsigned char** out) {
                          // PKCS #8 PrivateKeyInfo, whatever the key type.
                          PKCS8_PRIV_KEY_INFO* info = EVP_PKEY2PKCS8(key);
                          const int length = info ? i2d_PKCS8_PRIV_KEY_INFO(info, out) : -1;
                          PKCS8_PRIV_KEY_INFO_free(info);
                          return length;
                      })
                    : encoded([&](unsigned char** out) { return i2d_PUBKEY(key, out); });
    if (!data) {
        throw TextError(libraryError("Cannot encode a key"));
    }
    return std::move(*data);
}

const char* SecKey::keyClass() const {
    return material_->isPrivate ? kSecAttrKeyClassPrivate : kSecAttrKeyClassPublic;
}

OSStatus SecKeyGeneratePair(const Json& parameters, std::optional<SecKey>* publicKey,
                            std::optional<SecKey>* privateKey) {
    const auto type = parameters.find(kSecAttrKeyType);
    const auto size = parameters.find(kSecAttrKeySizeInBits);
    if (type == parameters.end() || !type->is_string() || size == parameters.end() ||
        !size->is_number_integer()) {
        return errSecParam;
    }
    const std::string keyType = type->get<std::string>();
    const auto bits = size->get<std::int64_t>();
    Pkey generated = generate(keyType, bits);
    if (!generated) {
        return errSecParam;
    }
    // The public half shares the generated key; it is only ever used for its public part.
    EVP_PKEY_up_ref(generated.get());
    std::array<SecKey, 2> halves{
        SecKey(std::make_unique<SecKey::Material>(SecKey::Material{Pkey(generated.get()), false})),
        SecKey(std::make_unique<SecKey::Material>(SecKey::Material{std::move(generated), true}))};
    const std::array<const char*, 2> attributeSets{kSecPublicKeyAttrs, kSecPrivateKeyAttrs};
    const OSStatus status = SecItemTransaction([&] {
        for (std::size_t i = 0; i < halves.size(); ++i) {
            Json item = parameters.value(attributeSets[i], Json::object());
            if (!item.is_object()) {
                return errSecParam;
            }
            if (!item.value(kSecAttrIsPermanent, false)) {
                continue;
            }
            if (!item.contains(kSecAttrAccessible) && parameters.contains(kSecAttrAccessible)) {
                item[kSecAttrAccessible] = parameters[kSecAttrAccessible];
            }
            item[kSecClass] = kSecClassKey;
            item[kSecAttrKeyType] = keyType;
            item[kSecAttrKeySizeInBits] = bits;
            item[kSecAttrKeyClass] = halves[i].keyClass();
            item[kSecValueData] = Json::binary(halves[i].itemData());
            if (OSStatus added = SecItemAdd(item, nullptr); added != errSecSuccess) {
                return added;
            }
        }
        return errSecSuccess;
    });
    if (status != errSecSuccess) {
        return status;
    }
    *publicKey = std::move(halves[0]);
    *privateKey = std::move(halves[1]);
    return errSecSuccess;
}

}  // namespace orvanpush::platform
