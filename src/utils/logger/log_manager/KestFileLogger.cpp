#include "utils/logger/log_manager/KestFileLogger.h"

#include <chrono>
#include <filesystem>

#include "orvanpush/platform/Console.h"
#include "orvanpush/platform/PlatformConfig.h"
#include "platform/DateFormatter.h"

namespace orvanpush::detail {

std::string KestFileLogger::fileName(Date date) {
    static const platform::DateFormatter dayFormatter("yyyyMMdd", "GMT",
                                                      "en_US_POSIX@calendar=iso8601");
    const auto& bundleIdentifier = platform::PlatformConfig::current()->bundleIdentifier;
    return dayFormatter.string(date) + "." +
           (bundleIdentifier.empty() ? std::string("KestFileLogger") : bundleIdentifier) + ".log";
}

void KestFileLogger::write(std::string_view text) {
    if (auto& stream = file()) {
        stream->write(text);
    }
}

std::optional<platform::AppendFile>& KestFileLogger::file() {
    if (file_) {
        return file_;
    }
    auto path =
        std::filesystem::path(logsDirectoryPath_) / fileName(std::chrono::system_clock::now());
    if (auto created = platform::FileSystem::createDirectories(path.parent_path()); !created) {
        platform::Console::printLine("Error on creating parent directory structure for file " +
                                     path.string() + ". Error: " + created.error);
        return file_;
    }
    file_ = platform::AppendFile::open(path);
    return file_;
}

}  // namespace orvanpush::detail
