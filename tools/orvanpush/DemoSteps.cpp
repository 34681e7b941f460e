// The demo's steps: each does what a host does at that moment of the device's life, then checks
// what the server and the store made of it.

#include <algorithm>
#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "DemoSupport.h"
#include "DemoWalkThrough.h"
#include "orvanpush/LogUploadOutcome.h"
#include "orvanpush/storage/Message.h"

namespace orvanpush::cli {
namespace {

using namespace demo;

// Seconds from 1970 to 2001-01-01 UTC, the epoch of the server's history dates.
constexpr std::int64_t kReferenceDateOffset = 978307200;

std::string url(const ServerParams& server) {
    return server.protocolType + "://" + server.serverURL + ":" +
           std::to_string(server.serverPort) + "/" + server.context.value_or("");
}

std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
}

std::size_t countOf(const Json& requests, const std::string& endpoint, const std::string& outcome) {
    return static_cast<std::size_t>(
        std::count_if(requests.begin(), requests.end(), [&](const Json& record) {
            return record.at("endpoint") == endpoint && record.at("outcome") == outcome;
        }));
}

// Every request of `endpoint` among `requests` was signed with the device key and verified.
void requireVerified(const Json& requests, const std::string& endpoint) {
    std::size_t verified = 0;
    for (const auto& record : requests) {
        if (record.at("endpoint") == endpoint) {
            const auto signature = record.at("checks").value("signature", "none");
            require(signature == "verified",
                    "the server's signature check of " + endpoint + " gave " + signature);
            ++verified;
        }
    }
    require(verified > 0, "the server received no " + endpoint + " request");
}

std::shared_ptr<MessageProtocol> storedMessage(PushSDK& sdk, const std::string& id) {
    return await<std::shared_ptr<MessageProtocol>>(
        "getMessageById", [&](auto done) { sdk.getMessageById(id, done); });
}

std::string statusOf(PushSDK& sdk, const std::string& id) {
    const auto message = storedMessage(sdk, id);
    require(message != nullptr, id + " is not in the application's store");
    return message->statusName().value_or("no status");
}

// The stored messages, oldest first, each as its id and status ("m2 Read").
std::vector<std::string> storedMessages(PushSDK& sdk) {
    const auto controller = sdk.getFetchedResultsController();
    require(controller != nullptr, "the message store cannot be opened");
    controller->performFetch();
    std::vector<std::string> list;
    for (const auto& message : controller->fetchedObjects()) {
        list.push_back(message->id().value_or("?") + " " +
                       message->statusName().value_or("no status"));
    }
    return list;
}

// The ids of stored messages listed as storedMessages() lists them.
std::vector<std::string> ids(const std::vector<std::string>& listed) {
    std::vector<std::string> ids;
    for (const auto& entry : listed) {
        ids.push_back(entry.substr(0, entry.find(' ')));
    }
    return ids;
}

Json historyEntry(const std::string& id, std::chrono::system_clock::time_point date,
                  const std::string& title) {
    const auto unixSeconds =
        std::chrono::duration_cast<std::chrono::seconds>(date.time_since_epoch()).count();
    return {{"messageId", id},
            {"date", unixSeconds - kReferenceDateOffset},
            {"title", title},
            {"text", title + "."}};
}

}  // namespace

std::string DemoWalkThrough::createInstance() {
    PushSDK::createInstance(kInstance, kGroup, server_->pushServer(), ReferenceServer::kLogin,
                            ReferenceServer::kPassword, server_->logServer(), true,
                            StorageParams{kKeep, kDays});
    sdk_ = PushSDK::getInstance(kInstance);
    return quoted(kInstance) + " saved, keeping " + std::to_string(kKeep) + " messages, for " +
           url(server_->pushServer());
}

std::string DemoWalkThrough::subscribe() {
    requireSuccess(await<std::optional<BaseApiResult>>(
                       "subscribe",
                       [&](ResultCompletion done) {
                           sdk_->subscribe(kDeviceId, kClientId, kToken, std::nullopt, done);
                       }),
                   "subscribe");
    require(sdk_->getClientId() == kClientId && sdk_->getDeviceId() == kDeviceId &&
                sdk_->getSavedToken() == kToken,
            "the subscription's ids and token were not saved");
    const auto subscribers = server_->admin("GET", "subscribers").at("subscribers");
    for (const auto& subscriber : subscribers) {
        if (subscriber.at("address") == kAddress) {
            return std::string(kAddress) + " subscribed; the server keeps its " +
                   std::to_string(subscriber.at("keyBits").get<int>()) + "-bit " +
                   subscriber.at("keyType").get<std::string>() + " key";
        }
    }
    throw std::runtime_error(std::string("the server has no subscriber ") + kAddress);
}

