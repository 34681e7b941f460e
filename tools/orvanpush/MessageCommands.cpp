#include "MessageCommands.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>

#include "CommandSupport.h"
#include "Validators.h"
#include "orvanpush/PushSDK.h"
#include "orvanpush/platform/ForeignJson.h"
#include "orvanpush/storage/Message.h"
#include "orvanpush/storage/Predicate.h"
#include "orvanpush/storage/StorageErrors.h"

namespace orvanpush::cli {
namespace {

// ---- receive ----

struct ReceiveOptions {
    std::string id;
    std::optional<std::string> payload;
    std::optional<std::string> messageId;
    std::optional<std::string> title;
    std::optional<std::string> subtitle;
    std::optional<std::string> body;
    std::optional<std::string> customData;
    std::optional<std::string> fallbackAddress;
};

struct Receipt {
    std::optional<BaseApiResult> result;
    std::exception_ptr error;
    std::optional<MutableNotificationContent> content;
};

/// A file or option the command cannot use (exit 2).
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

/// The most a --payload may hold: the platform's pushes are at most 4 KiB.
constexpr std::size_t kMaxPayloadBytes = 1024 * 1024;

/// The bytes of a file, or of standard input for "-"; refused, unread, beyond kMaxPayloadBytes.
std::string payloadText(const std::string& path) {
    std::ifstream file;
    std::istream* input = &std::cin;
    if (path != "-") {
        file.open(path, std::ios::binary);
        if (!file) {
            throw UsageError("--payload: cannot read " + path);
        }
        input = &file;
    }
    std::string text(kMaxPayloadBytes + 1, '\0');
    input->read(text.data(), static_cast<std::streamsize>(text.size()));
    if (input->bad()) {
        throw UsageError("--payload: cannot read " + path);
    }
    text.resize(static_cast<std::size_t>(input->gcount()));
    if (text.size() > kMaxPayloadBytes) {
        throw UsageError("--payload: larger than the limit of 1 MiB (" +
                         std::to_string(kMaxPayloadBytes) + " bytes)");
    }
    return text;
}

Json parseJson(const std::string& text, const std::string& option) {
    try {
        return platform::ForeignJson::parse(text);
    } catch (const TextError& error) {
        throw UsageError(option + ": " + error.what());
    }
}

std::string errorText(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& thrown) {
        return thrown.what();
    } catch (...) {
        return "unknown error";
    }
}

// What the error handed to the completion means, and what to do about it.
std::string errorMessage(const std::exception_ptr& error, const Situation& situation) {
    try {
        std::rethrow_exception(error);
    } catch (const OrvanPushSDKError& thrown) {
        return "the push was not reported: " + remedyForThrown(thrown, situation);
    } catch (...) {
        return "the push was not reported: " + errorText(error);
    }
}

Json contentObject(const NotificationContent& content) {
    return {{"title", content.title()},
            {"subtitle", content.subtitle()},
            {"body", content.body()},
            {"sound", orNull(content.sound())},
            {"userInfo", content.userInfo()}};
}

/// The store's failure when the message was received but not stored.
std::optional<std::string> notStoredReason(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const StorageMessageError& notStored) {
        if (notStored.kind() == StorageMessageError::Kind::notSaved) {
            return notStored.reason();
        }
    } catch (...) {
    }
    return std::nullopt;
}

int printReceipt(const Output& out, const Receipt& receipt) {
    Json object = receipt.result ? resultObject(*receipt.result) : Json::object();
    std::vector<std::string> lines =
        receipt.result ? resultLines(*receipt.result) : std::vector<std::string>{};
    if (const auto reason = receipt.error ? notStoredReason(receipt.error) : std::nullopt) {
        // Delivered all the same: the report's own result stays.
        const auto message = "delivered, not stored: " + *reason;
        object["error"] = "notStored";
        object["message"] = message;
        lines.push_back(message);
    } else if (receipt.error) {
        object["result"] = "error";
        object["error"] = errorText(receipt.error);
        object["message"] = errorMessage(receipt.error, out.situation());
    } else if (!receipt.result) {
        object.update(noResult());
    }
    if (receipt.content) {
        object["content"] = contentObject(*receipt.content);
        lines.push_back("title: " + receipt.content->title());
        lines.push_back("subtitle: " + receipt.content->subtitle());
        lines.push_back("body: " + receipt.content->body());
        lines.push_back("sound: " + shown(receipt.content->sound()));
    }
    out.result(object, lines);
    const bool failed =
        receipt.error || !receipt.result || receipt.result->getResultKind() != ResultKind::success;
    return failed ? kExitError : kExitSuccess;
}

