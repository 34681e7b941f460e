#pragma once

// The library's keychain store: small byte blobs kept as generic-password items under a string
// key, optionally inside an access group shared by the application and its extension.
//
//   auto status = KeyChain::save("sharedAppGroup", bytes, std::string("myInstance"));
//   std::optional<Bytes> stored = KeyChain::load("sharedAppGroup", std::string("myInstance"));
//
// A given access group is a bare name; it is expanded with the application-identifier prefix
// (getKeychainGroup) on every call. Nothing here throws but loadOrThrow; statuses are logged as
// "OSStatus: ".

#include <optional>
#include <string>
#include <string_view>
#include "orvanpush/logger/SourceLocation.h"

#include "orvanpush/Types.h"
#include "platform/SecItem.h"

namespace orvanpush::detail {

class KeyChain {
  public:
    /// Stores `data` under `key`, replacing an earlier item of the same key and group in one
    /// keychain transaction (no process sees the key missing; a failure keeps the earlier item).
    /// Returns the status of the add (errSecSuccess on success).
    static platform::OSStatus save(const std::string& key, const Bytes& data,
                                   const std::optional<std::string>& accessGroup);

    /// The bytes stored under `key`; nothing when there is no such item or it cannot be read.
    /// Without an access group, an item of any group this process is entitled to matches.
    static std::optional<Bytes> load(const std::string& key,
                                     const std::optional<std::string>& accessGroup);

    /// The same, for a caller that must not take a keychain it cannot read for one without the
    /// item: nothing only when there is no such item; throws TextError naming the keychain file
    /// when that file cannot be read.
    static std::optional<Bytes> loadOrThrow(const std::string& key,
                                            const std::optional<std::string>& accessGroup);

    /// Removes the items stored under `key` (of every group this process is entitled to when none
    /// is given). Returns the status of the removal (errSecItemNotFound when there was nothing
    /// to remove).
    static platform::OSStatus deleteItem(const std::string& key,
                                         const std::optional<std::string>& accessGroup);

    /// The full access group of a bare group name: the application-identifier prefix, ".", and
    /// the name; the name unchanged when the prefix cannot be detected.
    static std::string getKeychainGroup(const std::string& accessGroup);

    /// Logs the status of a keychain call as "OSStatus: " and the decimal status (info), as
    /// written by the calling function.
    static void logStatus(platform::OSStatus status,
                          SourceLocation site = SourceLocation::current());

    /// The accessibility that new items get in this process: after first unlock when the
    /// operating system version is at least 13.0.0, always on older versions. Chosen on the first
    /// call from PlatformConfig's osVersion and kept for the life of the process.
    static const char* accessibility();

    /// The accessibility for an operating system version; the version's leading numeric
    /// components are compared ("6.1.0-18-amd64" reads as 6.1.0, text without digits as 0.0.0).
    static const char* accessibilityFor(std::string_view osVersion);
};

}  // namespace orvanpush::detail
