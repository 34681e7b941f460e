#pragma once

// The keychain: items of this user's applications in <home>/keychain/keychain.sqlite, queried
// and changed with attribute dictionaries shaped as the mobile platform's are. A dictionary is a
// JSON object whose keys are the constants below; data values are JSON binary values.
//
//   Json query = {{kSecClass, kSecClassGenericPassword}, {kSecAttrAccount, "sharedAppGroup"},
//                 {kSecReturnData, true}, {kSecMatchLimit, kSecMatchLimitOne}};
//   Json result;
//   OSStatus status = SecItemCopyMatching(query, &result);  // result: binary data
//
// Safe for concurrent use from several threads and processes.

#include <cstdint>
#include <functional>

#include "orvanpush/Types.h"

namespace orvanpush::platform {

using OSStatus = std::int32_t;

inline constexpr OSStatus errSecSuccess = 0;
inline constexpr OSStatus errSecItemNotFound = -25300;
inline constexpr OSStatus errSecDuplicateItem = -25299;
inline constexpr OSStatus errSecParam = -50;
inline constexpr OSStatus errSecIO = -36;

// Item classes.
inline constexpr const char* kSecClass = "class";
inline constexpr const char* kSecClassGenericPassword = "genp";
inline constexpr const char* kSecClassKey = "keys";

// Attributes (strings unless noted).
inline constexpr const char* kSecAttrAccount = "acct";
inline constexpr const char* kSecAttrService = "svce";
inline constexpr const char* kSecAttrAccessGroup = "agrp";
inline constexpr const char* kSecAttrAccessible = "pdmn";
inline constexpr const char* kSecAttrSynchronizable = "sync";  // boolean
inline constexpr const char* kSecAttrApplicationTag = "atag";  // binary
inline constexpr const char* kSecAttrKeyType = "type";
inline constexpr const char* kSecAttrKeySizeInBits = "bsiz";  // integer
inline constexpr const char* kSecAttrKeyClass = "kcls";
inline constexpr const char* kSecAttrIsPermanent = "perm";  // boolean

// Attribute values.
inline constexpr const char* kSecAttrAccessibleAlways = "dk";
inline constexpr const char* kSecAttrAccessibleAfterFirstUnlock = "ck";
inline constexpr const char* kSecAttrKeyTypeRSA = "42";
inline constexpr const char* kSecAttrKeyTypeECSECPrimeRandom = "73";
inline constexpr const char* kSecAttrKeyClassPublic = "0";
inline constexpr const char* kSecAttrKeyClassPrivate = "1";

// The item's value: data (binary) for passwords, key material (binary DER) for keys.
inline constexpr const char* kSecValueData = "v_Data";

// Search and return options.
inline constexpr const char* kSecReturnData = "r_Data";              // boolean
inline constexpr const char* kSecReturnAttributes = "r_Attributes";  // boolean
inline constexpr const char* kSecMatchLimit = "m_Limit";
inline constexpr const char* kSecMatchLimitOne = "m_LimitOne";
inline constexpr const char* kSecMatchLimitAll = "m_LimitAll";

// Every call answers errSecParam for a dictionary without a known class, with an unknown key or
// with a value of the wrong type (and changes nothing), and errSecIO when the keychain file
// cannot be opened, read or written, or was removed or replaced since this process opened it
// (then the next call opens the file found at its path). Nothing throws.

/// Adds an item. Without an access group the item joins the default group
/// `appIdentifierPrefix + "." + bundleIdentifier`; a generic password without account or
/// service gets "" for them. errSecDuplicateItem when an item of the same class, account,
/// service, access group and synchronizable exists (for keys: application tag, key class,
/// access group, synchronizable and key material, so a new key under an old tag is kept beside
/// the old one). With `result` and kSecReturnAttributes or kSecReturnData set, `*result`
/// receives the added item in the shape SecItemCopyMatching gives.
OSStatus SecItemAdd(const Json& attributes, Json* result);

/// Finds items matching every attribute of the query (search and return options and
/// kSecValueData aside). A query without access group matches only the groups this process is
/// entitled to: its default group and PlatformConfig::keychainAccessGroups; one that names a
/// group matches that group. One without kSecAttrSynchronizable matches only items that are not
/// synchronizable. With
/// kSecReturnData only, `*result` is the data (binary); with kSecReturnAttributes, an attribute
/// dictionary (with kSecValueData too when both are asked); with kSecMatchLimitAll, an array of
/// those, newest first. When several match and one is asked for (the default), the newest wins.
/// errSecItemNotFound when nothing matches; `*result` is left alone on failure.
OSStatus SecItemCopyMatching(const Json& query, Json* result);

/// Removes every item matching the query (matched as SecItemCopyMatching matches);
/// errSecItemNotFound when nothing matches.
OSStatus SecItemDelete(const Json& query);

/// Sets the attributes (and kSecValueData) given in `attributesToUpdate` on every item matching
/// `query` (matched as SecItemCopyMatching matches). `attributesToUpdate` may not name the class
/// or any search or return option (errSecParam). errSecItemNotFound when nothing matches;
/// errSecDuplicateItem, changing nothing, when the change would make two items the same item.
OSStatus SecItemUpdate(const Json& query, const Json& attributesToUpdate);

/// Runs `steps`, a sequence of the calls above, as one keychain transaction: another thread or
/// process sees all of their changes or none of them, never a state in between (a replacement
/// made of a delete and an add is never seen missing). The changes are kept when `steps`
/// answers errSecSuccess and rolled back otherwise; its status is returned (errSecIO when the
/// keychain file fails or `steps` throws). A transaction started inside `steps` joins this one.
/// Other threads' keychain calls wait until the transaction ends.
OSStatus SecItemTransaction(const std::function<OSStatus()>& steps);

}  // namespace orvanpush::platform
