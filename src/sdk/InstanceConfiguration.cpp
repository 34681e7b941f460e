#include "sdk/InstanceConfiguration.h"

#include <charconv>
#include <cstdint>

#include "orvanpush/OrvanPushSDKError.h"
#include "utils/logger/log_manager/SdkLog.h"

namespace orvanpush::detail {
namespace {

constexpr std::int64_t defaultPushServerPort = 8090;
constexpr std::int64_t defaultLogServerPort = 443;

/// The whole of `text` as a decimal integer with an optional sign; nothing otherwise.
std::optional<std::int64_t> parseDecimal(std::string_view text) {
    if (text.starts_with('+')) {
        text.remove_prefix(1);
        if (text.starts_with('-')) {
            return std::nullopt;
        }
    }
    std::int64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end) {
        return std::nullopt;
    }
    return value;
}

std::string require(const SettingsUtils& settings, Setting setting) {
    if (auto value = settings.get(setting)) {
        return *value;
    }
    const auto error = OrvanPushSDKError::settingNotFound(toString(setting));
    SdkLog::message(LogSeverity::error, LoggerModule::sdk, error.description());
    throw error;
}

void writeServer(const SettingsUtils& settings, const ServerParams& params, Setting protocol,
                 Setting address, Setting port, Setting context) {
    settings.set(protocol, params.protocolType);
    settings.set(address, params.serverURL);
    settings.set(port, std::to_string(params.serverPort));
    settings.set(context, params.context.value_or(""));
}

void writeLimit(const SettingsUtils& settings, Setting setting,
                const std::optional<std::int64_t>& limit) {
    settings.set(setting, limit ? std::to_string(*limit) : "");
}

std::optional<ServerParams> readLogServer(const SettingsUtils& settings) {
    auto protocol = settings.get(Setting::LogServerProtocolType);
    auto address = settings.get(Setting::LogServerAddress);
    auto port = settings.get(Setting::LogServerPort);
    if (!protocol || !address || !port) {
        SdkLog::message(LogSeverity::info, LoggerModule::sdk, "LogServerParams is nil");
        return std::nullopt;
    }
    ServerParams params{.protocolType = std::move(*protocol),
                        .serverURL = std::move(*address),
                        .serverPort = 0,
                        .context = settings.get(Setting::LogServerContext)};
    params.serverPort = parseDecimal(*port).value_or(defaultLogServerPort);
    SdkLog::message(LogSeverity::info, LoggerModule::sdk, "LogServerParams: " + toString(params));
    return params;
}

}  // namespace

void InstanceConfiguration::write(const SettingsUtils& settings, const std::string& sharedAppGroup,
                                  const std::optional<StorageParams>& storageParams) const {
    settings.set(Setting::SharedAppGroup, sharedAppGroup);
    writeServer(settings, pushServerParams, Setting::ProtocolType, Setting::ServerAddress,
                Setting::ServerPort, Setting::ServerContext);
    settings.set(Setting::ServerLogin, login);
    settings.set(Setting::ServerPassword, password);
    if (logServerParams) {
        writeServer(settings, *logServerParams, Setting::LogServerProtocolType,
                    Setting::LogServerAddress, Setting::LogServerPort, Setting::LogServerContext);
    }
    settings.set(Setting::SilenceDuplicates, silenceDuplicates ? "true" : "false");
    const StorageParams limits = storageParams.value_or(StorageParams{});
    writeLimit(settings, Setting::StorageQuantityLimit, limits.quantityLimit);
    writeLimit(settings, Setting::StorageDaysLimit, limits.daysLimit);
}

InstanceConfiguration InstanceConfiguration::read(const SettingsUtils& settings) {
    InstanceConfiguration configuration;
    auto& push = configuration.pushServerParams;
    push.protocolType = require(settings, Setting::ProtocolType);
    push.serverURL = require(settings, Setting::ServerAddress);
    push.serverPort =
        parseDecimal(require(settings, Setting::ServerPort)).value_or(defaultPushServerPort);
    push.context = settings.get(Setting::ServerContext);
    configuration.login = require(settings, Setting::ServerLogin);
    configuration.password = require(settings, Setting::ServerPassword);
    configuration.logServerParams = readLogServer(settings);
    configuration.silenceDuplicates = settings.get(Setting::SilenceDuplicates) != "false";
    return configuration;
}

}  // namespace orvanpush::detail
