#include "api/ApiRequestBuilder.h"

#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "orvanpush/TextError.h"
#include "support/SqliteOracle.h"

namespace orvanpush::detail {
namespace {

using namespace std::chrono_literals;

constexpr auto kDefault = 30s;

std::string buildingError(const ApiParameters& parameters, const std::string& base) {
    try {
        ApiRequestBuilder::build(parameters, base, kDefault);
    } catch (const TextError& error) {
        return error.what();
    }
    return "built";
}

// Python's quote(quote(v, safe=''), safe=''): the independent oracle of the double encoding.
std::string pythonDoubleQuote(const std::string& value) {
    std::string hex;
    for (unsigned char c : value) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", c);
        hex += pair;
    }
    return testing::commandOutput(
        "python3 -c \"import sys; from urllib.parse import quote; "
        "v = bytes.fromhex(sys.argv[1]); print(quote(quote(v, safe=''), safe=''), end='')\" " +
        hex);
}

TEST(ApiRequestBuilderTest, BuildingErrorsComeInOrder) {
    const std::string base = "http://127.0.0.1:8090";
    const ApiParameters valid{{"path", "/subscribe"}, {"httpMethod", "POST"}};
    EXPECT_EQ(buildingError({}, base), "Internal framework error: path not specified");
    EXPECT_EQ(buildingError({{"httpMethod", "GET"}}, base),
              "Internal framework error: path not specified");
    EXPECT_EQ(buildingError({{"path", "/subscribe"}}, "not a url"),
              "Internal framework error: httpMethod not specified");
    // A base address that does not parse, or that carries user info, a query or a fragment.
    for (const std::string bad :
         {"not a url", "127.0.0.1:8090", "http://user:pw@h:1", "http://h:1/api?x=1", "http://h:1#f",
          "http://h:99999", "http://h:8o", "http://h a:1", "http://:1", "http://h:1/a b",
          "http://h:1/%zz", "1http://h"}) {
        EXPECT_EQ(buildingError(valid, bad), "Internal framework error: invalid base address")
            << bad;
    }
    EXPECT_EQ(buildingError({{"path", "subscribe"}, {"httpMethod", "POST"}}, base),
              "Internal framework error: invalid URL");
    for (const std::string good :
         {"http://h", "https://[::1]:8443/api/v1", "http://h.example:80/a%20b"}) {
        EXPECT_EQ(buildingError(valid, good), "built") << good;
    }
}

TEST(ApiRequestBuilderTest, QueryValuesAreEncodedTwiceLikePython) {
    for (const std::string& value :
         std::vector<std::string>{"a.b_c~d", "a+b", "a b", "a/b=", "100%", "x&y=z#f?", "Grüße ✓",
                                  "2024-03-01T12:00:00+03:00", std::string("\x01\xff", 2)}) {
        EXPECT_EQ(ApiRequestBuilder::encodeQueryValue(value), pythonDoubleQuote(value)) << value;
    }
}

TEST(ApiRequestBuilderTest, TimeoutsAreFinitePositiveAndBounded) {
    auto timeout = [](const char* text) {
        if (text == nullptr) {
            return ApiRequestBuilder::timeout(nullptr, kDefault);
        }
        const std::string value = text;
        return ApiRequestBuilder::timeout(&value, kDefault);
    };
    EXPECT_EQ(timeout(nullptr), kDefault);
    EXPECT_EQ(timeout("20.0"), 20s);
    EXPECT_EQ(timeout("0.0001"), 1ms);
    for (const char* meaningless : {"0", "0.0", "-1", "nan", "inf", "-inf", "", "abc", "20s"}) {
        EXPECT_EQ(timeout(meaningless), kDefault) << meaningless;
    }
    EXPECT_EQ(timeout("1e300"), platform::kLongestTimeout);
    EXPECT_EQ(timeout("86400.5"), platform::kLongestTimeout);
}

TEST(ApiRequestBuilderTest, ComposesTheUrlAndReadsRetryCountTimeoutHeadersAndBody) {
    auto built = ApiRequestBuilder::build({{"path", "/subscriber/get"},
                                           {"httpMethod", "GET"},
                                           {"p.address", "dev.client"},
                                           {"p.signature", "ab/c+d=="},
                                           {"other", "ignored"}},
                                          "http://127.0.0.1:8090/api", kDefault);
    EXPECT_EQ(built.request.url,
              "http://127.0.0.1:8090/api/subscriber/"
              "get?address=dev.client&signature=ab%252Fc%252Bd%253D%253D");
    EXPECT_EQ(built.request.method, "GET");
    EXPECT_FALSE(built.request.body);
    EXPECT_TRUE(built.request.headers.empty());
    EXPECT_EQ(built.request.timeout, kDefault);

    const std::string body = "{\"a\":\"ü\"}";
    built = ApiRequestBuilder::build({{"path", "/notifications"},
                                      {"httpMethod", "PUT"},
                                      {"retryCount", "3"},
                                      {"timeout", "15.0"},
                                      {"h.rid", "ID"},
                                      {"h.X-Empty", ""},
                                      {"body", body}},
                                     "http://h:1", kDefault);
    // No query entries: no "?" at all.
    EXPECT_EQ(built.request.url, "http://h:1/notifications");
    EXPECT_EQ(built.retryCount, 3);
    EXPECT_EQ(built.request.timeout, 15s);
    EXPECT_EQ(built.request.headers, (platform::HttpHeaders{{"X-Empty", ""}, {"rid", "ID"}}));
    EXPECT_EQ(built.request.body, Bytes(body.begin(), body.end()));
    for (const std::string unreadable : {"x", "3.0", " 3", ""}) {
        EXPECT_EQ(ApiRequestBuilder::build(
                      {{"path", "/p"}, {"httpMethod", "GET"}, {"retryCount", unreadable}},
                      "http://h:1", kDefault)
                      .retryCount,
                  0);
    }
}

TEST(ApiRequestBuilderTest, HeadersThatWouldSplitTheRequestAreRefusedWithoutTheirValue) {
    const ApiParameters base{{"path", "/p"}, {"httpMethod", "GET"}};
    auto with = [&](std::string key, std::string value) {
        auto parameters = base;
        parameters[std::move(key)] = std::move(value);
        return buildingError(parameters, "http://h:1");
    };
    for (const std::string& value :
         {std::string("secret\r\nX-Evil: 1"), std::string("secret\0x", 8), std::string("a\nb")}) {
        EXPECT_EQ(with("h.X-Token", value),
                  "Internal framework error: invalid value of header \"X-Token\"");
    }
    for (const std::string name : {"h.Bad Name", "h.", "h.X:Y", "h.Ü"}) {
        EXPECT_EQ(with(name, "v"), "Internal framework error: invalid header name") << name;
    }
}

}  // namespace
}  // namespace orvanpush::detail
