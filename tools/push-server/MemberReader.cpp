#include "MemberReader.h"

#include <algorithm>
#include <set>
#include <variant>
#include <vector>

#include "QueryString.h"
#include "TextChecks.h"

namespace orvanpush::server {
namespace {

const MemberRule* ruleOf(const PushEndpoint& endpoint, const std::string& name) {
    const auto found = std::find_if(endpoint.members.begin(), endpoint.members.end(),
                                    [&](const MemberRule& rule) { return rule.name == name; });
    return found == endpoint.members.end() ? nullptr : &*found;
}

std::string missingMember(const PushEndpoint& endpoint, const Json& values) {
    for (const auto& rule : endpoint.members) {
        if (rule.required && !values.contains(std::string(rule.name))) {
            return "member \"" + std::string(rule.name) + "\" is missing";
        }
    }
    return {};
}

// Parses a JSON text, refusing an object that names one member twice (the parser alone would
// keep the last silently).
std::variant<Json, std::string> parseWithoutDuplicates(const std::string& text) {
    std::vector<std::set<std::string>> objectKeys;
    std::string duplicate;
    const auto callback = [&](int, Json::parse_event_t event, Json& parsed) {
        if (event == Json::parse_event_t::object_start) {
            objectKeys.emplace_back();
        } else if (event == Json::parse_event_t::object_end) {
            objectKeys.pop_back();
        } else if (event == Json::parse_event_t::key &&
                   !objectKeys.back().insert(parsed.get<std::string>()).second &&
                   duplicate.empty()) {
            duplicate = parsed.get<std::string>();
        }
        return true;
    };
    Json parsed = Json::parse(text, callback, false);
    if (parsed.is_discarded()) {
        return std::string("the body is not JSON in UTF-8");
    }
    if (!duplicate.empty()) {
        return "the body names member \"" + duplicate + "\" more than once";
    }
    return parsed;
}

// The first reason the members received do not fit the endpoint, or an empty text.
std::string memberProblem(const PushEndpoint& endpoint, const Json& values) {
    for (const auto& [name, value] : values.items()) {
        const MemberRule* rule = ruleOf(endpoint, name);
        if (rule == nullptr) {
            return "unexpected member \"" + name + "\"";
        }
        const bool typed = rule->type == MemberType::string
                               ? value.is_string()
                               : value.is_object() &&
                                     std::all_of(value.begin(), value.end(),
                                                 [](const Json& item) { return item.is_string(); });
        if (!typed) {
            return "member \"" + name + "\" is not " +
                   (rule->type == MemberType::string ? "a string" : "an object of strings");
        }
    }
    return missingMember(endpoint, values);
}

std::string readBody(const IncomingRequest& request, Members& members) {
    if (request.hasQuery) {
        return "the request has a query; this endpoint's members travel in its body";
    }
    auto parsed = parseWithoutDuplicates(request.body);
    if (auto* problem = std::get_if<std::string>(&parsed)) {
        return *problem;
    }
    if (!std::get<Json>(parsed).is_object()) {
        return "the body is not a JSON object";
    }
    if (!isCompactJson(request.body)) {
        return "the body is not compact JSON (whitespace outside strings)";
    }
    members.values = std::move(std::get<Json>(parsed));
    return {};
}

std::string readQuery(const IncomingRequest& request, Members& members) {
    const auto parameters = parseQuery(request.rawQuery);
    members.params = Json::object();
    for (const auto& parameter : parameters) {
        members.params[parameter.rawName] = parameter.value ? Json(*parameter.value) : Json();
    }
    if (!request.body.empty()) {
        return "the request carries a body; this endpoint's members travel in its query";
    }
    for (const auto& parameter : parameters) {
        if (members.values.contains(parameter.rawName)) {
            return "query parameter \"" + parameter.rawName + "\" comes more than once";
        }
        if (!parameter.canonical) {
            return "query parameter \"" + parameter.rawName + "\" is not percent-encoded twice " +
                   "with only A-Z a-z 0-9 - . _ ~ left literal (received \"" + parameter.rawValue +
                   "\")";
        }
        if (!isValidUtf8(*parameter.value)) {
            return "query parameter \"" + parameter.rawName + "\" is not UTF-8 once decoded";
        }
        members.values[parameter.rawName] = *parameter.value;
    }
    return {};
}

}  // namespace

bool isCompactJson(std::string_view text) {
    bool inString = false;
    bool escaped = false;
    for (const char character : text) {
        if (inString) {
            if (escaped) {
                escaped = false;
            } else if (character == '\\') {
                escaped = true;
            } else if (character == '"') {
                inString = false;
            }
        } else if (character == '"') {
            inString = true;
        } else if (character == ' ' || character == '\t' || character == '\n' ||
                   character == '\r') {
            return false;
        }
    }
    return true;
}

Members readMembers(const PushEndpoint& endpoint, const IncomingRequest& request) {
    Members members;
    members.problem = endpoint.carrier == Carrier::body ? readBody(request, members)
                                                        : readQuery(request, members);
    if (members.problem.empty()) {
        members.problem = memberProblem(endpoint, members.values);
    }
    if (members.problem.empty() && endpoint.validate) {
        members.problem = endpoint.validate(members.values);
    }
    return members;
}

}  // namespace orvanpush::server
