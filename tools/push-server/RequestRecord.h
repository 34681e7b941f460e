#pragma once

// One entry of the request log: what arrived, the outcome of each check, and how it was answered.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Exchange.h"

namespace orvanpush::server {

class RequestRecord {
  public:
    RequestRecord(std::uint64_t id, IncomingRequest request)
        : id_(id), request_(std::move(request)) {}

    const IncomingRequest& request() const { return request_; }
    std::uint64_t id() const { return id_; }

    void setEndpoint(std::string name) { endpoint_ = std::move(name); }
    /// Records the outcome of one check ("passed", "failed", "verified"...); a problem, when
    /// given, explains it.
    void check(std::string_view name, std::string_view outcome, std::string problem = {});
    void addProblem(std::string problem) { problems_.push_back(std::move(problem)); }
    bool checkFailed(std::string_view name) const;
    /// The query as decoded twice, for the log (only for endpoints whose members travel there).
    void setParams(Json params) { params_ = std::move(params); }

    void setOutcome(std::string outcome) { outcome_ = std::move(outcome); }
    void setFault(Json fault) { fault_ = std::move(fault); }
    /// The reply sent (nothing for a dropped connection); an error code is taken from it when it
    /// is a push error envelope.
    void setAnswer(const std::optional<Reply>& reply);

    Json toJson() const;

  private:
    std::uint64_t id_;
    IncomingRequest request_;
    std::string endpoint_;
    Json checks_ = Json::object();
    std::vector<std::string> problems_;
    Json params_;
    std::string outcome_;
    Json fault_;
    std::optional<int> status_;
    std::optional<std::int64_t> errorCode_;
};

}  // namespace orvanpush::server
