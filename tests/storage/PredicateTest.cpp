#include "orvanpush/storage/Predicate.h"

#include <set>

#include <gtest/gtest.h>

#include "orvanpush/storage/StorageErrors.h"
#include "storage/StorageMessage.h"
#include "storage/StoreTestSupport.h"

namespace orvanpush::detail {
namespace {

using Op = Predicate::Operator;
using testing::freshGroup;
using testing::messageValue;

TEST(PredicateTest, PrintsItsFormatTextEscapedAndRefusesUnknownKeyPathsAndValuesOfTheWrongType) {
    const Date date = Date(std::chrono::seconds(1700000000));
    const std::vector<std::pair<Predicate, std::string>> cases{
        {Predicate("id", Op::equalTo, "42"), R"(id == "42")"},
        {Predicate("title", Op::notEqualTo, nullptr), "title != nil"},
        {Predicate("messageDate", Op::lessThan, date), "messageDate < 2023-11-14T22:13:20Z"},
        {Predicate("contentAvailable", Op::equalTo, true), "contentAvailable == 1"},
        {Predicate("messageAttributesLink.isImportant", Op::greaterThanOrEqualTo, 2),
         "messageAttributesLink.isImportant >= 2"},
        {Predicate::in("id", {"a", "b"}), R"(id IN {"a", "b"})"},
        {Predicate("body", Op::equalTo, "say \"hi\"\\\nnow\r"), R"(body == "say \"hi\"\\\nnow\r")"},
        {Predicate("id", Op::equalTo, "1") && !Predicate("title", Op::equalTo, "x"),
         R"(id == "1" AND (NOT title == "x"))"},
        {(Predicate("id", Op::equalTo, "1") || Predicate("id", Op::equalTo, "2")) &&
             Predicate("body", Op::lessThanOrEqualTo, "m"),
         R"((id == "1" OR id == "2") AND body <= "m")"},
        {Predicate::allOf({}), "TRUEPREDICATE"},
        {Predicate::anyOf({}), "FALSEPREDICATE"},
    };
    for (const auto& [predicate, text] : cases) {
        EXPECT_EQ(predicate.format(), text);
    }

    EXPECT_THROW(Predicate("nope", Op::equalTo, "x"), PredicateError);
    EXPECT_THROW(Predicate("id) OR (1=1", Op::equalTo, "x"), PredicateError);
    EXPECT_THROW(Predicate("title", Op::equalTo, 5), PredicateError);
    EXPECT_THROW(Predicate("messageDate", Op::lessThan, "yesterday"), PredicateError);
    EXPECT_THROW(Predicate("contentAvailable", Op::equalTo, "true"), PredicateError);
    EXPECT_THROW((Predicate::in("id", {"a", 1})), PredicateError);
    EXPECT_THROW(Predicate::in("unknown", {}), PredicateError);
}

class PredicateQueryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        auto withSubtitle = messageValue("1");
        withSubtitle.setSubtitle("a");
        store_->saveMessage(withSubtitle);
        auto other = messageValue("2");
        other.setSubtitle("c");
        other.setContentAvailable(true);
        store_->saveMessage(other);
        store_->saveMessage(messageValue("3"));  // no subtitle
        store_->saveMessage(messageValue("x') OR 1=1 --"));
        store_->saveMessage(messageValue("odd\xff"));  // not UTF-8: no JSON can carry it
    }

    std::set<std::string> matching(const Predicate& predicate) {
        FetchedResultsController controller(store_->container(), {predicate, {}});
        controller.performFetch();
        std::set<std::string> ids;
        for (const auto& message : controller.fetchedObjects()) {
            ids.insert(*message->id());
        }
        return ids;
    }

    std::shared_ptr<StorageMessage> store_ =
        StorageMessage::make(freshGroup(), AppTarget::application);
};

// Nil compares as the original compares it; values are bound, never spliced.
TEST_F(PredicateQueryTest, MatchesAsTheOriginalWithNilAndBoundValues) {
    using Ids = std::set<std::string>;
    const std::string injected = "x') OR 1=1 --";
    const Ids notA = {"2", "3", injected, "odd\xff"};
    const std::pair<Predicate, Ids> cases[] = {
        {Predicate("subtitle", Op::equalTo, nullptr), Ids{"3", injected, "odd\xff"}},
        {Predicate("subtitle", Op::notEqualTo, "a"), notA},
        {!Predicate("subtitle", Op::equalTo, "a"), notA},
        {Predicate("subtitle", Op::lessThan, "b"), Ids{"1"}},
        {!Predicate("subtitle", Op::lessThan, "b"), notA},
        {Predicate::in("subtitle", {"c", nullptr}), notA},
        {Predicate("contentAvailable", Op::equalTo, true), Ids{"2"}},
        {Predicate("channelLink.name", Op::equalTo, "push") &&
             Predicate("messageAttributesLink.messageId", Op::equalTo, "2"),
         Ids{"2"}},
        {Predicate("id", Op::equalTo, injected), Ids{injected}},
        {Predicate("id", Op::equalTo, "' OR '1'='1"), Ids{}},
        {Predicate::in("id", {"\") OR 1=1 --"}), Ids{}},
        {Predicate::in("id", {"2", "odd\xff", "\xfe"}), Ids{"2", "odd\xff"}}};
    for (const auto& [predicate, ids] : cases) {
        EXPECT_EQ(matching(predicate), ids) << predicate.format();
    }
    // A status key path does not apply to messages.
    EXPECT_THROW(matching(Predicate("isSent", Op::equalTo, true)), PredicateError);
}

TEST_F(PredicateQueryTest, AnInListOfAHundredThousandValuesWorks) {
    std::vector<PredicateValue> ids;
    for (int i = 0; i < 100000; ++i) {
        ids.emplace_back("missing-" + std::to_string(i));
    }
    ids.emplace_back("2");
    EXPECT_EQ(matching(Predicate::in("id", ids)), (std::set<std::string>{"2"}));

    std::vector<std::string> removed(ids.size() - 1, "none");
    removed.push_back("3");
    store_->removeMessages(removed);
    EXPECT_FALSE(store_->isMessageExists("3"));
    EXPECT_TRUE(store_->isMessageExists("2"));
}

}  // namespace
}  // namespace orvanpush::detail
