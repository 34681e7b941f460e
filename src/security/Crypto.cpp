#include "security/Crypto.h"

#include <optional>

#include "orvanpush/TextError.h"
#include "orvanpush/platform/Console.h"
#include "platform/Base64.h"
#include "platform/SecKey.h"
#include "security/CryptoExportImportManager.h"
#include "security/KeyChainUtil.h"
#include "utils/logger/log_manager/SdkLog.h"

namespace orvanpush::detail {
namespace {

using namespace platform;

Json tagBytes(const std::string& tag) {
    return Json::binary(Bytes(tag.begin(), tag.end()));
}

// The attributes of one half of a new pair.
Json keyAttributes(const std::string& group, const std::string& tag) {
    return {{kSecClass, kSecClassKey},
            {kSecReturnData, true},
            {kSecAttrIsPermanent, true},
            {kSecAttrApplicationTag, tagBytes(tag)},
            {kSecAttrAccessible, KeyChain::accessibility()},
            {kSecAttrAccessGroup, group}};
}

// Finds the key under `tag`; the status of the look-up, and the key when one could be read.
OSStatus copyKey(const std::string& accessGroup, const std::string& tag,
                 std::optional<SecKey>& key) {
    const Json query = {{kSecClass, kSecClassKey},
                        {kSecReturnAttributes, true},
                        {kSecReturnData, true},
                        {kSecAttrAccessGroup, KeyChain::getKeychainGroup(accessGroup)},
                        {kSecAttrApplicationTag, tagBytes(tag)}};
    Json item;
    const OSStatus status = SecItemCopyMatching(query, &item);
    if (status == errSecSuccess) {
        key = SecKey::fromItem(item);
    }
    return status;
}

[[noreturn]] void fail(const std::string& message,
                       SourceLocation site = SourceLocation::current()) {
    SdkLog::message(LogSeverity::error, LoggerModule::crypto, message, site);
    throw TextError(message);
}

}  // namespace

bool generateKeyPair(const std::string& accessGroup, const std::string& appTagPublic,
                     const std::string& appTagPrivate, const std::string& keyType, int keySize) {
    const std::string group = KeyChain::getKeychainGroup(accessGroup);
    const Json parameters = {{kSecAttrKeyType, keyType},
                             {kSecAttrAccessible, kSecAttrAccessibleAfterFirstUnlock},
                             {kSecAttrKeySizeInBits, keySize},
                             {kSecPublicKeyAttrs, keyAttributes(group, appTagPublic)},
                             {kSecPrivateKeyAttrs, keyAttributes(group, appTagPrivate)}};
    std::optional<SecKey> publicKey;
    std::optional<SecKey> privateKey;
    const OSStatus status = SecKeyGeneratePair(parameters, &publicKey, &privateKey);
    if (status == errSecSuccess && publicKey && privateKey) {
        const std::string line = "Generating Key Pair successfully completed";
        SdkLog::message(LogSeverity::info, LoggerModule::crypto, line);
        Console::printLine(line);
        return true;
    }
    const std::string line = "Error generating key pair: " + std::to_string(status);
    SdkLog::message(LogSeverity::error, LoggerModule::crypto, line);
    Console::printLine(line);
    return false;
}

std::string getPublicKeyString(const std::string& accessGroup, const std::string& appTagPublic,
                               const std::string& /*appTagPrivate*/, const std::string& keyType,
                               int keySize) {
    std::optional<SecKey> key;
    if (copyKey(accessGroup, appTagPublic, key) != errSecSuccess || !key) {
        fail("Public key not found");
    }
    auto raw = key->copyExternalRepresentation();
    if (!raw) {
        fail("An error occured during the public key copy process");
    }
    const CryptoExportImportManager manager;
    Bytes der;
    if (keyType == kSecAttrKeyTypeEC) {
        der = manager.exportECPublicKeyToDER(*raw, keySize);
    } else if (keyType == kSecAttrKeyTypeRSA) {
        der = manager.exportRSAPublicKeyToDER(*raw);
    } else {
        fail("An error occured during the public key export process");
    }
    return base64Encode(der);
}

std::string signString(const std::string& accessGroup, const std::string& appTagPrivate,
                       const std::string& algorithm, const std::string& dataToSign) {
    std::optional<SecKey> key;
    if (copyKey(accessGroup, appTagPrivate, key) != errSecSuccess) {
        fail("An error occured during the private key copy process");
    }
    if (!key) {
        fail("Private key not found");
    }
    if (!key->isAlgorithmSupported(SecKeyOperationType::sign, algorithm)) {
        fail("Algorithm \"" + algorithm + "\" is not supported");
    }
    return base64Encode(
        key->createSignature(algorithm, Bytes(dataToSign.begin(), dataToSign.end())));
}

}  // namespace orvanpush::detail
