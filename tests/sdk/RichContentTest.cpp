// Rich content against the reference server: the download, and the content kept in the store
// once it was fetched.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "orvanpush/OrvanPushSDKError.h"
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

TEST_F(RichContentTest, ContentIsDownloadedOnceAndThenAnsweredFromTheStore) {
    TestInstance instance(server());
    instance.subscribe();
    seed("m1");
    for (int i = 0; i < 2; ++i) {
        const auto found = content(instance, "m1");
        ASSERT_TRUE(found);
        EXPECT_EQ(found->messageId(), "m1");
        EXPECT_EQ(found->mimeType(), "image/png");
        EXPECT_EQ(found->value(), "iVBORw0KGgo=");
    }
    EXPECT_EQ(downloads(), 1u);
    EXPECT_TRUE(instance.store().extraContent("m1"));
}

TEST_F(RichContentTest, AFailedDownloadAnswersNothingAndStoresNothing) {
    TestInstance instance(server());
    instance.subscribe();
    EXPECT_EQ(content(instance, "m1"), nullptr);
    EXPECT_EQ(instance.store().extraContent("m1"), nullptr);
    // An answer that is not content is not stored either.
    server().admin("POST", "content",
                   Json{{"messageId", "m2"}, {"bodyBase64", "AAEC"}, {"mediaType", "image/png"}});
    EXPECT_EQ(content(instance, "m2"), nullptr);
    EXPECT_EQ(downloads(), 2u);

    // A download that cannot even start (no client id) still answers, with nothing.
    LogCapture log;
    TestInstance unsubscribed(server());
    EXPECT_EQ(content(unsubscribed, "m1"), nullptr);
    EXPECT_THAT(log.text(),
                ::testing::HasSubstr("Content for message with id \"m1\" cannot be downloaded: "
                                     "emptyMandatoryParameter(\"address\")"));
    EXPECT_EQ(downloads(), 2u);
}

TEST_F(RichContentTest, ASuccessfulDownloadSendsTheQueuedReports) {
    TestInstance instance(server());
    instance.subscribe();
    server().addFault("notifications", {{"kind", "answer"}, {"status", 503}, {"count", 4}});
    ResultCompletion failed;
    instance->onMessageReceive("queued", "Title", std::nullopt, std::nullopt, std::nullopt,
                               std::nullopt, failed.callback());
    EXPECT_EQ(failed.first()->getResultKind(), ResultKind::error);
    seed("m1");
    content(instance, "m1");
    waitForTheLibrary();
    EXPECT_EQ((reportedStatuses(server())[{"queued", "Delivered"}]), 1);
    EXPECT_TRUE(instance.unsent().empty());
}

}  // namespace
}  // namespace orvanpush::testing
