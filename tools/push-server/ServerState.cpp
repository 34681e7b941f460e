#include "ServerState.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>

namespace orvanpush::server {

Json Subscriber::toJson() const {
    return {
        {"address", address},
        {"shownAddress", shownAddress},
        {"publicKey", publicKeyText},
        {"keyType", publicKey.type()},
        {"keyBits", publicKey.bits()},
        {"keyDerSize", publicKey.derSize()},
        {"token", token},
        {"osType", osType},
        {"osVersion", osVersion},
        {"vendorInfo", vendorInfo},
        {"pushEnabled", pushEnabled ? Json(*pushEnabled) : Json()},
        {"attributes", attributes},
    };
}

Json StoredArchive::toJson() const {
    Json entryList = Json::array();
    for (const auto& entry : entries) {
        entryList.push_back({{"name", entry.name},
                             {"method", entry.method},
                             {"compressedSize", entry.compressedSize},
                             {"size", entry.size},
                             {"crc32", entry.crc32}});
    }
    return {
        {"id", id},
        {"request", requestId},
        {"client", client},
        {"device", device},
        {"filename", filename},
        {"parts", partOrder},
        {"size", bytes.size()},
        {"entries", std::move(entryList)},
    };
}

ServerState::ServerState(const std::string& requestLogPath, std::size_t keptRequests)
    : keptRequests_(keptRequests) {
    if (requestLogPath.empty()) {
        return;
    }
    const int descriptor =
        ::open(requestLogPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (descriptor >= 0) {
        logFile_.reset(::fdopen(descriptor, "a"));
        if (!logFile_) {
            ::close(descriptor);
        }
    }
    if (!logFile_) {
        throw std::runtime_error("cannot open the request log " + requestLogPath);
    }
}

void ServerState::log(RequestRecord record) {
    std::lock_guard lock(mutex_);
    if (logFile_) {
        const auto line = compactText(record.toJson()) + '\n';
        std::fwrite(line.data(), 1, line.size(), logFile_.get());
        std::fflush(logFile_.get());
    }
    // Records are logged after their request was handled, so a quicker neighbour may come first.
    const auto place = std::upper_bound(
        data_.requests.begin(), data_.requests.end(), record.id(),
        [](std::uint64_t id, const RequestRecord& logged) { return id < logged.id(); });
    data_.requests.insert(place, std::move(record));
    if (data_.requests.size() > keptRequests_) {
        data_.requests.pop_front();
    }
}

void ServerState::reset() {
    std::lock_guard lock(mutex_);
    data_ = StateData();
}

}  // namespace orvanpush::server
