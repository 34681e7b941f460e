#pragma once

// What the upload does with the logging control of the log server's answer.
//
//   if (answer.sdkLoggingControl) {
//       applyLoggingControl(*answer.sdkLoggingControl);
//   }

#include <optional>

#include "api/SDKLoggingControl.h"
#include "orvanpush/logger/Log.h"
#include "orvanpush/logger/LogChannel.h"
#include "utils/logger/log_manager/FixedSite.h"

namespace orvanpush::detail {

/// Applies a control to the logging settings: a different send-logs value is stored and
/// announced ("Send logs is 1", made at `sendLogsSite` when one is given); a log level that
/// differs (ignoring case) is stored in lower case and announced ("Log level parameter change to
/// trace") when the version list names this library's version. A level other than off, error,
/// info and trace (in any case) is announced as ignored and changes nothing. Announcements go
/// to `console`.
void applyLoggingControl(const SDKLoggingControl& control,
                         const std::optional<LogChannel>& console = Log::info(),
                         const std::optional<FixedSite>& sendLogsSite = std::nullopt);

}  // namespace orvanpush::detail
