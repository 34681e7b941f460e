#pragma once

#include <string>
#include "orvanpush/Export.h"

namespace orvanpush {

/// The part of the library that wrote a log entry.
enum class LoggerModule { crypto, storage, sdk };

/// "Crypto", "Storage" or "SDK Instance".
ORVANPUSH_EXPORT std::string toString(LoggerModule module);

}  // namespace orvanpush
