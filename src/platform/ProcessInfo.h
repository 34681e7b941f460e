#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <typeinfo>

namespace orvanpush::platform {

class ProcessInfo {
  public:
    /// The running program's name (the last component of its executable path).
    static const std::string& processName();
    /// The process id.
    static std::int32_t processId();
    /// The system id of the calling thread.
    static std::uint64_t threadNumber();
    /// An environment variable, nothing when unset.
    static std::optional<std::string> environment(const char* name);
    /// The machine field of uname ("x86_64").
    static std::string machine();
    /// The kernel release field of uname.
    static std::string kernelRelease();
    /// The path of the running executable.
    static std::string executablePath();
};

/// The readable name of a C++ type ("std::vector<int>").
std::string demangledName(const std::type_info& type);

/// A new random (version 4) UUID in canonical upper-case form.
std::string makeUuid();

}  // namespace orvanpush::platform
