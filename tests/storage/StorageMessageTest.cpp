#include "storage/StorageMessage.h"

#include <atomic>
#include <chrono>
#include <set>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "orvanpush/storage/MessageStatus.h"
#include "orvanpush/storage/Predicate.h"
#include "orvanpush/storage/StorageErrors.h"
#include "storage/StoreTestSupport.h"

namespace orvanpush::detail {
namespace {

using namespace std::chrono_literals;
using testing::countOf;
using ::testing::ElementsAre;
using testing::freshGroup;
using testing::messageValue;
using Op = Predicate::Operator;
using ::testing::UnorderedElementsAre;

const Date someDay = Date(std::chrono::hours(24 * 19500));

class StorageMessageTest : public ::testing::Test {
  protected:
    std::int64_t count(const std::string& sql) { return countOf(*store_->container(), sql); }

    std::vector<std::string> storedIds() { return testing::fetchedIds(*store_); }
    std::vector<std::pair<std::string, std::string>> unsent() { return testing::unsentOf(*store_); }

    std::string group_ = freshGroup();
    std::shared_ptr<StorageMessage> store_ = StorageMessage::make(group_, AppTarget::application);
};

TEST_F(StorageMessageTest, StatusAndChannelRowsAreOnePerNameAndOnlyRealChangesAddHistory) {
    store_->saveMessage(messageValue("1"));
    store_->saveMessage(messageValue("2"));
    EXPECT_EQ(count("SELECT count(*) FROM Status"), 1);
    EXPECT_EQ(count("SELECT count(*) FROM Channel"), 1);

    auto message = store_->messageById("1");
    ASSERT_NE(message, nullptr);
    message->setStatusName("Read");
    EXPECT_EQ(message->statusName(), "Read");
    const auto readDate = message->statusDate();
    message->setStatusName("Read");
    message->setStatusName(std::nullopt);
    EXPECT_EQ(message->statusDate(), readDate);
    EXPECT_EQ(count("SELECT count(*) FROM Status"), 2);
    const auto history = message->messageStatuses();
    ASSERT_EQ(history.size(), 2u);
    EXPECT_EQ(std::tuple(history[0]->statusName(), history[1]->statusName(), history[0]->isSent(),
                         history[1]->isSent(), history[1]->message()->id()),
              std::tuple("Delivered", "Read", false, false, "1"));

    message->setChannelName("push");
    message->setChannelName("promo");
    EXPECT_EQ(message->channelName(), "promo");
    EXPECT_EQ(message->channel()->name(), "promo");
    EXPECT_EQ(store_->messageById("2")->channel()->name(), "push");
    EXPECT_EQ(count("SELECT count(*) FROM Channel"), 2);

    // A message without a status still gets a status row (named "") and a history row.
    store_->saveMessage(messageValue("3", std::nullopt, std::nullopt));
    auto silent = store_->messageById("3");
    EXPECT_EQ(silent->status()->name(), "");
    ASSERT_EQ(silent->messageStatuses().size(), 1u);
    EXPECT_EQ(silent->messageStatuses()[0]->statusName(), std::nullopt);
}

TEST_F(StorageMessageTest,
       ANewMessageIsDatedNowAndASaveStoresEveryTimeWhileAReceiptStoresAnIdOnce) {
    const auto before = std::chrono::system_clock::now();
    store_->saveMessage(messageValue("new"));
    const auto after = std::chrono::system_clock::now();
    const auto fresh = store_->messageById("new");
    ASSERT_TRUE(fresh->messageDate());
    EXPECT_GE(*fresh->messageDate(), before);
    EXPECT_LE(*fresh->messageDate(), after);
    EXPECT_EQ(fresh->statusDate(), fresh->messageDate());

    store_->saveMessage(messageValue("old", someDay));
    auto old = store_->messageById("old");
    old->setup(messageValue("old"));
    EXPECT_EQ(old->messageDate(), someDay);
    EXPECT_EQ(old->messageStatuses().size(), 2u);
    old->setup(messageValue("old", someDay + 1h));
    EXPECT_EQ(store_->messageById("old")->messageDate(), someDay + 1h);

    store_->saveMessage(messageValue("twice"));
    store_->saveMessage(messageValue("twice"));
    EXPECT_EQ(count("SELECT count(*) FROM Message WHERE id = 'twice'"), 2);
    EXPECT_TRUE(store_->isMessageExists("twice"));
    EXPECT_FALSE(store_->isMessageExists("never"));
    // One group shares one database; another group keeps a file of its own.
    const auto sameStore = StorageMessage::make(group_, AppTarget::application);
    const auto otherStore = StorageMessage::make(freshGroup(), AppTarget::application);
    EXPECT_EQ(sameStore->container(), store_->container());
    EXPECT_NE(otherStore->container(), store_->container());
    EXPECT_TRUE(sameStore->isMessageExists("twice"));
    EXPECT_FALSE(otherStore->isMessageExists("twice"));
    EXPECT_EQ(store_->messageById(std::nullopt), nullptr);

    MessageAttributesImp attributes;
    attributes.setClassifierName("news");
    attributes.setIsImportant(1);
    EXPECT_TRUE(store_->saveMessageIfNew(messageValue("once"), &attributes));
    EXPECT_FALSE(store_->saveMessageIfNew(messageValue("once"), &attributes));
    EXPECT_EQ(count("SELECT count(*) FROM Message WHERE id = 'once'"), 1);
    EXPECT_EQ(count("SELECT count(*) FROM MessageStatus WHERE messageId = 'once'"), 1);
    const auto stored = store_->messageById("once")->messageAttributes();
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(std::tuple(stored->classifierName(), stored->isImportant(), stored->messageId()),
              std::tuple("news", 1, "once"));

    store_->saveMessage(messageValue("with"), attributes);
    store_->saveMessage(messageValue("with"), attributes);
    EXPECT_EQ(count("SELECT count(*) FROM Message WHERE id = 'with'"), 2);
    EXPECT_EQ(store_->messageById("with")->messageAttributes()->classifierName(), "news");
}

// A row is leased to its first report, then to each re-send round that takes it: no other round
// (of either process) gets it until that lease has run out.
TEST_F(StorageMessageTest, ARoundTakesOnlyRowsWithoutALeaseAndLeasesWhatItTakes) {
    store_->saveMessage(messageValue("1"));
    const auto takeAll = [](std::vector<MessageStatusExternal> free) { return free; };
    const auto now = std::chrono::system_clock::now();
    EXPECT_TRUE(store_->leaseMessageStatusesUnsent(takeAll, now).empty());
    EXPECT_EQ(store_->leaseMessageStatusesUnsent(takeAll, now + 4min).size(), 1u);
    EXPECT_TRUE(store_->leaseMessageStatusesUnsent(takeAll, now + 5min).empty());
    EXPECT_EQ(store_->leaseMessageStatusesUnsent(takeAll, now + 8min).size(), 1u);
}

TEST_F(StorageMessageTest, MarkingMatchesIdAndNameAcrossDatesAndOutlivesTheMessage) {
    auto first = messageValue("1");
    first.setStatusDate(someDay);
    store_->saveMessage(first);
    auto message = store_->messageById("1");
    first.setStatusDate(someDay + 1h);
    message->setup(first);  // a second "Delivered" row, another date
    message->setStatusName("Read");

    store_->markMessageStatusAsSent(testing::statusReport("1", "Delivered"));
    EXPECT_THAT(unsent(), ElementsAre(std::pair<std::string, std::string>("1", "Read")));
    store_->markMessageStatusAsUnsent(testing::statusReport("1", "Delivered"));
    EXPECT_EQ(unsent().size(), 3u);
    store_->markMessageStatusAsSent(testing::statusReport("1", "Delivered"));

    // The sent rows go with their message; the unsent report stays, with its message id, and
    // goes once it is marked sent.
    store_->removeMessage("1");
    EXPECT_EQ(count("SELECT count(*) FROM MessageStatus WHERE isSentInternal = 1"), 0);
    EXPECT_THAT(unsent(), ElementsAre(std::pair<std::string, std::string>("1", "Read")));
    store_->markMessageStatusAsSent(testing::statusReport("1", "Read"));
    EXPECT_TRUE(unsent().empty());
    EXPECT_EQ(count("SELECT count(*) FROM MessageStatus"), 0);
}

TEST_F(StorageMessageTest,
       DeletionTakesAttributesAndContentWithTheLastMessageOfTheirIdButNoPendingReport) {
    auto one = messageValue("shared");
    one.setTitle("one");
    auto two = messageValue("shared");
    two.setTitle("two");
    store_->saveMessage(one);
    store_->saveMessage(two);
    store_->storeExtraContent(testing::contentOf("shared", "rich"));
    const auto remaining = [&] {
        return std::pair(count("SELECT count(*) FROM MessageAttributes"),
                         count("SELECT count(*) FROM ExtraContent"));
    };

    store_->removeMessages(Predicate("title", Predicate::Operator::equalTo, "one"));
    EXPECT_EQ(remaining(), (std::pair<std::int64_t, std::int64_t>(1, 1)));
    store_->removeMessages(std::vector<std::string>{});
    EXPECT_EQ(count("SELECT count(*) FROM Message"), 1);
    store_->removeMessages(std::vector<std::string>{"shared"});
    EXPECT_EQ(remaining(), (std::pair<std::int64_t, std::int64_t>(0, 0)));

    // Removing all messages keeps the pending reports; an id that is not UTF-8 goes as well.
    for (const auto* id : {"1", "2", "3\xff"}) {
        store_->saveMessage(messageValue(id));
    }
    store_->markMessageStatusAsSent(testing::statusReport("2", "Delivered"));
    store_->removeAllMessages();
    for (const auto* table : {"Message", "Status", "Channel", "MessageAttributes"}) {
        EXPECT_EQ(count(std::string("SELECT count(*) FROM ") + table), 0) << table;
    }
    using Report = std::pair<std::string, std::string>;
    EXPECT_THAT(unsent(),
                UnorderedElementsAre(Report("shared", "Delivered"), Report("shared", "Delivered"),
                                     Report("1", "Delivered"), Report("3\xff", "Delivered")));
}

// The other process stores a message between the last batch of "remove all" and the removal of
// the channels and statuses (played by a trigger set through another connection).
TEST_F(StorageMessageTest, RemovingAllKeepsTheLinksOfAMessageStoredMeanwhile) {
    auto message = messageValue("early");
    message.setChannelName("news");
    store_->saveMessage(message);
    ASSERT_EQ(testing::sqliteOutput(
                  testing::storeFile(group_),
                  "CREATE TRIGGER meanwhile AFTER DELETE ON Message "
                  "WHEN NOT EXISTS (SELECT 1 FROM Message) BEGIN "
                  "INSERT INTO Message (id, messageDate, statusLink, statusNameInternal, "
                  "channelLink, channelNameInternal) SELECT 'late', 0, Status.pk, Status.name, "
                  "Channel.pk, Channel.name FROM Status, Channel; END"),
              "");
    store_->removeAllMessages();
    EXPECT_EQ(testing::sqliteOutput(testing::storeFile(group_),
                                    "SELECT Message.id, Status.name, Channel.name FROM Message "
                                    "JOIN Status ON Status.pk = statusLink "
                                    "JOIN Channel ON Channel.pk = channelLink"),
              "late|Delivered|news\n");
}

TEST_F(StorageMessageTest, RichContentAndIconsAreStoredOncePerKeyAndLinked) {
    store_->saveMessage(messageValue("a"));
    store_->saveMessage(messageValue("b"));
    for (const auto* value : {"first", "second"}) {
        store_->storeExtraContent(testing::contentOf("a", value, "text/plain"));
    }
    EXPECT_EQ(count("SELECT count(*) FROM ExtraContent"), 1);
    EXPECT_EQ(store_->extraContent("a")->value(), "first");
    EXPECT_EQ(store_->messageById("a")->extraContent()->value(), "first");
    EXPECT_EQ(store_->extraContent("b"), nullptr);

    struct IconValue : IconProtocol {
        explicit IconValue(std::string value) : text(std::move(value)) {}
        std::optional<std::string> url() const override { return "https://icons/1"; }
        std::optional<std::string> value() const override { return text; }
        std::string text;
    };
    store_->storeIcon(IconValue("one"), "a");
    store_->saveMessage(messageValue("c"));  // rows inserted since: the icon is found by its url
    store_->storeIcon(IconValue("two"), "b");
    EXPECT_EQ(count("SELECT count(*) FROM Icon"), 1);
    const auto icon = store_->icon("https://icons/1");
    const auto linked = store_->messageById("b")->icon();
    ASSERT_NE(linked, nullptr);
    EXPECT_EQ(icon->value(), "one");
    EXPECT_EQ(linked->value(), "one");
    EXPECT_EQ(linked->key(), icon->key());
}

using std::chrono::hours;
constexpr std::int64_t forever = std::numeric_limits<std::int64_t>::max();

// One message per age, stored in this order; the ones kept are named by position.
TEST_F(StorageMessageTest, CleanupKeepsTheNewestWithinTheAgeLimit) {
    struct Case {
        const char* name;
        std::vector<hours> ages;
        std::int64_t quantityLimit;
        std::int64_t daysLimit;
        std::vector<std::string> kept;
    };
    const Case cases[] = {
        {"newest two", {hours(5), hours(1), hours(3), hours(2), hours(4)}, 2, 30, {"1", "3"}},
        {"age goes even below the count", {hours(25), hours(1)}, 10, 1, {"1"}},
        {"age and count together", {hours(49), hours(30), hours(20), hours(10)}, 2, 2, {"2", "3"}},
        {"exactly at the cut-off stays", {hours(24), hours(24) + hours(1)}, 10, 1, {"0"}},
        {"equal dates by key", {hours(1), hours(1), hours(1)}, 2, 30, {"1", "2"}},
        {"zero keeps none", {hours(1), hours(2)}, 0, 30, {}},
        {"overflowing days delete nothing by age", {hours(100000)}, 5, forever, {"0"}},
        {"negative limits delete nothing", {hours(100), hours(1)}, -1, -1, {"0", "1"}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        store_->removeAllMessages();
        std::vector<std::shared_ptr<MessageProtocol>> messages;
        for (std::size_t i = 0; i < c.ages.size(); ++i) {
            messages.push_back(
                std::make_shared<MessageImp>(messageValue(std::to_string(i), someDay - c.ages[i])));
        }
        store_->saveMessages(messages);
        store_->cleanup(c.quantityLimit, c.daysLimit, someDay);
        EXPECT_EQ(storedIds(), c.kept);
    }
}

TEST_F(StorageMessageTest, CleanupCrossesManyDeletionBatches) {
    std::vector<std::shared_ptr<MessageProtocol>> messages;
    std::vector<std::string> newest;
    for (int i = 0; i < 1234; ++i) {
        messages.push_back(std::make_shared<MessageImp>(
            messageValue(std::to_string(i), someDay + std::chrono::minutes(i))));
        if (i >= 1234 - 100) {
            newest.push_back(std::to_string(i));
        }
    }
    store_->saveMessages(messages);
    store_->cleanup(100, forever, someDay + 1000h);
    EXPECT_EQ(storedIds(), newest);
    EXPECT_EQ(count("SELECT count(*) FROM MessageAttributes"), 100);
}

TEST_F(StorageMessageTest, AMessageOutlivesItsStoreAndASetterOnAGoneRowChangesNothing) {
    store_->saveMessage(messageValue("kept"));
    store_->saveMessage(messageValue("gone"));
    auto kept = store_->messageById("kept");
    auto gone = store_->messageById("gone");
    store_->removeMessage("gone");
    store_->saveMessage(messageValue("new"));  // the store gives it the key "gone" had
    auto container = store_->container();
    store_.reset();

    EXPECT_EQ(kept->title(), "Title kept");
    kept->setStatusName("Read");
    EXPECT_EQ(kept->statusName(), "Read");

    const auto rows = countOf(*container, "SELECT count(*) FROM MessageStatus");
    EXPECT_NO_THROW(gone->setStatusName("Read"));
    EXPECT_NO_THROW(gone->setChannelName("elsewhere"));
    EXPECT_NO_THROW(gone->setup(messageValue("taken")));
    EXPECT_EQ(gone->statusName(), "Delivered");
    EXPECT_EQ(gone->id(), "gone");
    EXPECT_EQ(countOf(*container, "SELECT count(*) FROM MessageStatus"), rows);
    EXPECT_EQ(countOf(*container, "SELECT count(*) FROM Channel WHERE name = 'elsewhere'"), 0);
    EXPECT_EQ(countOf(*container,
                      "SELECT count(*) FROM Message WHERE id = 'new' AND "
                      "statusNameInternal = 'Delivered'"),
              1);
    EXPECT_EQ(gone->messageStatuses().size(), 0u);
    EXPECT_EQ(gone->status(), nullptr);
}

struct CountingDelegate : FetchedResultsControllerDelegate {
    void controllerDidChangeContent(FetchedResultsController& controller) override {
        onMainQueue = onMainQueue && platform::MainQueue::isCurrent();
        seen = controller.fetchedObjects().size();
        ++calls;
    }
    std::atomic<std::size_t> seen{0};
    std::atomic<int> calls{0};
    std::atomic<bool> onMainQueue{true};
};

TEST_F(StorageMessageTest, TheControllerFollowsCommitsAndTellsItsDelegateOnTheMainQueue) {
    store_->saveMessage(messageValue("late", someDay + 1h));
    auto controller = store_->fetchedResultsController();
    EXPECT_EQ(controller, store_->fetchedResultsController());
    auto delegate = std::make_shared<CountingDelegate>();
    controller->setDelegate(delegate);

    store_->saveMessage(messageValue("early", someDay));
    ASSERT_TRUE(platform::MainQueue::waitUntilIdle(10s));
    EXPECT_GE(delegate->calls, 1);
    EXPECT_EQ(delegate->seen, 2u);
    EXPECT_TRUE(delegate->onMainQueue);
    // By message date, oldest first.
    EXPECT_EQ(testing::idsOf(*controller), (std::vector<std::string>{"early", "late"}));

    // A write that changes nothing announces nothing.
    const int calls = delegate->calls;
    store_->markMessageStatusAsSent(testing::statusReport("nobody", "Delivered"));
    ASSERT_TRUE(platform::MainQueue::waitUntilIdle(10s));
    EXPECT_EQ(delegate->calls, calls);
}

// ---- Predicates ----

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
        const auto ids = testing::fetchedIds(*store_, {predicate, {}});
        return {ids.begin(), ids.end()};
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