std::string DemoWalkThrough::updateAttributes() {
    const std::map<std::string, std::string> attributes{{"city", "Lisbon"}, {"plan", "gold"}};
    requireSuccess(await<std::optional<BaseApiResult>>(
                       "updateSubscriber",
                       [&](ResultCompletion done) {
                           sdk_->updateSubscriber(std::nullopt, attributes, std::nullopt, done);
                       }),
                   "updateSubscriber");
    const auto data = await<std::optional<SubscriberGetResult>>(
        "getSubscriberData", [&](auto done) { sdk_->getSubscriberData(std::nullopt, {}, done); });
    requireSuccess(data, "getSubscriberData");
    const SubscriberDataElement::Attributes expected(attributes.begin(), attributes.end());
    const auto& elements = data->getElements().value_or(std::vector<SubscriberDataElement>{});
    require(std::any_of(elements.begin(), elements.end(),
                        [&](const SubscriberDataElement& element) {
                            return element.getAddress() == kAddress &&
                                   element.getAttributes() == expected;
                        }),
            "the attributes read back differ from those set");
    const auto requests = stepRequests();
    requireVerified(requests, "subscriber/update");
    requireVerified(requests, "subscriber/get");
    return "city=Lisbon, plan=gold set, read back and signed";
}

std::string DemoWalkThrough::receive() {
    const auto receipt = receiveInExtension("m1");
    require(receipt.succeeded(), "the extension's receipt failed: " + receipt.failure());
    require(receipt.answer.at("content").at("sound") == "default",
            "a new message was shown without its sound");
    const auto status = statusOf(*sdk_, "m1");
    require(server_->statusCount("m1", "Delivered") == 1,
            "the server did not count m1 \"Delivered\" once");
    return "an extension stored m1 (" + status + ") and reported it; sound on";
}

std::string DemoWalkThrough::receiveAgain() {
    const auto receipt = receiveInExtension("m1");
    require(receipt.succeeded(), "the extension's receipt failed: " + receipt.failure());
    require(receipt.answer.at("content").at("sound").is_null(),
            "the duplicate was shown with its sound");
    return "m1 again: kept once, silent; \"Delivered\" counted " +
           std::to_string(server_->statusCount("m1", "Delivered")) + " times";
}

std::string DemoWalkThrough::openMessage() {
    requireSuccess(
        await<std::optional<BaseApiResult>>(
            "onMessageRead", [&](ResultCompletion done) { sdk_->onMessageRead("m1", done); }),
        "onMessageRead");
    const auto status = statusOf(*sdk_, "m1");
    require(server_->statusCount("m1", "Read") == 1, "the server did not count m1 \"Read\" once");
    return "the application opened m1: stored " + status + ", \"Read\" counted once";
}

std::string DemoWalkThrough::fetchContent() {
    const std::string page = "<h1>Order m1</h1><p>Tracking number OR-1234</p>";
    server_->admin("POST", "content",
                   Json{{"messageId", "m1"},
                        {"address", kAddress},
                        {"contentType", "text/html"},
                        {"content", page}});
    const auto fetch = [&] {
        return await<std::shared_ptr<ExtraContentProtocol>>(
            "getNotificationContent", [&](auto done) { sdk_->getNotificationContent("m1", done); });
    };
    const auto first = fetch();
    const auto second = fetch();
    require(first != nullptr, "no content came: the download failed");
    require(first->value() == page, "the downloaded content differs from the server's");
    require(second && second->value() == page, "the stored content differs from the server's");
    const auto downloads = countOf(stepRequests(), "content/download", "applied");
    require(downloads == 1, "the content was downloaded " + std::to_string(downloads) + " times");
    return "m1's " + first->mimeType().value_or("no type") + " (" + std::to_string(page.size()) +
           " bytes): downloaded once, then stored";
}

