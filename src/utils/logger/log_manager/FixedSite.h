#pragma once

// A call site that readers of the logs know by a fixed function, file and line, whatever the
// place of the code that logs it:
//
//   constexpr FixedSite kOutcomeSite{"uploadLogFile(file:)", "utils/LoggingUtils.cpp", 187};
//   logOnChannel(Log::info(), text, kOutcomeSite);

namespace orvanpush::detail {

struct FixedSite {
    const char* function;
    const char* file;
    int line;
};

}  // namespace orvanpush::detail
