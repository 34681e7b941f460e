#include "PushEndpoint.h"

#include <algorithm>
#include <charconv>
#include <optional>

#include "QueryDate.h"

namespace orvanpush::server {
namespace {

const Reply success = Reply::json(200, {{"result", "success"}});

std::string text(const Json& members, const char* name) {
    const auto found = members.find(name);
    return found == members.end() ? std::string() : found->get<std::string>();
}

std::optional<bool> pushEnabledHeader(const IncomingRequest& request) {
    const auto values = request.headerValues("push-enabled");
    return values.empty() ? std::nullopt : std::optional(values.front() == "true");
}

std::optional<std::int64_t> decimalInteger(const std::string& value) {
    std::int64_t number = 0;
    const char* end = value.data() + value.size();
    const auto [stop, error] = std::from_chars(value.data(), end, number);
    return error == std::errc() && stop == end && !value.empty() && value.front() != '+'
               ? std::optional(number)
               : std::nullopt;
}

// subscribe ------------------------------------------------------------------------------------

std::string validateSubscribe(const Json& members) {
    if (text(members, "osType") != "ios") {
        return "\"osType\" is \"" + text(members, "osType") + "\", not \"ios\"";
    }
    const auto key = PublicKey::parse(text(members, "pubKey"));
    if (const auto* problem = std::get_if<std::string>(&key)) {
        return "\"pubKey\": " + *problem;
    }
    return {};
}

Reply applySubscribe(StateData& state, const Json& members, const IncomingRequest& request) {
    const std::string address = text(members, "address");
    const auto existing = state.subscribers.find(address);
    Subscriber subscriber{
        .address = address,
        .shownAddress =
            existing != state.subscribers.end() ? existing->second.shownAddress : address,
        .publicKeyText = text(members, "pubKey"),
        .publicKey = std::get<PublicKey>(PublicKey::parse(text(members, "pubKey"))),
        .token = text(members, "token"),
        .osType = text(members, "osType"),
        .osVersion = text(members, "osVersion"),
        .vendorInfo = text(members, "vendorInfo"),
        .pushEnabled = pushEnabledHeader(request),
        .attributes =
            existing != state.subscribers.end() ? existing->second.attributes : Json::object(),
    };
    state.subscribers.insert_or_assign(address, std::move(subscriber));
    return success;
}

// unsubscribe, subscriber/update, subscriber/get --------------------------------------------------

Reply applyUnsubscribe(StateData& state, const Json& members, const IncomingRequest&) {
    state.subscribers.erase(text(members, "address"));
    return success;
}

std::string updateSignedText(const Json& members) {
    std::string signedText = text(members, "address") + text(members, "updateAddress");
    // The object's members come in the order received; the signature covers them by key.
    std::vector<std::pair<std::string, std::string>> attributes;
    for (const auto& [key, value] : members["attributes"].items()) {
        attributes.emplace_back(key, value.get<std::string>());
    }
    std::sort(attributes.begin(), attributes.end());
    for (const auto& [key, value] : attributes) {
        signedText += key + value;
    }
    return signedText;
}

Reply applySubscriberUpdate(StateData& state, const Json& members, const IncomingRequest& request) {
    Subscriber& subscriber = state.subscribers.at(text(members, "address"));
    subscriber.shownAddress = text(members, "updateAddress");
    subscriber.attributes = members["attributes"];
    subscriber.pushEnabled = pushEnabledHeader(request);
    return success;
}

bool addressMatches(const std::string& subscribed, const std::string& requested) {
    return subscribed == requested ||
           (subscribed.size() > requested.size() && subscribed.ends_with(requested) &&
            subscribed[subscribed.size() - requested.size() - 1] == '.');
}

Reply applySubscriberGet(StateData& state, const Json& members, const IncomingRequest&) {
    const std::string requested = text(members, "requestAddress");
    Json elements = Json::array();
    for (const auto& [address, subscriber] : state.subscribers) {
        if (addressMatches(address, requested)) {
            elements.push_back({{"address", subscriber.shownAddress},
                                {"osType", subscriber.osType},
                                {"osVersion", subscriber.osVersion},
                                {"attributes", subscriber.attributes}});
        }
    }
    return Reply::json(200, elements);
}

// statistics
// ---------------------------------------------------------------------------------------

std::string validateStatistics(const Json& members) {
    if (!decimalInteger(text(members, "amount"))) {
        return "\"amount\" is not a whole decimal number";
    }
    for (const char* name : {"dateFrom", "dateTo"}) {
        if (members.contains(name) && !parseQueryDate(text(members, name))) {
            return std::string("\"") + name + "\" is not a date like 2024-03-01T12:00:00+03:00";
        }
    }
    return {};
}

Reply applyStatistics(StateData& state, const Json& members, const IncomingRequest&) {
    const auto from = *parseQueryDate(text(members, "dateFrom"));
    const auto to =
        members.contains("dateTo") ? parseQueryDate(text(members, "dateTo")) : std::nullopt;
    const auto amount = *decimalInteger(text(members, "amount"));
    const auto requestId =
        members.contains("requestId") ? std::optional(text(members, "requestId")) : std::nullopt;
    std::vector<HistoryMessage> selected;
    if (const auto found = state.history.find(text(members, "requestAddress"));
        found != state.history.end()) {
        std::copy_if(found->second.begin(), found->second.end(), std::back_inserter(selected),
                     [&](const HistoryMessage& message) {
                         return message.date >= from && (!to || message.date <= *to) &&
                                (!requestId || message.requestId == requestId);
                     });
    }
    std::stable_sort(selected.begin(), selected.end(),
                     [](const auto& left, const auto& right) { return left.date < right.date; });
    if (amount > 0 && selected.size() > static_cast<std::uint64_t>(amount)) {
        selected.resize(static_cast<std::size_t>(amount));
    }
    Json messages = Json::array();
    for (const auto& message : selected) {
        Json element = {{"messageId", message.messageId}, {"date", message.date}};
        if (message.title) {
            element["title"] = *message.title;
        }
        if (message.text) {
            element["text"] = *message.text;
        }
        messages.push_back(std::move(element));
    }
    return Reply::json(200, messages);
}

// notifications, content/download
// -------------------------------------------------------------------

std::string validateNotifications(const Json& members) {
    const std::string status = text(members, "status");
    return status == "Delivered" || status == "Read"
               ? std::string()
               : "\"status\" is \"" + status + "\", neither \"Delivered\" nor \"Read\"";
}

Reply applyNotifications(StateData& state, const Json& members, const IncomingRequest& request) {
    auto& tally = state.statuses[{text(members, "messageId"), text(members, "status")}];
    ++tally.count;
    tally.requestIds.insert(request.headerValues("rid").front());
    return success;
}

Reply applyContentDownload(StateData& state, const Json& members, const IncomingRequest&) {
    const auto found = state.contents.find(text(members, "messageId"));
    if (found == state.contents.end() ||
        (found->second.address && found->second.address != text(members, "address"))) {
        return pushError(refusal::contentNotFound,
                         "No content for message \"" + text(members, "messageId") + "\"");
    }
    return {200, found->second.body, found->second.mediaType};
}

std::string concatenation(const Json& members, std::initializer_list<const char*> names) {
    std::string joined;
    for (const char* name : names) {
        joined += text(members, name);
    }
    return joined;
}

std::string noProblem(const Json&) {
    return {};
}

}  // namespace

Reply pushError(const Refusal& refusal, const std::string& description) {
    return Reply::json(
        refusal.httpStatus,
        {{"result", "error"}, {"errorCode", refusal.code}, {"errorDescription", description}});
}

const std::vector<PushEndpoint>& pushEndpoints() {
    static const std::vector<PushEndpoint> endpoints{
        {"subscribe",
         "POST",
         Carrier::body,
         {{"address"}, {"osType"}, {"osVersion"}, {"vendorInfo"}, {"token"}, {"pubKey"}},
         true,
         Signing::none,
         validateSubscribe,
         nullptr,
         applySubscribe},
        {"unsubscribe",
         "DELETE",
         Carrier::body,
         {{"address"}, {"token"}, {"note", false}, {"signature"}},
         true,
         Signing::required,
         noProblem,
         [](const Json& members) {
             return concatenation(members, {"address", "token", "note"});
         },
         applyUnsubscribe},
        {"subscriber/update",
         "POST",
         Carrier::body,
         {{"address"},
          {"updateAddress"},
          {"attributes", true, MemberType::stringMap},
          {"signature"}},
         true,
         Signing::required,
         noProblem,
         updateSignedText,
         applySubscriberUpdate},
        {"subscriber/get",
         "GET",
         Carrier::query,
         {{"address"}, {"requestAddress"}, {"signature"}},
         true,
         Signing::required,
         noProblem,
         [](const Json& members) {
             return concatenation(members, {"address", "requestAddress"});
         },
         applySubscriberGet},
        {"statistics",
         "GET",
         Carrier::query,
         {{"address"},
          {"requestAddress"},
          {"requestId", false},
          {"amount"},
          {"dateFrom"},
          {"dateTo", false},
          {"signature"}},
         false,
         Signing::required,
         validateStatistics,
         [](const Json& members) {
             return concatenation(members, {"address", "requestAddress", "requestId", "amount",
                                            "dateFrom", "dateTo"});
         },
         applyStatistics},
        {"notifications",
         "PUT",
         Carrier::body,
         {{"address"}, {"messageId"}, {"status"}, {"signature"}},
         true,
         Signing::optional,
         validateNotifications,
         [](const Json& members) {
             return concatenation(members, {"address", "messageId", "status"});
         },
         applyNotifications},
        {"content/download",
         "GET",
         Carrier::query,
         {{"address"}, {"messageId"}, {"signature"}},
         false,
         Signing::required,
         noProblem,
         [](const Json& members) {
             return concatenation(members, {"address", "messageId"});
         },
         applyContentDownload},
    };
    return endpoints;
}

}  // namespace orvanpush::server
