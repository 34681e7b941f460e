#include "FaultPlan.h"

#include <array>
#include <utility>

namespace orvanpush::server {
namespace {

constexpr std::array<std::pair<const char*, Fault::Kind>, 5> kinds{{
    {"answer", Fault::Kind::answer},
    {"error", Fault::Kind::error},
    {"malformed", Fault::Kind::malformed},
    {"drop", Fault::Kind::drop},
    {"delay", Fault::Kind::delay},
}};

std::optional<Fault::Kind> kindNamed(const std::string& name) {
    for (const auto& [kindName, kind] : kinds) {
        if (name == kindName) {
            return kind;
        }
    }
    return std::nullopt;
}

bool isWholeNumber(const Json& value, std::int64_t minimum, std::int64_t maximum) {
    return value.is_number_integer() && value.get<std::int64_t>() >= minimum &&
           value.get<std::int64_t>() <= maximum;
}

// The reply of the kinds that answer instead of the endpoint.
std::optional<std::string> readReply(const Json& value, Fault& fault) {
    const Json status = value.value("status", Json(200));
    if (!isWholeNumber(status, 100, 599)) {
        return "\"status\" must be a whole number from 100 to 599";
    }
    fault.reply.status = status.get<int>();
    switch (fault.kind) {
        case Fault::Kind::answer:
            if (value.contains("body")) {
                const Json& body = value["body"];
                fault.reply.body = body.is_string() ? body.get<std::string>() : compactText(body);
            }
            break;
        case Fault::Kind::error: {
            if (!value.contains("errorCode") || !value["errorCode"].is_number_integer()) {
                return "an error fault needs a whole \"errorCode\"";
            }
            Json envelope = {{"result", "error"}, {"errorCode", value["errorCode"]}};
            if (value.contains("errorDescription")) {
                envelope["errorDescription"] = value["errorDescription"];
            }
            fault.reply.body = compactText(envelope);
            break;
        }
        case Fault::Kind::malformed:
            fault.reply.body = R"({"result":"success","errorCode":)";
            break;
        default:
            break;
    }
    if (value.contains("contentType")) {
        if (!value["contentType"].is_string()) {
            return "\"contentType\" must be a string";
        }
        fault.reply.contentType = value["contentType"].get<std::string>();
    }
    return std::nullopt;
}

}  // namespace

std::variant<Fault, std::string> Fault::fromJson(const Json& value) {
    if (!value.is_object()) {
        return std::string("a fault is a JSON object");
    }
    Fault fault;
    fault.description = value;
    if (!value.contains("path") || !value["path"].is_string() ||
        value["path"].get<std::string>().empty()) {
        return std::string("a fault needs a \"path\" (the request path, or \"*\")");
    }
    fault.path = value["path"].get<std::string>();
    const auto kind = kindNamed(value.value("kind", std::string()));
    if (!kind) {
        return std::string(
            "\"kind\" must be one of \"answer\", \"error\", \"malformed\", \"drop\", \"delay\"");
    }
    fault.kind = *kind;
    const Json count = value.value("count", Json(1));
    if (!isWholeNumber(count, 1, 1'000'000)) {
        return std::string("\"count\" must be a whole number from 1 to 1000000");
    }
    fault.remaining = count.get<int>();
    const Json delay = value.value("delayMs", Json(0));
    if (!isWholeNumber(delay, 0, 600'000)) {
        return std::string("\"delayMs\" must be a whole number of milliseconds up to 600000");
    }
    fault.delay = std::chrono::milliseconds(delay.get<std::int64_t>());
    if (fault.kind == Kind::delay && fault.delay.count() == 0) {
        return std::string("a delay fault needs a positive \"delayMs\"");
    }
    if (const auto problem = readReply(value, fault)) {
        return *problem;
    }
    return fault;
}

std::optional<Fault> FaultPlan::take(const std::string& path) {
    for (auto fault = faults_.begin(); fault != faults_.end(); ++fault) {
        if (fault->path == path || fault->path == "*") {
            Fault taken = *fault;
            if (--fault->remaining == 0) {
                faults_.erase(fault);
            }
            return taken;
        }
    }
    return std::nullopt;
}

Json FaultPlan::toJson() const {
    Json list = Json::array();
    for (const auto& fault : faults_) {
        Json entry = fault.description;
        entry["remaining"] = fault.remaining;
        list.push_back(std::move(entry));
    }
    return list;
}

}  // namespace orvanpush::server
