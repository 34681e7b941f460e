#pragma once

// Faults injected through the admin API: each answers the next `count` requests to a path in its
// own way. A request answered by a fault is checked and logged but not applied; a "delay" fault
// is the one exception: its request is applied as usual and answered after the delay.

#include <chrono>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "Exchange.h"

namespace orvanpush::server {

struct Fault {
    enum class Kind { answer, error, malformed, drop, delay };

    std::string path;  // the request path as received, or "*" for every non-admin path
    int remaining = 1;
    Kind kind = Kind::answer;
    std::chrono::milliseconds delay{0};
    Reply reply;       // for answer, error and malformed
    Json description;  // the fault as it was given, for the log and the listing

    /// Reads a fault from its admin JSON, or says what is wrong with it.
    static std::variant<Fault, std::string> fromJson(const Json& value);

    bool appliesRequest() const { return kind == Kind::delay; }
    bool dropsConnection() const { return kind == Kind::drop; }
};

class FaultPlan {
  public:
    void add(Fault fault) { faults_.push_back(std::move(fault)); }
    /// The first fault for `path` (or for "*"), counting this request against it.
    std::optional<Fault> take(const std::string& path);
    Json toJson() const;
    void clear() { faults_.clear(); }

  private:
    std::vector<Fault> faults_;  // in the order added
};

}  // namespace orvanpush::server
