#pragma once

// A host's way to add its own HTTP headers to every push-server request.
//
//   class TenantHeaders : public orvanpush::HttpRequestAdditionalHeaderManager {
//   public:
//       std::map<std::string, std::string> getAdditionalHeaders(const std::string&) override {
//           return {{"X-Tenant", "shop"}};
//       }
//   };

#include <map>
#include <string>
#include "orvanpush/Export.h"

namespace orvanpush {

/// Implemented by the host and handed to PushSDK::getInstance; may be called from several
/// threads at once, so an implementation with state must guard it.
class ORVANPUSH_EXPORT HttpRequestAdditionalHeaderManager {
  public:
    virtual ~HttpRequestAdditionalHeaderManager() = default;

    /// The headers (name to value) to send with the request for `requestUri`, the printed
    /// ApiMethods name of that request ("subscribe", "subscriber/get", ...). Called once for
    /// every request, on the thread of the operation that builds it. A "rid" header is
    /// replaced by the library's own request id.
    virtual std::map<std::string, std::string> getAdditionalHeaders(
        const std::string& requestUri) = 0;
};

}  // namespace orvanpush
