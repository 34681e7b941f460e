// The host's view of the local store: the shared controller, look-ups and removals, and what
// each answers when the store cannot be opened.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "sdk/SdkTestSupport.h"
#include "security/KeyChainUtil.h"
#include "storage/StoreTestSupport.h"

namespace orvanpush::testing {
namespace {

using MessageCompletion = Completion<std::shared_ptr<MessageProtocol>>;
using RemovalCompletion = Completion<std::optional<TextError>>;

const Predicate kSale("title", Predicate::Operator::equalTo, "Sale");

std::vector<std::string> idsOf(const FetchedResultsController& controller) {
    std::vector<std::string> ids;
    for (const auto& message : controller.fetchedObjects()) {
        ids.push_back(message->id().value_or("?"));
    }
    return ids;
}

class LocalMessagesTest : public ServerTest {
  protected:
    void SetUp() override {
        ServerTest::SetUp();
        auto sale = messageValue("sale");
        sale.setTitle("Sale");
        instance_.store().saveMessage(sale);
        instance_.store().saveMessage(messageValue("news"));
    }

    std::shared_ptr<MessageProtocol> messageById(const std::string& id) {
        MessageCompletion completion;
        instance_->getMessageById(id, completion.callback());
        return completion.first();
    }

    TestInstance instance_{server()};
};

TEST_F(LocalMessagesTest, APredicateStaysOnTheSharedController) {
    const auto all = instance_->getFetchedResultsController();
    ASSERT_TRUE(all);
    EXPECT_EQ(idsOf(*all), (std::vector<std::string>{"sale", "news"}));
    const auto filtered = instance_->getMessageByPredicate(kSale);
    EXPECT_EQ(filtered, all);
    EXPECT_EQ(idsOf(*instance_->getFetchedResultsController()), std::vector<std::string>{"sale"});
}

TEST_F(LocalMessagesTest, LookUpsAndRemovalsAnswerOnTheMainQueue) {
    EXPECT_EQ(messageById("sale")->title(), "Sale");
    EXPECT_EQ(messageById("unknown"), nullptr);

    LogCapture log;
    RemovalCompletion unknown;
    instance_->removeMessage("unknown", unknown.callback());
    EXPECT_FALSE(unknown.first());
    EXPECT_TRUE(unknown.ranOnMainQueue());
    EXPECT_THAT(log.text(), ::testing::HasSubstr("Message with id unknown was removed"));

    RemovalCompletion bySale;
    instance_->removeMessages(kSale, bySale.callback());
    EXPECT_FALSE(bySale.first());
    EXPECT_EQ(messageById("sale"), nullptr);
    EXPECT_THAT(log.text(),
                ::testing::HasSubstr("Messages by predicate title == \"Sale\" was removed"));

    instance_->removeAllMessages();
    waitForTheLibrary();
    EXPECT_EQ(messageById("news"), nullptr);
}

TEST_F(LocalMessagesTest, AStoreThatCannotBeOpenedAnswersNothingAndEveryCompletionRuns) {
    TestInstance broken(server());
    broken.state().settingsUtils->set(detail::Setting::SharedAppGroup, "");
    detail::KeyChain::deleteItem("sharedAppGroup", broken.identifier());
    LogCapture log;
    MessageCompletion message;
    broken->getMessageById("sale", message.callback());
    EXPECT_EQ(message.first(), nullptr);
    EXPECT_THAT(log.text(), ::testing::HasSubstr("Error on getting messages by id (sale): Shared "
                                                 "Application Group not found in settings"));
    EXPECT_EQ(broken->getFetchedResultsController(), nullptr);
    EXPECT_EQ(broken->getMessageByPredicate(kSale), nullptr);
    RemovalCompletion removal;
    broken->removeMessage("sale", removal.callback());
    EXPECT_EQ(std::string(removal.first()->what()),
              "Shared Application Group not found in settings");
    EXPECT_THAT(log.text(), ::testing::HasSubstr("Error on removing message with id (sale): "));
}

}  // namespace
}  // namespace orvanpush::testing
