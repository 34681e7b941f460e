#include "platform/ProcessInfo.h"

#include <cxxabi.h>
#include <sys/syscall.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include <openssl/rand.h>

#include "orvanpush/TextError.h"
#include "orvanpush/ThreadNumber.h"

namespace orvanpush::platform {
namespace {

utsname systemName() {
    utsname name{};
    ::uname(&name);
    return name;
}

}  // namespace

const std::string& ProcessInfo::processName() {
    static const std::string name = std::filesystem::path(executablePath()).filename().string();
    return name;
}

std::int32_t ProcessInfo::processId() {
    return static_cast<std::int32_t>(::getpid());
}

std::uint64_t ProcessInfo::threadNumber() {
    thread_local const auto number = static_cast<std::uint64_t>(::syscall(SYS_gettid));
    return number;
}

std::optional<std::string> ProcessInfo::environment(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr) {
        return std::nullopt;
    }
    return std::string(value);
}

std::string ProcessInfo::machine() {
    return systemName().machine;
}

std::string ProcessInfo::kernelRelease() {
    return systemName().release;
}

std::string ProcessInfo::executablePath() {
    std::error_code error;
    auto path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string("orvanpush") : path.string();
}

std::string demangledName(const std::type_info& type) {
    int status = 0;
    std::unique_ptr<char, decltype(&std::free)> name(
        abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), &std::free);
    return status == 0 && name ? std::string(name.get()) : std::string(type.name());
}

std::string makeUuid() {
    std::array<unsigned char, 16> bytes{};
    if (RAND_bytes(bytes.data(), static_cast<int>(bytes.size())) != 1) {
        throw TextError("No random bytes available for an identifier");
    }
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);
    std::array<char, 37> text{};
    std::snprintf(text.data(), text.size(),
                  "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", bytes[0],
                  bytes[1], bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], bytes[7], bytes[8],
                  bytes[9], bytes[10], bytes[11], bytes[12], bytes[13], bytes[14], bytes[15]);
    return std::string(text.data(), 36);
}

}  // namespace orvanpush::platform

namespace orvanpush {

std::uint64_t getThreadNubmer() {
    return platform::ProcessInfo::threadNumber();
}

}  // namespace orvanpush
