#pragma once

#include <string>

namespace orvanpush {

/// The part of the library that wrote a log entry.
enum class LoggerModule { crypto, storage, sdk };

/// "Crypto", "Storage" or "SDK Instance".
std::string toString(LoggerModule module);

}  // namespace orvanpush
