#include "orvanpush/logger/LogEntry.h"

#include <utility>

#include "platform/ProcessInfo.h"

namespace orvanpush {
namespace {

struct ProcessIdentity {
    std::string name;
    std::int32_t id;
};

// Read once, the first time any entry is made; every entry copies the pair.
const ProcessIdentity& processIdentity() {
    static const ProcessIdentity identity{platform::ProcessInfo::processName(),
                                          platform::ProcessInfo::processId()};
    return identity;
}

}  // namespace

LogEntry::LogEntry(Payload payload, LogSeverity severity, std::optional<std::string> context,
                   LoggerModule loggerModule, std::string callingFilePath, int callingFileLine,
                   std::string callingStackFrame, std::uint64_t callingThreadID, Date timestamp)
    : payload(std::move(payload)),
      severity(severity),
      context(std::move(context)),
      loggerModule(loggerModule),
      callingFilePath(std::move(callingFilePath)),
      callingFileLine(callingFileLine),
      callingStackFrame(std::move(callingStackFrame)),
      callingThreadID(callingThreadID),
      timestamp(timestamp),
      processName(processIdentity().name),
      processID(processIdentity().id) {}

}  // namespace orvanpush
