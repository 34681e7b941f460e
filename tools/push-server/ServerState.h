#pragma once

// Everything the server keeps, in memory, behind one lock: subscribers, reported statuses, seeded
// content and history, uploaded log archives, the logging control it answers uploads with, the
// request log, and the injected faults.

#include <cstdint>
#include <cstdio>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "Exchange.h"
#include "FaultPlan.h"
#include "PublicKey.h"
#include "RequestRecord.h"
#include "ZipArchiveCheck.h"

namespace orvanpush::server {

struct Subscriber {
    std::string address;       // the address it subscribed with; its requests are signed under it
    std::string shownAddress;  // what "/subscriber/get" reports: the latest "updateAddress"
    std::string publicKeyText;
    PublicKey publicKey;
    std::string token;
    std::string osType;
    std::string osVersion;
    std::string vendorInfo;
    std::optional<bool> pushEnabled;
    Json attributes = Json::object();

    Json toJson() const;
};

struct HistoryMessage {
    std::string messageId;
    double date = 0;  // seconds since 2001-01-01 00:00:00 UTC, as the wire carries it
    std::optional<std::string> title;
    std::optional<std::string> text;
    std::optional<std::string> requestId;
};

struct StoredContent {
    std::optional<std::string> address;  // when set, only this subscriber may download it
    std::string body;
    std::string mediaType;
};

struct StoredArchive {
    std::uint64_t id = 0;
    std::uint64_t requestId = 0;
    std::string client;
    std::string device;
    std::string filename;
    std::vector<std::string> partOrder;
    std::string bytes;
    std::vector<ZipEntryInfo> entries;

    Json toJson() const;
};

/// The reports of one (message id, status) applied so far: how often, and the distinct "rid"
/// values they came with (a transport resending one request keeps its "rid").
struct StatusTally {
    std::uint64_t count = 0;
    std::set<std::string> requestIds;
};

struct StateData {
    std::map<std::string, Subscriber> subscribers;                        // by subscription address
    std::map<std::pair<std::string, std::string>, StatusTally> statuses;  // (id, status)
    std::map<std::string, std::vector<HistoryMessage>> history;           // by address
    std::map<std::string, StoredContent> contents;                        // by message id
    std::vector<StoredArchive> archives;
    Json loggingControl;                 // null: answers carry no "sdk-logging-control"
    std::deque<RequestRecord> requests;  // the most recent ones, oldest first
    FaultPlan faults;
    std::uint64_t nextRequestId = 1;
    std::uint64_t nextArchiveId = 1;
};

class ServerState {
  public:
    /// `requestLogPath`, when not empty, receives every logged request as one JSON line (a new
    /// file is made 0600); the request log in memory keeps the latest `keptRequests` records.
    ServerState(const std::string& requestLogPath, std::size_t keptRequests);

    /// Runs `work` with the state locked and returns what it returns.
    template <class Work>
    auto locked(Work&& work) {
        std::lock_guard lock(mutex_);
        return work(data_);
    }

    /// Appends a finished record to the request log (and to the log file), forgetting the oldest
    /// record beyond the limit.
    void log(RequestRecord record);
    /// Forgets everything but the request log file's path.
    void reset();

  private:
    std::mutex mutex_;
    StateData data_;
    struct FileClose {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::unique_ptr<std::FILE, FileClose> logFile_;
    std::size_t keptRequests_;
};

}  // namespace orvanpush::server