int receivePayload(const CliContext& context, const ReceiveOptions& options) {
    auto delivered =
        NotificationContent::fromPayload(parseJson(payloadText(*options.payload), "--payload"));
    const auto sdk = PushSDK::getInstance(options.id);
    Awaited<Receipt> awaited;
    // The request is a temporary: the library keeps a copy of its own while it works.
    sdk->onMessageReceive({"orvanpush.cli", std::move(delivered)}, options.fallbackAddress,
                          [completion = awaited.completion()](
                              std::optional<BaseApiResult> result, std::exception_ptr error,
                              std::optional<MutableNotificationContent> content) {
                              completion({std::move(result), std::move(error), std::move(content)});
                          });
    const auto receipt = awaited.wait(context.timeout());
    return receipt ? printReceipt(context.out, *receipt) : completionTimedOut(context.out);
}

int receive(const CliContext& context, const ReceiveOptions& options) {
    if (options.payload) {
        return receivePayload(context, options);
    }
    std::optional<Json> customData;
    if (options.customData) {
        customData = parseJson(*options.customData, "--custom-data");
        if (!customData->is_object()) {
            throw UsageError("--custom-data: expected a JSON object");
        }
    }
    const auto sdk = PushSDK::getInstance(options.id);
    Awaited<Receipt> awaited;
    sdk->onMessageReceive(*options.messageId, options.title, options.subtitle, options.body,
                          customData, options.fallbackAddress,
                          [completion = awaited.completion()](std::optional<BaseApiResult> result,
                                                              std::exception_ptr error) {
                              completion({std::move(result), std::move(error), std::nullopt});
                          });
    const auto receipt = awaited.wait(context.timeout());
    return receipt ? printReceipt(context.out, *receipt) : completionTimedOut(context.out);
}

int runReceive(const CliContext& context, const ReceiveOptions& options) {
    try {
        return receive(context, options);
    } catch (const UsageError& error) {
        context.out.error("usage", error.what());
        return kExitUsage;
    }
}

void addReceive(CLI::App& app, CliContext& context) {
    auto options = std::make_shared<ReceiveOptions>();
    auto* receive = app.add_subcommand(
        "receive", "Handle a push message as the extension does: store it and report it");
    receive->add_option("--id", options->id, "Instance identifier")
        ->required()
        ->check(instanceName());
    auto* source = receive->add_option_group("source", "The message");
    source->add_option(
        "--payload", options->payload,
        "Push payload (JSON, at most 1 MiB) as the system hands it over; - for standard input");
    auto* messageId = source->add_option("--message-id", options->messageId, "Message id");
    source->require_option(1);
    for (auto [name, field, what] :
         {std::tuple{"--title", &options->title, "Title (none: a silent message)"},
          std::tuple{"--subtitle", &options->subtitle, "Subtitle"},
          std::tuple{"--body", &options->body, "Body"},
          std::tuple{"--custom-data", &options->customData, "Custom data (a JSON object)"}}) {
        receive->add_option(name, *field, what)->needs(messageId);
    }
    receive->add_option("--fallback-address", options->fallbackAddress,
                        "Address to report with, unsigned, when no client id is saved");
    receive->callback([options, &context] {
        context.action = [options, &context] { return runReceive(context, *options); };
    });
}

// ---- read, content ----

struct MessageOptions {
    std::string id;
    std::string messageId;
};

std::shared_ptr<MessageOptions> addMessageOptions(CLI::App& command) {
    auto options = std::make_shared<MessageOptions>();
    command.add_option("--id", options->id, "Instance identifier")
        ->required()
        ->check(instanceName());
    command.add_option("--message-id", options->messageId, "Message id")->required();
    return options;
}

void addRead(CLI::App& app, CliContext& context) {
    auto* read = app.add_subcommand("read", "Open a message: set it read and report it");
    auto options = addMessageOptions(*read);
    read->callback([options, &context] {
        context.action = [options, &context] {
            const auto sdk = PushSDK::getInstance(options->id);
            return printResultOf(context, [&](ResultCompletion completion) {
                sdk->onMessageRead(options->messageId, std::move(completion));
            });
        };
    });
}

struct ContentAnswer {
    std::shared_ptr<ExtraContentProtocol> content;
    std::optional<BaseApiResult> failure;
    std::exception_ptr error;
};

