#pragma once

#include <memory>

#include "orvanpush/logger/LogFormatter.h"
#include "orvanpush/logger/OrvanLogFormatter.h"

namespace orvanpush::detail {

/// The line layout of the SDK's log files:
/// "2023-11-05 14:03:27+0300;Info;000000FF;;Crypto;OSStatus: 0 [KeyChainUtil.cpp:42]".
inline LogFormatterPtr makeSdkLogFileFormatter(bool showCallSite) {
    return std::make_shared<OrvanLogFormatter>(TimestampStyle::custom("yyyy-MM-dd HH:mm:ssZZZ"),
                                               SeverityStyle::simple(), DelimiterStyle::semicolon(),
                                               CallingThreadStyle::hex, std::nullopt,
                                               LoggerModule::sdk, showCallSite);
}

}  // namespace orvanpush::detail
