#pragma once

// Where `init` takes the push-server password from, so that it need not appear on the command
// line (where every user of the machine can read it in the process list): in this order,
//   --password P          (works, but visible to other users)
//   --password-file FILE  (its content; one trailing newline is dropped)
//   $ORVANPUSH_PASSWORD
//   a prompt on the terminal, typed without echo.

#include <optional>
#include <string>

namespace orvanpush::cli {

/// The environment variable that may hold the password.
inline constexpr const char* kPasswordVariable = "ORVANPUSH_PASSWORD";

/// The password from the first source above that gives one. Throws CLI::ValidationError (a
/// usage error) when the file cannot be read, or no source gives a password and standard input
/// is not a terminal.
std::string initPassword(const std::optional<std::string>& option,
                         const std::optional<std::string>& file);

}  // namespace orvanpush::cli
