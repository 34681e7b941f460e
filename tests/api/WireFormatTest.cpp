// The push server's wire format without a server: requests built from their parameters, the
// parameters the endpoints' targets give, and the decoding of the answers.

#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "api/ApiDateFormatter.h"
#include "api/ApiRequestBuilder.h"
#include "api/ContentDownloadTarget.h"
#include "api/NotificationsTarget.h"
#include "api/ResultDecoding.h"
#include "api/StatisticsTarget.h"
#include "api/SubscribeTarget.h"
#include "api/SubscriberGetTarget.h"
#include "api/SubscriberUpdateTarget.h"
#include "api/UnsubscribeTarget.h"
#include "orvanpush/BasicResponse.h"
#include "orvanpush/ErrorResponse.h"
#include "orvanpush/TextError.h"
#include "support/ChildProcess.h"
#include "support/SqliteOracle.h"

namespace orvanpush::detail {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::Pair;

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
    return testing::commandOutput(
        "printf %s " + testing::shellQuoted(value) +
        " | python3 -c \"import sys; from urllib.parse import quote; "
        "print(quote(quote(sys.stdin.buffer.read(), safe=''), safe=''), end='')\"");
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

    // Headers that would split the request are refused, without their value in the text.
    auto with = [&](std::string key, std::string value) {
        auto parameters = valid;
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

TEST(ApiRequestBuilderTest, ComposesTheUrlReadsTheRetryCountAndBoundsTheTimeout) {
    // Query values are encoded twice, as Python's quote does.
    for (const std::string& value :
         std::vector<std::string>{"a.b_c~d", "a+b", "a b", "a/b=", "100%", "x&y=z#f?", "Grüße ✓",
                                  "2024-03-01T12:00:00+03:00", std::string("\x01\xff", 2)}) {
        EXPECT_EQ(ApiRequestBuilder::encodeQueryValue(value), pythonDoubleQuote(value)) << value;
    }
    auto timeout = [](std::optional<std::string> text) {
        return ApiRequestBuilder::timeout(text ? &*text : nullptr, kDefault);
    };
    EXPECT_EQ(timeout(std::nullopt), kDefault);
    EXPECT_EQ(timeout("20.0"), 20s);
    EXPECT_EQ(timeout("0.0001"), 1ms);
    for (const char* meaningless : {"0", "0.0", "-1", "nan", "inf", "-inf", "", "abc", "20s"}) {
        EXPECT_EQ(timeout(meaningless), kDefault) << meaningless;
    }
    EXPECT_EQ(timeout("1e300"), platform::kLongestTimeout);
    EXPECT_EQ(timeout("86400.5"), platform::kLongestTimeout);

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

    // Headers, body, timeout and resends reach the wire as the transport's tests show; a resend
    // count that is not a plain number means none.
    for (const std::string unreadable : {"x", "3.0", " 3", ""}) {
        const ApiParameters parameters{
            {"path", "/p"}, {"httpMethod", "GET"}, {"retryCount", unreadable}};
        EXPECT_EQ(ApiRequestBuilder::build(parameters, "http://h:1", kDefault).retryCount, 0);
    }
}

Bytes bytes(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

// The texts of answers that cannot be used, as the server's clients document them.
const std::string kUnknownSuccess = "Invalid data in answer: unknown result \"success\"";
const std::string kResultMissing = "Invalid data in answer: property \"result\" not found";
const std::string kCodeMissing = "Invalid data in answer: property \"errorCode\" not found";

TEST(ResultDecodingTest, SingleResultsAndContentFollowTheEnvelope) {
    std::vector<std::pair<std::string, BaseApiResult>> cases{
        {R"({"result":"success","errorCode":5})", {ResultKind::success, 0}},
        {R"({"result":"error"})", {ResultKind::error, 602, kCodeMissing}},
        {R"({"result":"error","errorCode":17})", {ResultKind::error, 17}},
        {R"({"result":"error","errorCode":17.0,"errorDescription":"x"})",
         {ResultKind::error, 17, "x"}},
        {R"({"result":"error","errorCode":104,"errorDescription":5})", {ResultKind::error, 104}},
        {R"({"result":"error","errorCode":-9223372036854775808})", {ResultKind::error, INT64_MIN}},
        {R"({"result":"ok"})",
         {ResultKind::error, 602, "Invalid data in answer: unknown result \"ok\""}},
        {R"({"result":5})", {ResultKind::error, 602, kResultMissing}},
        {R"({})", {ResultKind::error, 602, kResultMissing}}};
    // Codes that are not 64-bit integers are missing codes, never converted.
    for (const std::string code : {"17.5", "\"17\"", "1e300", "9223372036854775808", "true"}) {
        cases.emplace_back(R"({"result":"error","errorCode":)" + code + "}",
                           BaseApiResult(ResultKind::error, 602, kCodeMissing));
    }
    for (const auto& [body, expected] : cases) {
        EXPECT_EQ(decodeBaseApiResult(bytes(body)), expected) << body;
    }
    for (const std::string body : {"[]", "<html></html>", "\"success\"", "{\"result\":\"succ"}) {
        EXPECT_THROW(decodeBaseApiResult(bytes(body)), TextError) << body;
    }

    // The envelopes, written and read back.
    EXPECT_EQ(ErrorResponse(104, std::nullopt).toJson().dump(),
              R"({"errorCode":104,"result":"error"})");
    const ErrorResponse described(7, "why");
    EXPECT_EQ(ErrorResponse::fromJson(described.toJson()), described);
    EXPECT_EQ(ErrorResponse::fromJson(Json::parse(R"({"result":"error","errorCode":"7"})")),
              std::nullopt);
    EXPECT_EQ(BasicResponse::fromJson(BasicResponse("success").toJson()), BasicResponse("success"));
    EXPECT_EQ(BasicResponse::fromJson(Json::array()), std::nullopt);

    // Content is the body, unless an error object or an error status.
    const Bytes image{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0xFF};
    EXPECT_EQ(decodeContentDownloadResult(image, 200),
              ContentDownloadResult(ResultKind::success, 0, std::nullopt, image));
    EXPECT_EQ(decodeContentDownloadResult(bytes(R"({"a":1})"), 200).getContent(),
              bytes(R"({"a":1})"));
    EXPECT_EQ(decodeContentDownloadResult(bytes(R"({"result":"error","errorCode":404})"), 404),
              ContentDownloadResult(ResultKind::error, 404));
    EXPECT_EQ(decodeContentDownloadResult(bytes(R"({"result":"success"})"), 200),
              ContentDownloadResult(ResultKind::error, 602, kUnknownSuccess));
    // An error page is not content.
    for (const auto& page : std::vector<std::pair<std::string, long>>{
             {"<html>Bad Gateway</html>", 502}, {R"({"a":1})", 404}, {"Not Found", 404}}) {
        EXPECT_THAT([&] { decodeContentDownloadResult(bytes(page.first), page.second); },
                    ::testing::ThrowsMessage<TextError>("Invalid response with status \"" +
                                                        std::to_string(page.second) + "\""));
    }
}

TEST(ResultDecodingTest, StatisticsAndSubscribersAreAListOrAnErrorObject) {
    auto list = decodeStatisticsResult(bytes(
        R"([{"messageId":"m1","date":0,"title":"t"},{"messageId":"m2","date":1.5,"text":null}])"));
    const Date reference = Date(std::chrono::seconds(978307200));
    EXPECT_EQ(list, StatisticsResult(ResultKind::success, 0, std::nullopt,
                                     std::vector<MessageElement>{
                                         {"m1", reference, "t"},
                                         {"m2", reference + std::chrono::milliseconds(1500)}}));
    EXPECT_THAT(decodeStatisticsResult(bytes("[]")).getMessages(),
                ::testing::Optional(ElementsAre()));

    const std::vector<std::pair<std::string, StatisticsResult>> objects{
        {R"({"result":"success"})", {ResultKind::error, 602, kUnknownSuccess}},
        {R"({"result":"error","errorCode":104,"errorDescription":"Subscriber not found"})",
         {ResultKind::error, 104, "Subscriber not found"}},
        {R"({"errorCode":104})",
         {ResultKind::error, 602, "Invalid data in answer: result not found"}},
    };
    for (const auto& [body, expected] : objects) {
        EXPECT_EQ(decodeStatisticsResult(bytes(body)), expected) << body;
    }
    // An item that does not decode (a date beyond what a date holds, a missing id, a title that
    // is not a string) makes the body an array that is not an object: decoding fails.
    for (const std::string body :
         {R"([{"messageId":"m1","date":1e300}])", R"([{"messageId":"m1","date":-1e18}])",
          R"([{"date":1}])", R"([{"messageId":"m1","date":1,"title":7}])", "\"x\""}) {
        EXPECT_THROW(decodeStatisticsResult(bytes(body)), TextError) << body;
    }

    // Subscriber records keep null attributes.
    auto result = decodeSubscriberGetResult(bytes(
        R"([{"address":"d.c","osType":"ios","osVersion":"17","attributes":{"k":"v","n":null}},{"address":"e"}])"));
    EXPECT_EQ(result,
              SubscriberGetResult(ResultKind::success, 0, std::nullopt,
                                  std::vector<SubscriberDataElement>{
                                      SubscriberDataElement("d.c", "ios", "17",
                                                            SubscriberDataElement::Attributes{
                                                                {"k", "v"}, {"n", std::nullopt}}),
                                      SubscriberDataElement("e")}));
    EXPECT_EQ(decodeSubscriberGetResult(bytes(R"({"result":"error","errorCode":"x"})")),
              SubscriberGetResult(ResultKind::error, 602, kCodeMissing));
    EXPECT_THROW(decodeSubscriberGetResult(bytes(R"([{"address":"a","attributes":{"k":1}}])")),
                 TextError);
}

// 2024-03-01 09:00:00 UTC.
const Date kMarchFirst = Date(std::chrono::seconds(1709283600));

Json bodyOf(const ApiParameters& parameters) {
    return Json::parse(parameters.at("body"));
}

TEST(EndpointTargetsTest, FieldsBecomeParametersSignedTextsAndBodiesOfRepairedText) {
    const ApiParameters parameters = ContentDownloadTarget{
        {.headers = {{"rid", "ID"}, {"X-Tenant", "shop"}},
         .retryCount = 3,
         .requestTimeout = 20,
         .address = "d.c",
         .messageId = "m1",
         .signature = "s/g="}}.parameters();
    EXPECT_THAT(parameters, ElementsAre(Pair("h.X-Tenant", "shop"), Pair("h.rid", "ID"),
                                        Pair("httpMethod", "GET"), Pair("p.address", "d.c"),
                                        Pair("p.messageId", "m1"), Pair("p.signature", "s/g="),
                                        Pair("path", "/content/download"), Pair("retryCount", "3"),
                                        Pair("timeout", "20.0")));
    // Without a timeout the transport's default applies.
    EXPECT_FALSE(SubscriberGetTarget{{.retryCount = 3}}.parameters().contains("timeout"));

    // The reference server checks every body member; these are the signed texts and optional
    // members of the examples, and a subscription's every member.
    UnsubscribeObject unsubscribe{.address = "d.c", .token = "tok", .signature = "S"};
    EXPECT_EQ(bodyOf(UnsubscribeTarget{unsubscribe}.parameters()),
              Json({{"address", "d.c"}, {"token", "tok"}, {"signature", "S"}}));
    EXPECT_EQ(UnsubscribeTarget::signedText(unsubscribe), "d.ctok");
    unsubscribe.note = "bye";
    EXPECT_EQ(bodyOf(UnsubscribeTarget{unsubscribe}.parameters())["note"], "bye");
    EXPECT_EQ(UnsubscribeTarget::signedText(unsubscribe), "d.ctokbye");
    EXPECT_EQ(UnsubscribeTarget{unsubscribe}.parameters().at("httpMethod"), "DELETE");

    const SubscriberUpdateObject update{.address = "a",
                                        .updateAddress = "b",
                                        .attributes = {{"z", "1"}, {"m", "2"}},
                                        .signature = "S"};
    EXPECT_EQ(SubscriberUpdateTarget::signedText(update), "abm2z1");
    EXPECT_EQ(bodyOf(SubscriberUpdateTarget{update}.parameters())["attributes"],
              Json({{"m", "2"}, {"z", "1"}}));

    const NotificationsObject report{.address = "d.c", .messageId = "m1", .status = "Read"};
    EXPECT_EQ(NotificationsTarget::signedText(report), "d.cm1Read");
    EXPECT_EQ(NotificationsTarget{report}.parameters().at("body"),
              R"({"address":"d.c","messageId":"m1","signature":"","status":"Read"})");

    // Text that is not UTF-8 never makes a target throw: it travels repaired.
    const auto subscribe = SubscribeTarget{
        {.address = "d.c",
         .osVersion = "17.4",
         .vendorInfo = "iPhone15,2",
         .token = std::string("t\xff\xfe", 3),
         .publicKey = "K"}}.parameters();
    EXPECT_EQ(subscribe.at("body"),
              "{\"address\":\"d.c\",\"osType\":\"ios\",\"osVersion\":\"17.4\",\"pubKey\":\"K\","
              "\"token\":\"t\xEF\xBF\xBD\xEF\xBF\xBD\",\"vendorInfo\":\"iPhone15,2\"}");
}

TEST(EndpointTargetsTest, StatisticsSendOptionalValuesOnlyWhenPresent) {
    StatisticsObject statistics{.address = "d.c",
                                .requestAddress = "r",
                                .amount = 10,
                                .dateFrom = kMarchFirst,
                                .signature = "S"};
    auto query = [&] {
        ApiParameters values;
        for (const auto& [key, value] : StatisticsTarget{statistics}.parameters()) {
            if (key.starts_with("p.")) {
                values[key.substr(2)] = value;
            }
        }
        return values;
    };
    const std::string from = apiDateFormatter().string(kMarchFirst);
    ApiParameters expected{{"address", "d.c"},
                           {"amount", "10"},
                           {"dateFrom", from},
                           {"requestAddress", "r"},
                           {"signature", "S"}};
    EXPECT_EQ(query(), expected);
    EXPECT_EQ(StatisticsTarget::signedText(statistics), "d.cr10" + from);

    statistics.requestId = "q";
    statistics.dateTo = kMarchFirst + std::chrono::hours(24);
    const std::string to = apiDateFormatter().string(*statistics.dateTo);
    expected.insert({{"requestId", "q"}, {"dateTo", to}});
    EXPECT_EQ(query(), expected);
    EXPECT_EQ(StatisticsTarget::signedText(statistics), "d.crq10" + from + to);
}

// Prints the query date of a statistics request as this process writes it.
TEST(EndpointTargetsTest, DISABLED_ReportQueryDate) {
    testing::reportToParent(
        StatisticsTarget{{.dateFrom = kMarchFirst}}.parameters().at("p.dateFrom"));
}

TEST(EndpointTargetsTest, QueryDatesIgnoreTheDeviceLanguageButNotItsTimeZone) {
    for (const std::string language : {"C", "th_TH.UTF-8", "ar_EG.UTF-8", "fa_IR.UTF-8"}) {
        auto child =
            testing::runChildTest("EndpointTargetsTest.DISABLED_ReportQueryDate",
                                  {"LANG=" + language, "LC_ALL=" + language, "TZ=Europe/Moscow"});
        EXPECT_EQ(child.exitCode, 0);
        EXPECT_EQ(child.reported, "2024-03-01T12:00:00+03:00") << language;
    }
    EXPECT_EQ(
        testing::runChildTest("EndpointTargetsTest.DISABLED_ReportQueryDate", {"TZ=UTC"}).reported,
        "2024-03-01T09:00:00Z");
}

}  // namespace
}  // namespace orvanpush::detail
