// The endpoints' wire format as their targets describe it, without a server.

#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "api/ApiDateFormatter.h"
#include "api/ApiTestSupport.h"
#include "api/ContentDownloadTarget.h"
#include "api/NotificationsTarget.h"
#include "api/StatisticsTarget.h"
#include "api/SubscribeTarget.h"
#include "api/SubscriberGetTarget.h"
#include "api/SubscriberUpdateTarget.h"
#include "api/UnsubscribeTarget.h"

namespace orvanpush::detail {
namespace {

using ::testing::ElementsAre;
using ::testing::Pair;

// 2024-03-01 09:00:00 UTC.
const Date kMarchFirst = Date(std::chrono::seconds(1709283600));

Json bodyOf(const ApiParameters& parameters) {
    return Json::parse(parameters.at("body"));
}

TEST(EndpointTargetsTest, CommonFieldsBecomeMethodPathRetriesTimeoutAndHeaders) {
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
}

// The reference server checks every body member; these are the signed texts and optional
// members of the examples.
TEST(EndpointTargetsTest, SignedTextsAndOptionalMembers) {
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
}

// Text that is not UTF-8 never makes a target throw: it travels repaired.
TEST(EndpointTargetsTest, SubscribeSendsEveryMemberAndRepairsText) {
    const auto parameters = SubscribeTarget{
        {.address = "d.c",
         .osVersion = "17.4",
         .vendorInfo = "iPhone15,2",
         .token = std::string("t\xff\xfe", 3),
         .publicKey = "K"}}.parameters();
    EXPECT_EQ(parameters.at("body"),
              "{\"address\":\"d.c\",\"osType\":\"ios\",\"osVersion\":\"17.4\",\"pubKey\":\"K\","
              "\"token\":\"t\xEF\xBF\xBD\xEF\xBF\xBD\",\"vendorInfo\":\"iPhone15,2\"}");
}

TEST(EndpointTargetsTest, StatisticsSendOptionalValuesOnlyWhenPresent) {
    StatisticsObject statistics{.address = "d.c",
                                .requestAddress = "r",
                                .amount = 10,
                                .dateFrom = kMarchFirst,
                                .signature = "S"};
    auto query = [](const ApiParameters& parameters) {
        std::vector<std::string> names;
        for (const auto& [key, value] : parameters) {
            if (key.starts_with("p.")) {
                names.push_back(key.substr(2));
            }
        }
        return names;
    };
    EXPECT_THAT(query(StatisticsTarget{statistics}.parameters()),
                ElementsAre("address", "amount", "dateFrom", "requestAddress", "signature"));
    const std::string from = apiDateFormatter().string(kMarchFirst);
    EXPECT_EQ(StatisticsTarget::signedText(statistics), "d.cr10" + from);

    statistics.requestId = "q";
    statistics.dateTo = kMarchFirst + std::chrono::hours(24);
    const std::string to = apiDateFormatter().string(*statistics.dateTo);
    const auto parameters = StatisticsTarget{statistics}.parameters();
    EXPECT_EQ(query(parameters).size(), 7u);
    EXPECT_EQ(parameters.at("p.requestId"), "q");
    EXPECT_EQ(parameters.at("p.dateTo"), to);
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
    auto utc = testing::runChildTest("EndpointTargetsTest.DISABLED_ReportQueryDate", {"TZ=UTC"});
    EXPECT_EQ(utc.reported, "2024-03-01T09:00:00Z");
}

}  // namespace
}  // namespace orvanpush::detail
