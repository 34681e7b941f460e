// The application and its extension as two real processes on one instance, against the
// reference server: a push both receive at once keeps its sound in exactly one, and each
// (message id, status) whose report was answered went out in exactly one request, whichever
// process sends or re-sends it.

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <set>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "sdk/SdkTestSupport.h"
#include "storage/StoreTestSupport.h"

namespace orvanpush::testing {
namespace {

// ---- The other processes: this program run again, following commands on standard input ----

// "receive <id>" receives a push with a title and the sound "default" and prints
// "<id> sound" or "<id> silent" when its completion runs, then "acknowledged <id>" or
// "notStored <id> <reason>"; "read <id>" reports the message read and prints "answered <id> Read"
// once the report succeeded; "subscribe <client id>"
// subscribes and prints "subscribed <result kind>"; "token <token>" updates the subscription and
// prints "token <result kind>"; "list <anything>" prints "listed <number of messages>";
// "create <port>" creates the instance for the reference server on that port, with the group
// "group.<instance>". Skipped in an ordinary run.
TEST(ReceiverChild, FollowsItsCommands) {
    const auto instance = becomeChild();
    if (!instance) {
        GTEST_SKIP() << "run by TwoProcessReceiptTest";
    }
    const auto printAs = [](const std::string& word) {
        return [word](const std::optional<BaseApiResult>& result) {
            std::printf("%s %s\n", word.c_str(),
                        result ? toString(result->getResultKind()).c_str() : "none");
            std::fflush(stdout);
        };
    };
    std::shared_ptr<PushSDK> sdk;
    for (std::string command, id; std::cin >> command >> id;) {
        if (command == "create") {
            PushSDK::createInstance(*instance, "group." + *instance,
                                    {"http", "127.0.0.1", std::stoi(id), "api"},
                                    ReferenceServer::kLogin, ReferenceServer::kPassword,
                                    std::nullopt, true, std::nullopt);
            continue;
        }
        sdk = sdk ? sdk : PushSDK::getInstance(*instance);
        if (command == "read") {
            sdk->onMessageRead(id, [id](const std::optional<BaseApiResult>& result) {
                if (succeeded(result)) {
                    std::printf("answered %s Read\n", id.c_str());
                    std::fflush(stdout);
                }
            });
        } else if (command == "list") {
            std::printf("listed %zu\n",
                        sdk->getFetchedResultsController()->fetchedObjects().size());
        } else if (command == "subscribe") {
            sdk->subscribe("device-1", id, "token", std::nullopt, printAs("subscribed"));
        } else if (command == "token") {
            sdk->updateSubscription(id, std::nullopt, printAs("token"));
        } else {
            const Json payload{{"aps", {{"alert", {{"title", "Sale"}}}, {"sound", "default"}}},
                               {"message-id", id}};
            sdk->onMessageReceive(
                {id, NotificationContent::fromPayload(payload)}, std::nullopt,
                [id](auto result, auto error, std::optional<MutableNotificationContent> shown) {
                    std::printf("%s %s\n", id.c_str(),
                                shown && shown->sound() ? "sound" : "silent");
                    if (error) {
                        std::printf("notStored %s %s\n", id.c_str(), textOf(error).c_str());
                    } else if (succeeded(result)) {
                        std::printf("acknowledged %s\n", id.c_str());
                    }
                    std::fflush(stdout);
                });
        }
        std::fflush(stdout);
    }
    EXPECT_TRUE(PushSDK::waitForOutstandingWork(180s));
}

// ---- The application and the extension ----

ChildProcess receiver(const TestInstance& instance, const std::string& role) {
    return ChildProcess({thisProgram(), "--gtest_filter=ReceiverChild.*"},
                        childEnvironment(instance.identifier(), role));
}

/// The next outcome a receiver printed, past the test program's own lines.
std::string nextOutcome(ChildProcess& child) {
    while (const auto line = child.readLine()) {
        if (line->ends_with(" sound") || line->ends_with(" silent") ||
            line->starts_with("subscribed ")) {
            return *line;
        }
    }
    return "(ended)";
}

class TwoProcessReceiptTest : public ServerTest {};

TEST_F(TwoProcessReceiptTest, APushBothReceiveAtOnceKeepsItsSoundInExactlyOne) {
    TestInstance instance(server());
    instance.subscribe();
    ChildProcess application = receiver(instance, "application");
    ChildProcess extension = receiver(instance, "extension");
    for (int push = 0; push < 20; ++push) {
        const std::string id = "both-" + std::to_string(push);
        extension.writeInput("receive " + id + "\n");
        application.writeInput("receive " + id + "\n");
        const auto shown = {nextOutcome(extension), nextOutcome(application)};
        EXPECT_EQ(std::count(shown.begin(), shown.end(), id + " sound"), 1) << id;
    }
    application.closeInput();
    extension.closeInput();
    EXPECT_EQ(application.wait(), 0);
    EXPECT_EQ(extension.wait(), 0);
}

// Both processes subscribe the device at once, ten times: whichever answer the server applied
// last, the device signs with its key.
TEST_F(TwoProcessReceiptTest, AfterTwoSubscriptionsAtOnceASignedQuerySucceeds) {
    TestInstance instance(server());
    ChildProcess application = receiver(instance, "application");
    ChildProcess extension = receiver(instance, "extension");
    int succeeded = 0;
    for (int trial = 0; trial < 10; ++trial) {
        extension.writeInput("subscribe client-1\n");
        application.writeInput("subscribe client-1\n");
        EXPECT_EQ(nextOutcome(extension), "subscribed success");
        EXPECT_EQ(nextOutcome(application), "subscribed success");
        Completion<std::optional<SubscriberGetResult>> query;
        instance->getSubscriberData(std::nullopt, std::nullopt, query.callback());
        const auto result = query.first();
        succeeded += result && result->getResultKind() == ResultKind::success ? 1 : 0;
    }
    std::printf("%d of 10 queries after two concurrent subscriptions succeed\n", succeeded);
    EXPECT_EQ(succeeded, 10);
}

// Each process receives messages of its own and reads the other's (a row in the shared store
// that both processes' re-send rounds see) while the other's reports are in flight. On a machine
// too busy for the server to answer within the timeout, a request may reach the server after the
// client gave up on it: the transport resends that request (the same "rid"), and a report that
// failed goes again later as a new request. So each report whose completion saw its answer must
// have gone out in one request; resends of that request are counted apart.
TEST(TwoProcessReceiptHeavyTest, EachStatusIsAppliedOnceWhicheverProcessSendsIt) {
    ReferenceServer server(ORVANPUSH_SERVER);
    TestInstance instance(server);
    instance.subscribe();
    ChildProcess application = receiver(instance, "application");
    ChildProcess extension = receiver(instance, "extension");
    int pushes = 0;
    for (const auto deadline = std::chrono::steady_clock::now() + 15s;
         std::chrono::steady_clock::now() < deadline; ++pushes) {
        const auto number = std::to_string(pushes);
        const auto previous = std::to_string(pushes - 1);
        application.writeInput("receive a" + number + "\nread e" + previous + "\n");
        extension.writeInput("receive e" + number + "\nread a" + previous + "\n");
        std::this_thread::sleep_for(10ms);  // a steady load, not a flood
    }
    application.closeInput();
    extension.closeInput();
    std::set<std::pair<std::string, std::string>> answered;
    const auto collect = [&answered](const std::optional<std::string>& line) {
        std::istringstream words(line.value_or(""));
        std::string word, id, status;
        words >> word >> id >> status;
        if (word == "acknowledged" || word == "answered") {
            answered.insert({id, word == "answered" ? status : "Delivered"});
        }
        return line.has_value();
    };
    while (collect(application.readLine()) || collect(extension.readLine())) {
    }
    EXPECT_EQ(application.wait(), 0);
    EXPECT_EQ(extension.wait(), 0);

    const auto requests = reportedStatuses(server, "requests");
    const auto applied = reportedStatuses(server);
    int resent = 0;
    for (const auto& [status, count] : requests) {
        if (answered.contains(status)) {
            EXPECT_EQ(count, 1) << status.first << " " << status.second;
        }
        resent += applied.at(status) - count;
    }
    EXPECT_GE(answered.size(), static_cast<std::size_t>(pushes));
    std::printf(
        "two processes: %zu reports, %zu answered, each in one request (%d resends of a "
        "request that reached the server unanswered)\n",
        requests.size(), answered.size(), resent);
}

}  // namespace
}  // namespace orvanpush::testing
