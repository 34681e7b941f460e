#include "security/CryptoExportImportManager.h"

#include <string>

#include "orvanpush/platform/Console.h"

namespace orvanpush::detail {
namespace {

// SEQUENCE { OID rsaEncryption, NULL }.
const Bytes kRsaAlgorithmIdentifier{0x30, 0x0d, 0x06, 0x09, 0x2a, 0x86, 0x48, 0x86,
                                    0xf7, 0x0d, 0x01, 0x01, 0x01, 0x05, 0x00};

// SubjectPublicKeyInfo headers of id-ecPublicKey on each named curve, up to the point.
const Bytes kEc256Header{0x30, 0x59, 0x30, 0x13, 0x06, 0x07, 0x2a, 0x86, 0x48,
                         0xce, 0x3d, 0x02, 0x01, 0x06, 0x08, 0x2a, 0x86, 0x48,
                         0xce, 0x3d, 0x03, 0x01, 0x07, 0x03, 0x42, 0x00};
const Bytes kEc384Header{0x30, 0x76, 0x30, 0x10, 0x06, 0x07, 0x2a, 0x86, 0x48, 0xce, 0x3d, 0x02,
                         0x01, 0x06, 0x05, 0x2b, 0x81, 0x04, 0x00, 0x22, 0x03, 0x62, 0x00};
const Bytes kEc521Header{0x30, 0x81, 0x9b, 0x30, 0x10, 0x06, 0x07, 0x2a, 0x86,
                         0x48, 0xce, 0x3d, 0x02, 0x01, 0x06, 0x05, 0x2b, 0x81,
                         0x04, 0x00, 0x23, 0x03, 0x81, 0x86, 0x00};

constexpr std::uint8_t kSequence = 0x30;
constexpr std::uint8_t kBitString = 0x03;

// A DER length: one byte below 128, else 0x80 + the count of the big-endian bytes that follow.
Bytes derLength(std::size_t length) {
    if (length < 0x80) {
        return {static_cast<std::uint8_t>(length)};
    }
    Bytes digits;
    for (; length > 0; length >>= 8) {
        digits.insert(digits.begin(), static_cast<std::uint8_t>(length & 0xFF));
    }
    digits.insert(digits.begin(), static_cast<std::uint8_t>(0x80 | digits.size()));
    return digits;
}

void append(Bytes& to, const Bytes& bytes) {
    to.insert(to.end(), bytes.begin(), bytes.end());
}

}  // namespace

Bytes CryptoExportImportManager::exportECPublicKeyToDER(const Bytes& rawKey, int keySize) const {
    platform::Console::printLine("Exporting EC raw key: " + std::to_string(rawKey.size()) +
                                 " bytes");
    Bytes der;
    switch (keySize) {
        case 256:
            der = kEc256Header;
            break;
        case 384:
            der = kEc384Header;
            break;
        case 521:
            der = kEc521Header;
            break;
        default:
            break;
    }
    append(der, rawKey);
    return der;
}

Bytes CryptoExportImportManager::exportRSAPublicKeyToDER(const Bytes& rawKey) const {
    const Bytes bitStringLength = derLength(rawKey.size() + 1);
    const std::size_t contentLength =
        kRsaAlgorithmIdentifier.size() + 1 + bitStringLength.size() + 1 + rawKey.size();
    Bytes der{kSequence};
    append(der, derLength(contentLength));
    append(der, kRsaAlgorithmIdentifier);
    der.push_back(kBitString);
    append(der, bitStringLength);
    der.push_back(0x00);  // no unused bits
    append(der, rawKey);
    return der;
}

}  // namespace orvanpush::detail
