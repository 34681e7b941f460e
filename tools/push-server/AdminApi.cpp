#include "AdminApi.h"

#include <charconv>
#include <optional>
#include <stdexcept>

#include "Base64.h"
#include "QueryString.h"

namespace orvanpush::server {
namespace {

const Reply done = Reply::json(200, {{"result", "success"}});

// A refused admin call: the answer is {"error": text} with status 400 (or the one given).
struct AdminError : std::runtime_error {
    explicit AdminError(const std::string& text, int status = 400)
        : std::runtime_error(text), status(status) {}
    int status;
};

Json bodyOf(const IncomingRequest& request) {
    Json body = Json::parse(request.body, nullptr, false);
    if (body.is_discarded()) {
        throw AdminError("the body is not JSON");
    }
    return body;
}

std::optional<std::string> optionalText(const Json& object, const char* name) {
    if (!object.contains(name) || object[name].is_null()) {
        return std::nullopt;
    }
    if (!object[name].is_string()) {
        throw AdminError(std::string("\"") + name + "\" must be a string");
    }
    return object[name].get<std::string>();
}

std::string requiredText(const Json& object, const char* name) {
    auto value = optionalText(object, name);
    if (!value) {
        throw AdminError(std::string("\"") + name + "\" is required");
    }
    return *value;
}

std::uint64_t wholeNumber(const std::string& text, const char* name) {
    std::uint64_t number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
        throw AdminError(std::string("\"") + name + "\" must be a whole number");
    }
    return number;
}

}  // namespace

Reply AdminApi::handle(const IncomingRequest& request) {
    try {
        return route(request);
    } catch (const AdminError& error) {
        return Reply::json(error.status, {{"error", error.what()}});
    } catch (const Json::exception& error) {  // a member of the wrong type
        return Reply::json(400, {{"error", error.what()}});
    }
}

Reply AdminApi::route(const IncomingRequest& request) {
    const std::string& path = request.path;
    const std::string& method = request.method;
    if (path == "/_admin/config" && method == "GET") {
        return Reply::json(200, config_);
    }
    if (path == "/_admin/requests") {
        if (method == "GET") {
            return requests(request);
        }
        if (method == "DELETE") {
            state_.locked([](StateData& state) { state.requests.clear(); });
            return done;
        }
    }
    if (path == "/_admin/faults") {
        if (method == "GET") {
            return Reply::json(200, {{"faults", state_.locked([](StateData& state) {
                                          return state.faults.toJson();
                                      })}});
        }
        if (method == "POST") {
            return addFaults(bodyOf(request));
        }
        if (method == "DELETE") {
            state_.locked([](StateData& state) { state.faults.clear(); });
            return done;
        }
    }
    if (path == "/_admin/subscribers" && method == "GET") {
        return Reply::json(200, {{"subscribers", state_.locked([](StateData& state) {
                                      Json list = Json::array();
                                      for (const auto& [address, subscriber] : state.subscribers) {
                                          list.push_back(subscriber.toJson());
                                      }
                                      return list;
                                  })}});
    }
    if (path == "/_admin/statuses" && method == "GET") {
        return Reply::json(200, {{"statuses", state_.locked([](StateData& state) {
                                      Json list = Json::array();
                                      for (const auto& [key, tally] : state.statuses) {
                                          list.push_back({{"messageId", key.first},
                                                          {"status", key.second},
                                                          {"count", tally.count},
                                                          {"requests", tally.requestIds.size()}});
                                      }
                                      return list;
                                  })}});
    }
    if (path == "/_admin/history" && method == "POST") {
        return seedHistory(bodyOf(request));
    }
    if (path == "/_admin/content" && method == "POST") {
        return seedContent(bodyOf(request));
    }
    if (path == "/_admin/archives" && method == "GET") {
        return Reply::json(200, {{"archives", state_.locked([](StateData& state) {
                                      Json list = Json::array();
                                      for (const auto& archive : state.archives) {
                                          list.push_back(archive.toJson());
                                      }
                                      return list;
                                  })}});
    }
    if (path.starts_with("/_admin/archives/") && method == "GET") {
        return archive(path.substr(std::string_view("/_admin/archives/").size()));
    }
    if (path == "/_admin/logging-control") {
        if (method == "GET") {
            return Reply::json(200, {{"control", state_.locked([](StateData& state) {
                                          return state.loggingControl;
                                      })}});
        }
        if (method == "PUT") {
            const Json body = bodyOf(request);
            if (!body.is_object() || !body.contains("control")) {
                throw AdminError("the body must be {\"control\": value or null}");
            }
            state_.locked([&](StateData& state) { state.loggingControl = body["control"]; });
            return done;
        }
    }
    if (path == "/_admin/reset" && method == "POST") {
        state_.reset();
        return done;
    }
    throw AdminError("no admin endpoint " + method + " " + path, 404);
}

