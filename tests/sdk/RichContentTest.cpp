// Rich content against the reference server: the download, and the content kept in the store
// once it was fetched (the CLI's end-to-end tests check that it is fetched once).

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "orvanpush/OrvanPushSDKError.h"
#include "platform/Base64.h"
#include "sdk/SdkTestSupport.h"

namespace orvanpush::testing {
namespace {

using ContentCompletion = Completion<std::shared_ptr<ExtraContentProtocol>>;

class RichContentTest : public ServerTest {
  protected:
    void seed(const std::string& messageId) const {
        server().admin("POST", "content",
                       Json{{"messageId", messageId},
                            {"contentType", "image/png"},
                            {"content", "iVBORw0KGgo="}});
    }

    void seedBody(const std::string& messageId, const std::string& body) const {
        server().admin(
            "POST", "content",
            Json{{"messageId", messageId}, {"bodyBase64", platform::base64Encode(body)}});
    }

    static std::size_t downloads() { return server().requests("content/download").size(); }

    static std::shared_ptr<ExtraContentProtocol> content(const TestInstance& instance,
                                                         const std::string& id) {
        ContentCompletion completion;
        instance->getNotificationContent(id, completion.callback());
        auto content = completion.first();
        EXPECT_TRUE(completion.ranOnMainQueue());
        return content;
    }
};

TEST_F(RichContentTest, ADownloadHandsOverTheServersAnswer) {
    TestInstance instance(server());
    instance.subscribe();
    seed("m1");
    Completion<std::optional<ContentDownloadResult>> found;
    instance->downloadContent("m1", 20.0, found.callback());
    const auto result = found.first();
    ASSERT_EQ(result->getResultKind(), ResultKind::success);
    const auto body = Json::parse(result->getContent()->begin(), result->getContent()->end());
    EXPECT_EQ(body["content"], "iVBORw0KGgo=");
    EXPECT_EQ(server().requests("content/download")[0]["checks"]["signature"], "verified");

    Completion<std::optional<ContentDownloadResult>> missing;
    instance->downloadContent("m2", std::nullopt, missing.callback());
    EXPECT_EQ(missing.first()->getErrorCode(), 116);

    EXPECT_THROW(instance->downloadContent("", std::nullopt, nullptr), OrvanPushSDKError);
    TestInstance unsubscribed(server());
    EXPECT_THROW(unsubscribed->downloadContent("m1", std::nullopt, nullptr), OrvanPushSDKError);
    EXPECT_EQ(downloads(), 2u);
}

// What the form that reports failures hands over: (content, failure, error).
using OutcomeCompletion = Completion<std::shared_ptr<ExtraContentProtocol>,
                                     std::optional<BaseApiResult>, std::exception_ptr>;

std::tuple<std::shared_ptr<ExtraContentProtocol>, std::optional<BaseApiResult>, std::exception_ptr>
outcome(const TestInstance& instance, const std::string& id) {
    OutcomeCompletion completion;
    instance->getNotificationContent(id, completion.callback());
    return completion.wait();
}

TEST_F(RichContentTest, EveryMissingContentSaysWhyAndOnlyContentWithAValueIsKept) {
    TestInstance instance(server());
    instance.subscribe();
    const BaseApiResult notContent(
        ResultKind::error, 600,
        "The answer is not content: a JSON object whose \"contentType\" and \"content\" are text");
    struct Case {
        std::string body;
        std::optional<BaseApiResult> failure;
    };
    const std::vector<Case> cases{
        {R"({"contentType":7,"content":"x"})", notContent},
        {R"({"content":{"text":"x"}})", notContent},
        {std::string("{\"content\":\"x\"}\0garbage", 23), notContent},
        {"[" + std::string(300, '[') + std::string(301, ']'), notContent},
        {R"({"contentType":"text/plain","content":null})", std::nullopt},
        {"{}", std::nullopt},
    };
    for (const auto& [body, failure] : cases) {
        seedBody("m1", body);
        const auto [found, why, error] = outcome(instance, "m1");
        EXPECT_EQ(found, nullptr) << body;
        EXPECT_EQ(why, failure) << body;
        EXPECT_FALSE(error);
        EXPECT_EQ(instance.store().extraContent("m1"), nullptr) << body;
    }
    // Nothing was kept in their place: the real content arrives as soon as the server has it.
    seed("m1");
    EXPECT_EQ(std::get<0>(outcome(instance, "m1"))->value(), "iVBORw0KGgo=");

    EXPECT_EQ(std::get<1>(outcome(instance, "m2"))->getErrorCode(), 116);
    server().addFault("content/download", {{"kind", "drop"}, {"count", 100}});
    EXPECT_EQ(std::get<1>(outcome(instance, "m3"))->getErrorCode(), 600);

    // A download that cannot even start (no client id) still answers, with nothing.
    LogCapture log;
    TestInstance unsubscribed(server());
    const auto [found, failure, error] = outcome(unsubscribed, "m1");
    EXPECT_FALSE(failure);
    EXPECT_THROW(std::rethrow_exception(error), OrvanPushSDKError);
    EXPECT_EQ(content(unsubscribed, "m1"), nullptr);
    EXPECT_THAT(log.text(),
                ::testing::HasSubstr("Content for message with id \"m1\" cannot be downloaded: "
                                     "emptyMandatoryParameter(\"address\")"));
}

}  // namespace
}  // namespace orvanpush::testing