// The content; exit 1 with the failure when the server gave none, "(none)" when it said so.
int runContent(const CliContext& context, const MessageOptions& options) {
    const auto sdk = PushSDK::getInstance(options.id);
    Awaited<ContentAnswer> awaited;
    sdk->getNotificationContent(
        options.messageId, [completion = awaited.completion()](
                               std::shared_ptr<ExtraContentProtocol> content,
                               std::optional<BaseApiResult> failure, std::exception_ptr error) {
            completion({std::move(content), std::move(failure), std::move(error)});
        });
    const auto answer = awaited.wait(context.timeout());
    if (!answer) {
        return completionTimedOut(context.out);
    }
    if (answer->error) {
        std::rethrow_exception(answer->error);
    }
    if (answer->failure) {
        auto object = resultObject(*answer->failure);
        object["content"] = nullptr;
        auto lines = resultLines(*answer->failure);
        lines.emplace_back("content: (none)");
        context.out.result(object, lines);
        return kExitError;
    }
    const auto& content = answer->content;
    if (!content) {
        context.out.result({{"content", nullptr}}, {"content: (none)"});
        return kExitSuccess;
    }
    context.out.result(
        {{"content",
          {{"mimeType", orNull(content->mimeType())},
           {"value", orNull(content->value())},
           {"messageId", orNull(content->messageId())}}}},
        {"mimeType: " + shown(content->mimeType()), "value: " + shown(content->value()),
         "messageId: " + shown(content->messageId())});
    return kExitSuccess;
}

void addContent(CLI::App& app, CliContext& context) {
    auto* content =
        app.add_subcommand("content", "Show a message's rich content (downloaded once, then kept)");
    auto options = addMessageOptions(*content);
    content->callback([options, &context] {
        context.action = [options, &context] { return runContent(context, *options); };
    });
}

// ---- messages, message, remove ----

Json messageObject(const MessageProtocol& message) {
    return {{"id", orNull(message.id())},
            {"title", orNull(message.title())},
            {"subtitle", orNull(message.subtitle())},
            {"body", orNull(message.body())},
            {"messageDate", dateOrNull(message.messageDate())},
            {"statusName", orNull(message.statusName())},
            {"statusDate", dateOrNull(message.statusDate())},
            {"channelName", orNull(message.channelName())},
            {"contentAvailable", message.contentAvailable()}};
}

std::string messageLine(const MessageProtocol& message) {
    return shown(message.id()) + "  " + shown(message.statusName()) + "  " +
           (message.messageDate() ? isoDate(*message.messageDate()) : "(no date)") + "  " +
           shown(message.title());
}

// The values VALUE may stand for: the text, and a whole number or a flag when it reads as one.
std::vector<PredicateValue> valuesOf(const std::string& value) {
    std::vector<PredicateValue> values{value};
    std::int64_t number = 0;
    if (const auto [end, error] =
            std::from_chars(value.data(), value.data() + value.size(), number);
        error == std::errc() && end == value.data() + value.size()) {
        values.emplace_back(number);
    }
    if (value == "true" || value == "false") {
        values.emplace_back(value == "true");
    }
    return values;
}

// `key == value` for the first of `values` that suits the key path.
std::optional<Predicate> equality(const std::string& key,
                                  const std::vector<PredicateValue>& values) {
    for (const auto& value : values) {
        try {
            return Predicate(key, Predicate::Operator::equalTo, value);
        } catch (const PredicateError&) {
            // Not a value of the key path's type: try the next reading.
        }
    }
    return std::nullopt;
}

// The key paths of a message that --where compares: those holding texts, numbers or flags.
std::vector<std::string> whereKeyPaths() {
    std::vector<std::string> keyPaths;
    for (auto& keyPath : Predicate::keyPaths(StorageMessageEntity::message)) {
        if (equality(keyPath, {std::string(), std::int64_t{0}, false})) {
            keyPaths.push_back(std::move(keyPath));
        }
    }
    return keyPaths;
}

std::string listed(const std::vector<std::string>& names) {
    std::string text;
    for (const auto& name : names) {
        text += (text.empty() ? "" : ", ") + name;
    }
    return text;
}

/// `KEY=VALUE` as a comparison: VALUE as text, or as a whole number or true/false for the key
/// paths that hold those. A key path it cannot compare is refused with the list of those it can.
Predicate wherePredicate(const std::string& condition) {
    const auto equals = condition.find('=');
    if (equals == std::string::npos || equals == 0) {
        throw UsageError("expected KEY=VALUE");
    }
    const std::string key = condition.substr(0, equals);
    const std::string value = condition.substr(equals + 1);
    if (auto predicate = equality(key, valuesOf(value))) {
        return *predicate;
    }
    const auto keyPaths = whereKeyPaths();
    if (std::find(keyPaths.begin(), keyPaths.end(), key) != keyPaths.end()) {
        throw UsageError("'" + value + "' is not a value that " + key + " holds");
    }
    const auto hint = didYouMean(nearestNames(key, keyPaths));
    throw UsageError("'" + key + "' is not a key path --where compares" +
                     (hint.empty() ? "" : " (" + hint + ")") + "; the key paths are " +
                     listed(keyPaths));
}

