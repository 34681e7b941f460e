#include "api/ResultDecoding.h"

#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "orvanpush/BasicResponse.h"
#include "orvanpush/ErrorResponse.h"
#include "orvanpush/TextError.h"

namespace orvanpush::detail {
namespace {

using ::testing::ElementsAre;

Bytes bytes(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

// The texts of answers that cannot be used, as the server's clients document them.
const std::string kUnknownOk = "Invalid data in answer: unknown result \"ok\"";
const std::string kUnknownSuccess = "Invalid data in answer: unknown result \"success\"";
const std::string kResultMissing = "Invalid data in answer: property \"result\" not found";
const std::string kListResultMissing = "Invalid data in answer: result not found";
const std::string kCodeMissing = "Invalid data in answer: property \"errorCode\" not found";

struct Case {
    std::string body;
    BaseApiResult expected;
};

TEST(ResultDecodingTest, SingleResultsFollowTheEnvelope) {
    const std::vector<Case> cases{
        {R"({"result":"success","errorCode":5})", {ResultKind::success, 0}},
        {R"({"result":"error"})", {ResultKind::error, 602, kCodeMissing}},
        {R"({"result":"error","errorCode":17})", {ResultKind::error, 17}},
        {R"({"result":"error","errorCode":17.0,"errorDescription":"x"})",
         {ResultKind::error, 17, "x"}},
        {R"({"result":"error","errorCode":104,"errorDescription":5})", {ResultKind::error, 104}},
        {R"({"result":"error","errorCode":-9223372036854775808})", {ResultKind::error, INT64_MIN}},
        // Codes that are not 64-bit integers are missing codes, never converted.
        {R"({"result":"error","errorCode":17.5})", {ResultKind::error, 602, kCodeMissing}},
        {R"({"result":"error","errorCode":"17"})", {ResultKind::error, 602, kCodeMissing}},
        {R"({"result":"error","errorCode":1e300})", {ResultKind::error, 602, kCodeMissing}},
        {R"({"result":"error","errorCode":9223372036854775808})",
         {ResultKind::error, 602, kCodeMissing}},
        {R"({"result":"error","errorCode":true})", {ResultKind::error, 602, kCodeMissing}},
        {R"({"result":"ok"})", {ResultKind::error, 602, kUnknownOk}},
        {R"({"result":5})", {ResultKind::error, 602, kResultMissing}},
        {R"({})", {ResultKind::error, 602, kResultMissing}},
    };
    for (const auto& [body, expected] : cases) {
        EXPECT_EQ(decodeBaseApiResult(bytes(body)), expected) << body;
    }
    for (const std::string body : {"[]", "<html></html>", "\"success\"", "{\"result\":\"succ"}) {
        EXPECT_THROW(decodeBaseApiResult(bytes(body)), TextError) << body;
    }
}

TEST(ResultDecodingTest, StatisticsAreAListOrAnErrorObject) {
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
        {R"({"errorCode":104})", {ResultKind::error, 602, kListResultMissing}},
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
}

TEST(ResultDecodingTest, SubscriberRecordsKeepNullAttributes) {
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

TEST(ResultDecodingTest, ContentIsTheBodyUnlessAnErrorObjectOrAnErrorStatus) {
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
    for (const auto& [body, status] : std::vector<std::pair<std::string, long>>{
             {"<html>Bad Gateway</html>", 502}, {R"({"a":1})", 404}, {"Not Found", 404}}) {
        try {
            decodeContentDownloadResult(bytes(body), status);
            ADD_FAILURE() << body;
        } catch (const TextError& error) {
            EXPECT_EQ(error.what(),
                      "Invalid response with status \"" + std::to_string(status) + "\"");
        }
    }
}

TEST(ResultDecodingTest, EnvelopesRoundTrip) {
    EXPECT_EQ(ErrorResponse(104, std::nullopt).toJson().dump(),
              R"({"errorCode":104,"result":"error"})");
    const ErrorResponse described(7, "why");
    EXPECT_EQ(ErrorResponse::fromJson(described.toJson()), described);
    EXPECT_EQ(ErrorResponse::fromJson(Json::parse(R"({"result":"error","errorCode":"7"})")),
              std::nullopt);
    EXPECT_EQ(BasicResponse::fromJson(BasicResponse("success").toJson()), BasicResponse("success"));
    EXPECT_EQ(BasicResponse::fromJson(Json::array()), std::nullopt);
}

}  // namespace
}  // namespace orvanpush::detail
