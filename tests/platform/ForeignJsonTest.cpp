#include "orvanpush/platform/ForeignJson.h"

#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "orvanpush/TextError.h"
#include "support/NestedJson.h"

namespace orvanpush::platform {
namespace {

using orvanpush::testing::nestedJson;

using ::testing::HasSubstr;

std::string nested(std::size_t levels) {
    return std::string(levels, '[') + std::string(levels, ']');
}

std::string refusal(std::string_view text) {
    try {
        ForeignJson::parse(text);
    } catch (const TextError& error) {
        EXPECT_FALSE(ForeignJson::tryParse(text)) << text;
        return error.what();
    }
    ADD_FAILURE() << "accepted: " << text;
    return {};
}

TEST(ForeignJsonTest, AcceptsOneValueWithinTheLimitRefusesTheRestAndTellsDepthsWithoutRecursion) {
    const std::string bracketsInText = "\"\\\"" + std::string(1000, '[') + "\"";
    for (const std::string& text :
         {std::string(" {\"a\":[1,{\"b\":null}]}\r\n\t "), nested(ForeignJson::kMaxDepth),
          bracketsInText, std::string("\"caf\xc3\xa9\"")}) {
        EXPECT_EQ(ForeignJson::parse(text), Json::parse(text)) << text;
        EXPECT_TRUE(ForeignJson::tryParse(Bytes(text.begin(), text.end())));
    }

    EXPECT_THAT(refusal(std::string("{\"a\":1}\0garbage", 15)),
                HasSubstr("a NUL byte at offset 7"));
    EXPECT_THAT(refusal("{\"a\":1} {}"), HasSubstr("expected end of input"));
    EXPECT_THAT(refusal(""), HasSubstr("not JSON"));
    EXPECT_THAT(refusal("{\"a\":}"), HasSubstr("not JSON"));
    for (const auto levels : {ForeignJson::kMaxDepth + 1, std::size_t{40'000}}) {
        EXPECT_EQ(refusal(nested(levels)), "JSON nests deeper than the limit of 256 levels");
        EXPECT_THAT(refusal("{\"a\":" + nested(levels) + "}"), HasSubstr("limit of 256"));
    }

    // A value too deep to walk is told without walking it recursively.
    EXPECT_TRUE(ForeignJson::isWithinDepth(Json("text")));
    EXPECT_TRUE(ForeignJson::isWithinDepth(nestedJson(ForeignJson::kMaxDepth)));
    EXPECT_FALSE(ForeignJson::isWithinDepth(nestedJson(ForeignJson::kMaxDepth + 1)));
    EXPECT_FALSE(ForeignJson::isWithinDepth({{"a", 1}, {"b", nestedJson(ForeignJson::kMaxDepth)}}));
    EXPECT_FALSE(ForeignJson::isWithinDepth(nestedJson(1'000'000)));
}

}  // namespace
}  // namespace orvanpush::platform