CLI::Validator whereCondition() {
    return CLI::Validator(
        [](std::string& condition) -> std::string {
            try {
                wherePredicate(condition);
                return {};
            } catch (const UsageError& error) {
                return error.what();
            }
        },
        "KEY=VALUE");
}

Predicate allOf(const std::vector<std::string>& conditions) {
    std::vector<Predicate> predicates;
    for (const auto& condition : conditions) {
        predicates.push_back(wherePredicate(condition));
    }
    return predicates.size() == 1 ? predicates.front() : Predicate::allOf(std::move(predicates));
}

struct ListOptions {
    std::string id;
    std::vector<std::string> where;
};

int runMessages(const CliContext& context, const ListOptions& options) {
    const auto sdk = PushSDK::getInstance(options.id);
    auto controller = options.where.empty() ? sdk->getFetchedResultsController()
                                            : sdk->getMessageByPredicate(allOf(options.where));
    if (!controller) {
        context.out.error("internal", "the message store cannot be read");
        return kExitInternal;
    }
    if (options.where.empty()) {
        controller->performFetch();
    }
    Json messages = Json::array();
    std::vector<std::string> lines;
    for (const auto& message : controller->fetchedObjects()) {
        messages.push_back(messageObject(*message));
        lines.push_back(messageLine(*message));
    }
    lines.push_back(std::to_string(messages.size()) + " message(s)");
    context.out.result({{"messages", messages}}, lines);
    return kExitSuccess;
}

void addMessages(CLI::App& app, CliContext& context) {
    auto options = std::make_shared<ListOptions>();
    auto* messages = app.add_subcommand("messages", "List the stored messages, oldest first");
    messages->add_option("--id", options->id, "Instance identifier")
        ->required()
        ->check(instanceName());
    messages->add_option("--where", options->where, "Only messages with KEY=VALUE (repeatable)")
        ->check(whereCondition());
    messages->callback([options, &context] {
        context.action = [options, &context] { return runMessages(context, *options); };
    });
}

int runMessage(const CliContext& context, const MessageOptions& options) {
    const auto sdk = PushSDK::getInstance(options.id);
    Awaited<std::shared_ptr<MessageProtocol>> awaited;
    sdk->getMessageById(options.messageId, awaited.completion());
    const auto answer = awaited.wait(context.timeout());
    if (!answer) {
        return completionTimedOut(context.out);
    }
    if (!*answer) {
        context.out.result({{"message", nullptr}}, {"message: (none)"});
        return kExitSuccess;
    }
    context.out.result({{"message", messageObject(**answer)}}, {messageLine(**answer)});
    return kExitSuccess;
}

void addMessage(CLI::App& app, CliContext& context) {
    auto* message = app.add_subcommand("message", "Show one stored message");
    auto options = addMessageOptions(*message);
    message->callback([options, &context] {
        context.action = [options, &context] { return runMessage(context, *options); };
    });
}

struct RemoveOptions {
    std::string id;
    bool all = false;
    std::optional<std::string> messageId;
    std::vector<std::string> where;
};

int runRemove(const CliContext& context, const RemoveOptions& options) {
    const auto sdk = PushSDK::getInstance(options.id);
    Awaited<std::optional<TextError>> awaited;
    if (options.all) {
        sdk->removeAllMessages(awaited.completion());
    } else if (options.messageId) {
        sdk->removeMessage(*options.messageId, awaited.completion());
    } else {
        sdk->removeMessages(allOf(options.where), awaited.completion());
    }
    const auto failure = awaited.wait(context.timeout());
    if (!failure) {
        return completionTimedOut(context.out);
    }
    if (*failure) {
        context.out.failure("storage", (*failure)->what(),
                            std::string("the messages were not removed: ") + (*failure)->what());
        return kExitError;
    }
    context.out.result({{"result", "success"}}, {"removed"});
    return kExitSuccess;
}

void addRemove(CLI::App& app, CliContext& context) {
    auto options = std::make_shared<RemoveOptions>();
    auto* remove = app.add_subcommand("remove", "Delete stored messages");
    remove->add_option("--id", options->id, "Instance identifier")
        ->required()
        ->check(instanceName());
    auto* which = remove->add_option_group("which", "The messages to delete");
    which->add_flag("--all", options->all, "Every message");
    which->add_option("--message-id", options->messageId, "The message with this id");
    which->add_option("--where", options->where, "Messages with KEY=VALUE (repeatable)")
        ->check(whereCondition());
    which->require_option(1);
    remove->callback([options, &context] {
        context.action = [options, &context] { return runRemove(context, *options); };
    });
}

}  // namespace

void addMessageCommands(CLI::App& app, CliContext& context) {
    addReceive(app, context);
    addRead(app, context);
    addContent(app, context);
    addMessages(app, context);
    addMessage(app, context);
    addRemove(app, context);
}

}  // namespace orvanpush::cli
