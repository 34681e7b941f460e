#include "utils/Utf8Text.h"

#include <gtest/gtest.h>

namespace orvanpush::detail {
namespace {

TEST(Utf8Text, AcceptsEveryWellFormedLength) {
    const Bytes text{'a', 0xC3, 0xA9, 0xE2, 0x82, 0xAC, 0xF0, 0x9F, 0x98, 0x80};  // a é € 😀
    EXPECT_EQ(decodeUtf8(text), std::string(text.begin(), text.end()));
    EXPECT_EQ(decodeUtf8({}), "");
}

TEST(Utf8Text, RefusesMalformedSequences) {
    const std::vector<Bytes> malformed{
        {0xC0, 0x80},              // overlong NUL
        {0xE0, 0x80, 0xAF},        // overlong slash
        {0xED, 0xA0, 0x80},        // surrogate
        {0xF4, 0x90, 0x80, 0x80},  // above U+10FFFF
        {0xE2, 0x82},              // cut short
        {0x80},                    // stray continuation
        {0xE2, 0x28, 0xA1},        // bad continuation
    };
    for (const auto& bytes : malformed) {
        EXPECT_EQ(decodeUtf8(bytes), std::nullopt) << int(bytes[0]);
    }
}

}  // namespace
}  // namespace orvanpush::detail
