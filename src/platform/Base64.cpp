#include "platform/Base64.h"

#include <openssl/evp.h>

namespace orvanpush::platform {
namespace {

std::string encode(const unsigned char* data, std::size_t size) {
    std::string text(4 * ((size + 2) / 3), '\0');
    const int written = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()), data,
                                        static_cast<int>(size));
    text.resize(static_cast<std::size_t>(written));
    return text;
}

}  // namespace

std::string base64Encode(const Bytes& bytes) {
    return encode(bytes.data(), bytes.size());
}

std::string base64Encode(std::string_view text) {
    return encode(reinterpret_cast<const unsigned char*>(text.data()), text.size());
}

}  // namespace orvanpush::platform
