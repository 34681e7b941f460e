#pragma once

// The log server's one endpoint, POST "/saveLogFile" (below its own context): a multipart form
// with the parts client, device, filename and logfile, the last a ZIP archive. Accepted archives
// are kept for the tests; the answer carries the logging control the admin API set.

#include <string>
#include <string_view>

#include "Exchange.h"
#include "RequestRecord.h"
#include "ServerState.h"

namespace orvanpush::server {

class LogUploadService {
  public:
    /// `context` is the path below which "/saveLogFile" lives, without surrounding "/".
    explicit LogUploadService(const std::string& context);

    const std::string& path() const { return path_; }

    /// Checks the upload, recording each outcome, and answers it; only with `apply` is an
    /// accepted archive stored.
    Reply handle(const IncomingRequest& request, RequestRecord& record, StateData& state,
                 bool apply) const;

  private:
    std::string path_;
};

}  // namespace orvanpush::server
