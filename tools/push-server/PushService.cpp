#include "PushService.h"

#include <optional>

#include "Base64.h"
#include "MemberReader.h"
#include "TextChecks.h"
#include "Verdict.h"

namespace orvanpush::server {
namespace {

std::string requestIdProblem(const IncomingRequest& request) {
    const auto values = request.headerValues("rid");
    if (values.size() != 1) {
        return "the request carries " + std::to_string(values.size()) +
               " \"rid\" headers instead of one";
    }
    return isUpperCaseUuid(values.front())
               ? std::string()
               : "\"rid\" is \"" + values.front() + "\", not an upper-case UUID";
}

std::string pushEnabledProblem(const PushEndpoint& endpoint, const IncomingRequest& request) {
    const auto values = request.headerValues("push-enabled");
    if (!endpoint.carriesPushEnabled) {
        return values.empty() ? std::string()
                              : "this endpoint's requests carry no \"push-enabled\" header";
    }
    if (values.size() != 1 || (values.front() != "true" && values.front() != "false")) {
        return "the request needs one \"push-enabled\" header, \"true\" or \"false\"";
    }
    return {};
}

void checkSignature(const PushEndpoint& endpoint, const Members& members, const StateData& state,
                    Verdict& verdict) {
    if (!members.problem.empty()) {
        verdict.pass("signature", "skipped");
        return;
    }
    const std::string signature = members.values.at("signature").get<std::string>();
    if (signature.empty()) {
        if (endpoint.signing == Signing::optional) {
            verdict.pass("signature", "absent");
        } else {
            verdict.fail("signature", "absent", "the signature is empty", refusal::signature);
        }
        return;
    }
    const std::string address = members.values.at("address").get<std::string>();
    const auto subscriber = state.subscribers.find(address);
    if (subscriber == state.subscribers.end()) {
        verdict.fail("signature", "noKey", "Subscriber \"" + address + "\" not found",
                     refusal::subscriberNotFound);
    } else if (subscriber->second.publicKey.verifies(endpoint.signedText(members.values),
                                                     signature)) {
        verdict.pass("signature", "verified");
    } else {
        verdict.fail(
            "signature", "failed",
            "the signature does not verify with the key \"" + address + "\" subscribed with",
            refusal::signature);
    }
}

}  // namespace

PushService::PushService(PushSettings settings)
    : settings_(std::move(settings)),
      expectedAuthorization_("Basic " + base64Encode(settings_.login + ":" + settings_.password)),
      expectedContentType_("application/json; charset=utf-8; version=" + settings_.apiVersion +
                           ";") {}

const PushEndpoint* PushService::endpointAt(std::string_view path) const {
    for (const auto& endpoint : pushEndpoints()) {
        if (pathOf(endpoint) == path) {
            return &endpoint;
        }
    }
    return nullptr;
}

std::string PushService::pathOf(const PushEndpoint& endpoint) const {
    return (settings_.context.empty() ? "" : "/" + settings_.context) + "/" +
           std::string(endpoint.name);
}

std::string PushService::authorizationProblem(const IncomingRequest& request) const {
    const auto values = request.headerValues("Authorization");
    if (values.empty()) {
        return "the request carries no \"Authorization\" header";
    }
    // The expected value holds the password: say what is wrong without echoing either.
    return values.size() == 1 && values.front() == expectedAuthorization_
               ? std::string()
               : "the \"Authorization\" header does not carry the expected Basic credentials";
}

std::string PushService::contentTypeProblem(const IncomingRequest& request) const {
    const auto values = request.headerValues("Content-Type");
    if (values.size() == 1 && values.front() == expectedContentType_) {
        return {};
    }
    return "\"Content-Type\" must be exactly \"" + expectedContentType_ + "\" (received " +
           (values.empty() ? std::string("none") : "\"" + values.front() + "\"") + ")";
}

Reply PushService::handle(const PushEndpoint& endpoint, const IncomingRequest& request,
                          RequestRecord& record, StateData& state, bool apply) const {
    record.setEndpoint(std::string(endpoint.name));
    Verdict verdict(record, pushError);
    if (request.method != endpoint.method) {
        verdict.fail("method", "failed",
                     "Method " + request.method + " not allowed: \"" + pathOf(endpoint) +
                         "\" takes " + std::string(endpoint.method),
                     refusal::methodNotAllowed);
        record.setOutcome("refused");
        return *verdict.refusal();
    }
    verdict.note("auth", authorizationProblem(request), refusal::authorization);
    verdict.note("contentType", contentTypeProblem(request), refusal::contentType);
    verdict.note("rid", requestIdProblem(request), refusal::requestId);
    verdict.note("pushEnabled", pushEnabledProblem(endpoint, request), refusal::pushEnabled);
    const Members members = readMembers(endpoint, request);
    if (!members.params.is_null()) {
        record.setParams(members.params);
    }
    verdict.note("members", members.problem, refusal::members);
    if (endpoint.signing != Signing::none) {
        checkSignature(endpoint, members, state, verdict);
    }
    if (verdict.refusal()) {
        record.setOutcome("refused");
        return *verdict.refusal();
    }
    record.setOutcome(apply ? "applied" : "checked");
    return apply ? endpoint.apply(state, members.values, request) : Reply{};
}

}  // namespace orvanpush::server
