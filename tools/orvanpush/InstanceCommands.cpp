#include "InstanceCommands.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <limits>
#include <memory>

#include "PasswordSource.h"
#include "Validators.h"
#include "orvanpush/PushSDK.h"

namespace orvanpush::cli {
namespace {

struct InitOptions {
    std::string id;
    std::string server;
    std::string login;
    std::optional<std::string> password;
    std::optional<std::string> passwordFile;
    std::optional<std::string> group;
    std::optional<std::string> logServer;
    bool noSilenceDuplicates = false;
    std::optional<std::int64_t> keep;
    std::optional<std::int64_t> days;
};

bool isSchemeCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
}

// A host name is made of the characters a URL leaves unreserved.
bool isNameCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == '_' ||
           c == '~';
}

// An IPv6 address between brackets.
bool isAddressCharacter(char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) || c == ':' || c == '.';
}

bool isHost(std::string_view host) {
    if (host.size() > 2 && host.starts_with('[') && host.ends_with(']')) {
        const auto address = host.substr(1, host.size() - 2);
        return std::all_of(address.begin(), address.end(), isAddressCharacter);
    }
    return !host.empty() && std::all_of(host.begin(), host.end(), isNameCharacter);
}

std::string lowercased(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

std::optional<std::int64_t> defaultPort(std::string_view scheme) {
    if (scheme == "https") {
        return 443;
    }
    if (scheme == "http") {
        return 80;
    }
    return std::nullopt;
}

std::optional<std::int64_t> parsePort(std::string_view text) {
    std::int64_t port = 0;
    const char* end = text.data() + text.size();
    const auto [stop, failure] = std::from_chars(text.data(), end, port);
    if (text.empty() || failure != std::errc() || stop != end || port < 1 || port > 65535) {
        return std::nullopt;
    }
    return port;
}

/// Splits "host[:port]" (an IPv6 host in brackets) into the host and, when a ":" follows it,
/// the port text. False when something else follows the host.
bool splitAuthority(std::string_view authority, std::string_view& host,
                    std::optional<std::string_view>& port) {
    std::size_t hostEnd = std::min(authority.find(':'), authority.size());
    if (authority.starts_with('[')) {
        hostEnd = authority.find(']');
        if (hostEnd == std::string_view::npos) {
            return false;
        }
        ++hostEnd;
    }
    host = authority.substr(0, hostEnd);
    const auto rest = authority.substr(hostEnd);
    if (rest.empty()) {
        port.reset();
        return true;
    }
    port = rest.substr(1);
    return rest.starts_with(':');
}

CLI::Validator serverUrlValidator() {
    return CLI::Validator(
        [](std::string& url) {
            std::string error;
            return parseServerUrl(url, error) ? std::string() : error;
        },
        "URL");
}

std::vector<std::string> identityLines(const std::optional<std::string>& token,
                                       const std::optional<std::string>& clientId,
                                       const std::optional<std::string>& deviceId) {
    const auto shown = [](const std::optional<std::string>& value) {
        return value.value_or("(none)");
    };
    return {"token: " + shown(token), "clientId: " + shown(clientId),
            "deviceId: " + shown(deviceId)};
}

Json orNull(const std::optional<std::string>& value) {
    return value ? Json(*value) : Json(nullptr);
}

int runInit(const InitOptions& options, const Output& out) {
    std::string ignored;
    const auto push = parseServerUrl(options.server, ignored);
    const auto log = options.logServer ? parseServerUrl(*options.logServer, ignored) : std::nullopt;
    std::optional<StorageParams> storage;
    if (options.keep || options.days) {
        storage = StorageParams{.quantityLimit = options.keep, .daysLimit = options.days};
    }
    const std::string group = options.group.value_or(options.id);
    PushSDK::createInstance(options.id, group, *push, options.login, *options.password, log,
                            !options.noSilenceDuplicates, storage);
    out.result({{"result", "success"}},
               {"Instance " + options.id + " saved in shared group " + group,
                "push server: " + options.server,
                "log server: " + options.logServer.value_or("(unchanged)")});
    return kExitSuccess;
}

int runWhoami(const std::string& id, const Output& out) {
    const auto sdk = PushSDK::getInstance(id);
    const auto token = sdk->getSavedToken();
    const auto clientId = sdk->getClientId();
    const auto deviceId = sdk->getDeviceId();
    out.result(
        {{"token", orNull(token)}, {"clientId", orNull(clientId)}, {"deviceId", orNull(deviceId)}},
        identityLines(token, clientId, deviceId));
    return kExitSuccess;
}

void addInit(CLI::App& app, CliContext& context) {
    auto options = std::make_shared<InitOptions>();
    auto* init = app.add_subcommand("init", "Save the configuration of a named instance");
    init->add_option("--id", options->id, "Instance identifier")->required()->check(instanceName());
    init->add_option("--server", options->server, "Push server, scheme://host[:port][/context]")
        ->required()
        ->check(serverUrlValidator());
    init->add_option("--login", options->login, "Push-server login")->required();
    auto* passwordFile = init->add_option(
        "--password-file", options->passwordFile,
        "File holding the push-server password (one trailing newline is dropped); without it "
        "and --password, $ORVANPUSH_PASSWORD, else a prompt on the terminal");
    init->add_option("--password", options->password,
                     "Push-server password. Visible to other users of this machine in the "
                     "process list: prefer --password-file, $ORVANPUSH_PASSWORD or the prompt")
        ->excludes(passwordFile);
    init->add_option("--group", options->group, "Shared application group (default: the id)")
        ->check(instanceName());
    init->add_option("--log-server", options->logServer,
                     "Log server, scheme://host[:port][/context]")
        ->check(serverUrlValidator());
    init->add_flag("--no-silence-duplicates", options->noSilenceDuplicates,
                   "Keep the sound of a message received twice");
    const auto count = wholeNumber(0, std::numeric_limits<std::int64_t>::max());
    init->add_option("--keep", options->keep, "Most messages the local store keeps")->check(count);
    init->add_option("--days", options->days, "Most days a message stays in the local store")
        ->check(count);
    init->callback([options, &context] {
        options->password = initPassword(options->password, options->passwordFile);
        context.action = [options, &context] { return runInit(*options, context.out); };
    });
}

void addWhoami(CLI::App& app, CliContext& context) {
    auto id = std::make_shared<std::string>();
    auto* whoami = app.add_subcommand("whoami", "Show the saved token, client id and device id");
    whoami->add_option("--id", *id, "Instance identifier")->required()->check(instanceName());
    whoami->callback([id, &context] {
        context.action = [id, &context] { return runWhoami(*id, context.out); };
    });
}

}  // namespace

