#pragma once

// Finds the application-identifier prefix that the keychain puts in front of every access group
// of this application, so that a bare group name can be expanded into a full access group:
//
//   if (auto info = orvanpush::KeyChainAccessGroupHelper::getAccessGroupInfo()) {
//       std::string group = info->prefix + ".myInstance";
//   }
//
// Each operation learns the default access group from a probe item that it creates once and
// leaves in the keychain.

#include <optional>
#include <string>
#include "orvanpush/Export.h"

namespace orvanpush {

/// The parts of an application's default keychain access group.
struct ORVANPUSH_EXPORT KeyChainAccessGroupInfo {
    /// The first dot-separated component: the application-identifier prefix.
    std::string prefix;
    /// The rest of the group (what exactly depends on the operation that built the record).
    std::string keyChainGroup;
    /// The whole access group as the keychain reported it.
    std::string rawValue;

    /// Equal when every part is.
    bool operator==(const KeyChainAccessGroupInfo&) const = default;
};

/// Static members only; each call asks the keychain afresh on the calling thread and never
/// throws.
class ORVANPUSH_EXPORT KeyChainAccessGroupHelper {
  public:
    /// The default access group split into its prefix and the remaining components (every
    /// component equal to the prefix left out); nothing when the probe item cannot be created or
    /// read. Logs the status of each keychain call.
    static std::optional<KeyChainAccessGroupInfo> getAccessGroupInfo();

    /// The default access group's prefix, with the whole group as `keyChainGroup`; nothing when
    /// the probe item cannot be created or read. Logs nothing.
    static std::optional<KeyChainAccessGroupInfo> applicationPrefix();
};

}  // namespace orvanpush
