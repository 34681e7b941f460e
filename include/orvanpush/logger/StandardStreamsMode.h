#pragma once

namespace orvanpush {

/// How a console configuration chooses between the system log and the standard streams.
enum class StandardStreamsMode { useAsFallback, useAlways, useExclusively };

}  // namespace orvanpush
