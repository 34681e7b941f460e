#include "orvanpush/ServerParams.h"

#include "sdk/PrintedText.h"

namespace orvanpush {

std::string toString(const ServerParams& params) {
    return "ServerParams(protocolType: " + detail::printedString(params.protocolType) +
           ", serverURL: " + detail::printedString(params.serverURL) +
           ", serverPort: " + std::to_string(params.serverPort) +
           ", context: " + (params.context ? detail::printedString(*params.context) : "nil") + ")";
}

}  // namespace orvanpush