std::optional<ServerParams> parseServerUrl(std::string_view url, std::string& error) {
    const auto schemeEnd = url.find("://");
    const auto schemeText = url.substr(0, schemeEnd);
    if (schemeEnd == std::string_view::npos || schemeText.empty() ||
        !std::all_of(schemeText.begin(), schemeText.end(), isSchemeCharacter)) {
        error = "expected scheme://host[:port][/context]";
        return std::nullopt;
    }
    // Schemes are case-insensitive: HTTPS://h is https://h.
    const std::string scheme = lowercased(schemeText);
    const auto rest = url.substr(schemeEnd + 3);
    const auto pathStart = std::min(rest.find('/'), rest.size());
    std::string_view host;
    std::optional<std::string_view> portText;
    if (!splitAuthority(rest.substr(0, pathStart), host, portText) || !isHost(host)) {
        error = "expected a host name (letters, digits, \"-._~\") or [IPv6 address] after " +
                scheme + "://";
        return std::nullopt;
    }
    const auto port = portText ? parsePort(*portText) : defaultPort(scheme);
    if (!port) {
        error = portText ? "the port must be a number from 1 to 65535"
                         : "a port is needed for scheme " + scheme;
        return std::nullopt;
    }
    const auto context = rest.substr(std::min(pathStart + 1, rest.size()));
    if (context.find_first_of("?# \t\r\n") != std::string_view::npos) {
        error = "the context is a plain path (no query, fragment or spaces)";
        return std::nullopt;
    }
    return ServerParams{
        .protocolType = scheme,
        .serverURL = std::string(host),
        .serverPort = *port,
        .context = context.empty() ? std::nullopt : std::optional<std::string>(context)};
}

void addInstanceCommands(CLI::App& app, CliContext& context) {
    addInit(app, context);
    addWhoami(app, context);
}

}  // namespace orvanpush::cli