Reply AdminApi::requests(const IncomingRequest& request) {
    std::optional<std::string> pathFilter;
    std::uint64_t since = 0;
    for (const auto& parameter : parseQuery(request.rawQuery)) {
        const auto value = percentDecode(parameter.rawValue);
        if (!value) {
            throw AdminError("query parameter \"" + parameter.rawName + "\" is badly encoded");
        }
        if (parameter.rawName == "path") {
            pathFilter = *value;
        } else if (parameter.rawName == "since") {
            since = wholeNumber(*value, "since");
        } else {
            throw AdminError("unknown query parameter \"" + parameter.rawName + "\"");
        }
    }
    Json list = state_.locked([&](StateData& state) {
        Json records = Json::array();
        for (const auto& record : state.requests) {
            if (record.id() > since && (!pathFilter || record.request().path == *pathFilter)) {
                records.push_back(record.toJson());
            }
        }
        return records;
    });
    return Reply::json(200, {{"requests", std::move(list)}});
}

Reply AdminApi::addFaults(const Json& body) {
    const Json list =
        body.is_object() && body.contains("faults") ? body["faults"] : Json::array({body});
    if (!list.is_array()) {
        throw AdminError("\"faults\" must be a list");
    }
    std::vector<Fault> faults;
    for (const auto& item : list) {
        auto fault = Fault::fromJson(item);
        if (auto* problem = std::get_if<std::string>(&fault)) {
            throw AdminError(*problem);
        }
        faults.push_back(std::move(std::get<Fault>(fault)));
    }
    state_.locked([&](StateData& state) {
        for (auto& fault : faults) {
            state.faults.add(std::move(fault));
        }
    });
    return done;
}

Reply AdminApi::seedHistory(const Json& body) {
    const std::string address = requiredText(body, "address");
    if (!body.contains("messages") || !body["messages"].is_array()) {
        throw AdminError("\"messages\" must be a list");
    }
    std::vector<HistoryMessage> messages;
    for (const auto& item : body["messages"]) {
        if (!item.is_object() || !item.contains("date") || !item["date"].is_number()) {
            throw AdminError("each message needs a numeric \"date\" (seconds since 2001-01-01)");
        }
        messages.push_back({.messageId = requiredText(item, "messageId"),
                            .date = item["date"].get<double>(),
                            .title = optionalText(item, "title"),
                            .text = optionalText(item, "text"),
                            .requestId = optionalText(item, "requestId")});
    }
    state_.locked([&](StateData& state) {
        auto& history = state.history[address];
        history.insert(history.end(), messages.begin(), messages.end());
    });
    return done;
}

Reply AdminApi::seedContent(const Json& body) {
    StoredContent content;
    const std::string messageId = requiredText(body, "messageId");
    content.address = optionalText(body, "address");
    if (const auto encoded = optionalText(body, "bodyBase64")) {
        const auto bytes = base64Decode(*encoded);
        if (!bytes) {
            throw AdminError("\"bodyBase64\" is not padded Base64");
        }
        content.body = *bytes;
        content.mediaType = optionalText(body, "mediaType").value_or("application/octet-stream");
    } else {
        Json answer = Json::object();
        if (const auto type = optionalText(body, "contentType")) {
            answer["contentType"] = *type;
        }
        if (const auto value = optionalText(body, "content")) {
            answer["content"] = *value;
        }
        content.body = compactText(answer);
        content.mediaType = "application/json";
    }
    state_.locked([&](StateData& state) { state.contents.insert_or_assign(messageId, content); });
    return done;
}

Reply AdminApi::archive(const std::string& id) {
    const std::uint64_t wanted = wholeNumber(id, "id");
    auto bytes = state_.locked([&](StateData& state) -> std::optional<std::string> {
        for (const auto& archive : state.archives) {
            if (archive.id == wanted) {
                return archive.bytes;
            }
        }
        return std::nullopt;
    });
    if (!bytes) {
        throw AdminError("no archive " + id, 404);
    }
    return {200, std::move(*bytes), "application/zip"};
}

}  // namespace orvanpush::server
