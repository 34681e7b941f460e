#include "text/Utf8Text.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace orvanpush::detail {
namespace {

const std::string kReplacement = "\xEF\xBF\xBD";

TEST(Utf8TextTest, RepairReplacesEachIllFormedPartOnceAndDecodingRefusesIt) {
    const std::vector<std::pair<std::string, std::string>> cases{
        {"plain ascii", "plain ascii"},
        {"Grüße ✓ 𝄞", "Grüße ✓ 𝄞"},
        {"tok\xff", "tok" + kReplacement},
        {"\xff\xfe", kReplacement + kReplacement},
        // A truncated sequence is one replacement; the byte that broke it stands on its own.
        {"a\xe2\x9c"
         "b",
         "a" + kReplacement + "b"},
        {"\xf0\x9d\x84", kReplacement},
        // Overlong forms, surrogates and values above U+10FFFF are never characters.
        {"\xc0\xaf", kReplacement + kReplacement},
        {"\xed\xa0\x80", kReplacement + kReplacement + kReplacement},
        {"\xf4\x90\x80\x80", kReplacement + kReplacement + kReplacement + kReplacement},
        {"\xc2\xa9\xc2\xc0", "\xc2\xa9" + kReplacement + kReplacement},
        {"\xe0\x80\x80", kReplacement + kReplacement + kReplacement},
        {"\xf0\x8f\xbf\xbf", kReplacement + kReplacement + kReplacement + kReplacement},
        // The narrower second-byte ranges are the overlong leads' only: U+1000, U+40000.
        {"\xe1\x80\x80\xf1\x80\x80\x80", "\xe1\x80\x80\xf1\x80\x80\x80"},
        {std::string("nul\0ok", 6), std::string("nul\0ok", 6)},
    };
    for (const auto& [text, repaired] : cases) {
        EXPECT_EQ(repairUtf8(text), repaired);
        EXPECT_EQ(decodeUtf8(Bytes(text.begin(), text.end())).has_value(), text == repaired);
        EXPECT_TRUE(decodeUtf8(Bytes(repaired.begin(), repaired.end())));
    }
}

}  // namespace
}  // namespace orvanpush::detail
