#include "Base64.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace orvanpush::server {
namespace {

constexpr std::string_view alphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<int, 256> decodingTable() {
    std::array<int, 256> table{};
    table.fill(-1);
    for (std::size_t index = 0; index < alphabet.size(); ++index) {
        table[static_cast<unsigned char>(alphabet[index])] = static_cast<int>(index);
    }
    return table;
}

constexpr auto sextets = decodingTable();

}  // namespace

std::string base64Encode(std::string_view bytes) {
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t offset = 0; offset < bytes.size(); offset += 3) {
        const std::size_t count = std::min<std::size_t>(3, bytes.size() - offset);
        std::uint32_t group = 0;
        for (std::size_t index = 0; index < 3; ++index) {
            const auto byte = index < count ? static_cast<unsigned char>(bytes[offset + index]) : 0;
            group = group << 8 | byte;
        }
        for (std::size_t index = 0; index < 4; ++index) {
            text += index <= count ? alphabet[group >> (18 - 6 * index) & 0x3f] : '=';
        }
    }
    return text;
}

std::optional<std::string> base64Decode(std::string_view text) {
    if (text.size() % 4 != 0) {
        return std::nullopt;
    }
    std::size_t padding = 0;
    while (padding < 2 && padding < text.size() && text[text.size() - 1 - padding] == '=') {
        ++padding;
    }
    std::string bytes;
    bytes.reserve(text.size() / 4 * 3);
    std::uint32_t group = 0;
    for (std::size_t index = 0; index < text.size() - padding; ++index) {
        const int sextet = sextets[static_cast<unsigned char>(text[index])];
        if (sextet < 0) {
            return std::nullopt;
        }
        group = group << 6 | static_cast<std::uint32_t>(sextet);
        if (index % 4 == 3) {
            bytes += static_cast<char>(group >> 16);
            bytes += static_cast<char>(group >> 8 & 0xff);
            bytes += static_cast<char>(group & 0xff);
            group = 0;
        }
    }
    if (padding == 1) {  // three sextets carry two bytes and two zero bits
        if ((group & 0x3) != 0) {
            return std::nullopt;
        }
        bytes += static_cast<char>(group >> 10);
        bytes += static_cast<char>(group >> 2 & 0xff);
    } else if (padding == 2) {  // two sextets carry one byte and four zero bits
        if ((group & 0xf) != 0) {
            return std::nullopt;
        }
        bytes += static_cast<char>(group >> 4);
    }
    return bytes;
}

}  // namespace orvanpush::server