std::string DemoWalkThrough::rideOutOutage() {
    server_->addFault({{"path", "*"}, {"kind", "drop"}, {"count", 1000000}});
    const auto down = receiveInExtension("m2");
    require(!down.succeeded(), "the extension's report went through the outage");
    const auto read = await<std::optional<BaseApiResult>>(
        "onMessageRead", [&](ResultCompletion done) { sdk_->onMessageRead("m2", done); });
    require(read && read->getResultKind() == ResultKind::error,
            "the application's report went through the outage");
    PushSDK::waitForOutstandingWork(kWait);
    const auto dropped = countOf(stepRequests(), "notifications", "faulted");
    server_->clearFaults();
    const auto back = receiveInExtension("m3");
    require(back.succeeded(), "the extension's receipt after the outage failed: " + back.failure());
    const std::pair<const char*, const char*> reports[] = {
        {"m2", "Delivered"}, {"m2", "Read"}, {"m3", "Delivered"}};
    for (const auto& [id, status] : reports) {
        const auto count = server_->statusCount(id, status);
        require(count == 1, std::string("the server counted ") + id + " " + quoted(status) + " " +
                                std::to_string(count) + " times");
    }
    return "down: 2 reports of m2 queued (" + std::to_string(dropped) +
           " tries dropped); up: each sent once";
}

std::string DemoWalkThrough::readHistory() {
    const auto now = std::chrono::system_clock::now();
    const std::vector<std::pair<std::string, std::string>> sent{{"h1", "Welcome to Orvan Shop"},
                                                                {"h2", "Your order is confirmed"},
                                                                {"h3", "Order shipped"}};
    Json entries = Json::array();
    for (std::size_t i = 0; i < sent.size(); ++i) {
        const auto age = std::chrono::hours(24 * static_cast<int>(sent.size() - i));
        entries.push_back(historyEntry(sent[i].first, now - age, sent[i].second));
    }
    server_->admin("POST", "history", Json{{"address", kAddress}, {"messages", entries}});
    const auto history = await<std::optional<StatisticsResult>>("getMessages", [&](auto done) {
        sdk_->getMessages(std::nullopt, std::nullopt, 0, now - std::chrono::hours(24 * 7),
                          std::nullopt, std::nullopt, done);
    });
    requireSuccess(history, "getMessages");
    std::vector<std::string> ids;
    for (const auto& message : history->getMessages().value_or(std::vector<MessageElement>{})) {
        ids.push_back(message.getMessageId());
    }
    require(ids == std::vector<std::string>{"h1", "h2", "h3"},
            "the history read back is " + joined(ids) + ", not h1, h2, h3");
    requireVerified(stepRequests(), "statistics");
    return joined(ids) + " sent to " + kAddress + " this week, read back in order";
}

std::string DemoWalkThrough::listAndRetain() {
    const auto receipt = receiveInExtension("m4");
    require(receipt.succeeded(), "the extension's receipt of m4 failed: " + receipt.failure());
    const auto listed = storedMessages(*sdk_);
    require(listed.size() == 4, "stored: " + joined(listed) + ", not m1 to m4");
    // The application starts again: its store opens and keeps the newest kKeep messages.
    sdk_ = PushSDK::getInstance(kInstance);
    require(storedMessage(*sdk_, "m1") == nullptr, "m1, the oldest, outlived the retention");
    const auto kept = storedMessages(*sdk_);
    require(kept.size() == static_cast<std::size_t>(kKeep),
            "kept after the restart: " + joined(kept) + ", not " + std::to_string(kKeep));
    return std::to_string(listed.size()) + " stored; restarted, " + std::to_string(kept.size()) +
           " kept: " + joined(ids(kept));
}

std::string DemoWalkThrough::uploadLogs() {
    const auto outcomes =
        await<std::vector<LogUploadOutcome>>("sendLogs", [&](auto done) { sdk_->sendLogs(done); });
    require(!outcomes.empty(), "no log file of today was sent");
    for (const auto& outcome : outcomes) {
        require(outcome.sent,
                outcome.file + " was not sent: " + outcome.description.value_or("no description"));
    }
    std::size_t entries = 0;
    const auto archives = server_->admin("GET", "archives").at("archives");
    for (const auto& archive : archives) {
        entries += archive.at("entries").size();
    }
    require(archives.size() == outcomes.size(),
            "the server kept " + std::to_string(archives.size()) + " archives for " +
                std::to_string(outcomes.size()) + " uploads");
    return std::to_string(archives.size()) + " zipped upload(s) of today's logs, " +
           std::to_string(entries) + " file(s), accepted";
}

}  // namespace orvanpush::cli
