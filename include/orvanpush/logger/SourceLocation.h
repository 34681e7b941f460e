#pragma once

// Where a call was made, taken as a defaulted last argument so that it describes the caller:
//
//   void log(std::string text, orvanpush::SourceLocation site =
//   orvanpush::SourceLocation::current());
//
// std::source_location where the standard library offers it; otherwise (clang 14 with
// libstdc++ 12) the same interface over the compiler's call-site builtins.

#include <version>
#include "orvanpush/Export.h"

#if defined(__cpp_lib_source_location)
#include <source_location>
#endif

namespace orvanpush {

#if defined(__cpp_lib_source_location)

using SourceLocation = std::source_location;

#else

/// The call site of a logging call, for standard libraries without `std::source_location`:
/// the same members, filled by the compiler's built-ins (no column).
class ORVANPUSH_EXPORT SourceLocation {
  public:
    /// The site of the call that evaluates this default argument.
    static constexpr SourceLocation current(const char* file = __builtin_FILE(),
                                            int line = __builtin_LINE(),
                                            const char* function = __builtin_FUNCTION()) noexcept {
        SourceLocation site;
        site.file_ = file;
        site.line_ = line;
        site.function_ = function;
        return site;
    }

    /// The file, line, column (always 0) and function of the site.
    constexpr const char* file_name() const noexcept { return file_; }
    constexpr unsigned line() const noexcept { return static_cast<unsigned>(line_); }
    constexpr unsigned column() const noexcept { return 0; }
    constexpr const char* function_name() const noexcept { return function_; }

  private:
    const char* file_ = "";
    int line_ = 0;
    const char* function_ = "";
};

#endif

}  // namespace orvanpush
