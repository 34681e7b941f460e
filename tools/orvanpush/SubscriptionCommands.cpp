#include "SubscriptionCommands.h"

#include <cctype>
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

#include "CommandSupport.h"
#include "Validators.h"
#include "orvanpush/PushSDK.h"

namespace orvanpush::cli {
namespace {

using namespace std::chrono;

// Seconds between 1970-01-01 and 2001-01-01, the epoch of the server's dates.
constexpr double kReferenceDateOffset = 978307200.0;

struct Identity {
    std::string id;
};

struct SubscribeOptions : Identity {
    std::string clientId;
    std::string token;
    std::optional<std::string> deviceId;
};

struct UnsubscribeOptions : Identity {
    std::optional<std::string> note;
};

struct TokenOptions : Identity {
    std::string token;
};

struct SubscriberOptions : Identity {
    std::optional<std::string> deviceId;
};

struct UpdateSubscriberOptions : Identity {
    std::optional<std::string> address;
    std::vector<std::string> attributes;
};

struct HistoryOptions : Identity {
    std::string from;
    std::optional<std::string> to;
    std::int64_t amount = 0;
    std::optional<std::string> requestId;
    std::optional<std::string> deviceId;
};

// The completion did not come within --timeout.
struct CompletionTimeout : std::runtime_error {
    CompletionTimeout()
        : std::runtime_error("the request's completion did not arrive within the time-out") {}
};

// Starts an operation and waits for its completion within the command's time-out.
template <typename R, typename Start>
std::optional<R> await(const CliContext& context, const Start& start) {
    Awaited<std::optional<R>> awaited;
    start(awaited.completion());
    auto result = awaited.wait(context.timeout());
    if (!result) {
        throw CompletionTimeout();
    }
    return *result;
}

// The wire keys of a result record and its lines for a person.
struct Printed {
    Json object;
    std::vector<std::string> lines;
};

Printed printedResult(const std::optional<BaseApiResult>& result) {
    if (!result) {
        return {noResult(), {"result: (none)"}};
    }
    return {resultObject(*result), resultLines(*result)};
}

int report(const Output& out, const std::optional<BaseApiResult>& result) {
    const auto printed = printedResult(result);
    out.result(printed.object, printed.lines);
    return exitCodeOf(result);
}

int reportSubscribers(const Output& out, const std::optional<SubscriberGetResult>& result) {
    auto printed = printedResult(result);
    if (result && result->getElements()) {
        Json elements = Json::array();
        for (const auto& element : *result->getElements()) {
            printed.lines.push_back("subscriber: " + element.getAddress() + " (" +
                                    shown(element.getOsType()) + " " +
                                    shown(element.getOsVersion()) + ")");
            Json attributes = Json::object();
            for (const auto& [key, value] :
                 element.getAttributes().value_or(SubscriberDataElement::Attributes{})) {
                attributes[key] = orNull(value);
                printed.lines.push_back("  " + key + " = " + shown(value));
            }
            elements.push_back({{"address", element.getAddress()},
                                {"osType", orNull(element.getOsType())},
                                {"osVersion", orNull(element.getOsVersion())},
                                {"attributes", attributes}});
        }
        printed.object["elements"] = elements;
    }
    out.result(printed.object, printed.lines);
    return exitCodeOf(result);
}

int reportHistory(const Output& out, const std::optional<StatisticsResult>& result) {
    auto printed = printedResult(result);
    if (result && result->getMessages()) {
        Json messages = Json::array();
        for (const auto& message : *result->getMessages()) {
            const double seconds = duration<double>(message.getDate().time_since_epoch()).count() -
                                   kReferenceDateOffset;
            messages.push_back({{"messageId", message.getMessageId()},
                                {"date", seconds},
                                {"title", orNull(message.getTitle())},
                                {"text", orNull(message.getText())}});
            printed.lines.push_back("message: " + message.getMessageId() + " at " +
                                    isoDate(message.getDate()) + ": " + shown(message.getTitle()) +
                                    " / " + shown(message.getText()));
        }
        printed.object["messages"] = messages;
    }
    out.result(printed.object, printed.lines);
    return exitCodeOf(result);
}

// Reads a date's text from left to right.
class Cursor {
  public:
    explicit Cursor(std::string_view text) : text_(text) {}

    /// `count` digits making a number up to `max`.
    bool number(std::size_t count, int max, int& value) {
        if (position_ + count > text_.size()) {
            return false;
        }
        value = 0;
        for (std::size_t i = 0; i < count; ++i) {
            const char c = text_[position_ + i];
            if (c < '0' || c > '9') {
                return false;
            }
            value = value * 10 + (c - '0');
        }
        position_ += count;
        return value <= max;
    }

    /// The digits of a fraction, as a number of seconds; false without any digit.
    bool fraction(double& seconds) {
        seconds = 0;
        double scale = 0.1;
        const auto start = position_;
        while (position_ < text_.size() &&
               std::isdigit(static_cast<unsigned char>(text_[position_]))) {
            seconds += (text_[position_++] - '0') * scale;
            scale /= 10;
        }
        return position_ > start;
    }

    bool literal(char c) {
        if (position_ < text_.size() && text_[position_] == c) {
            ++position_;
            return true;
        }
        return false;
    }

    bool atEnd() const { return position_ == text_.size(); }

  private:
    std::string_view text_;
    std::size_t position_ = 0;
};

// An ISO 8601 date: `YYYY-MM-DD` (midnight UTC) or `YYYY-MM-DDTHH:MM:SS[.fraction]` followed by
// `Z` or an offset `±HH:MM`. Nothing for any other text.
std::optional<Date> parseIsoDate(std::string_view text) {
    Cursor at(text);
    int year = 0;
    int month = 0;
    int day = 0;
    if (!at.number(4, 9999, year) || !at.literal('-') || !at.number(2, 12, month) ||
        !at.literal('-') || !at.number(2, 31, day)) {
        return std::nullopt;
    }
    const year_month_day date{std::chrono::year(year), std::chrono::month(month),
                              std::chrono::day(day)};
    if (!date.ok()) {
        return std::nullopt;
    }
    Date time = time_point_cast<system_clock::duration>(sys_days(date));
    if (at.atEnd()) {
        return time;
    }
    int hour = 0;
    int minute = 0;
    int second = 0;
    if (!at.literal('T') || !at.number(2, 23, hour) || !at.literal(':') ||
        !at.number(2, 59, minute) || !at.literal(':') || !at.number(2, 59, second)) {
        return std::nullopt;
    }
    time += hours(hour) + minutes(minute) + seconds(second);
    double fraction = 0;
    if (at.literal('.')) {
        if (!at.fraction(fraction)) {
            return std::nullopt;
        }
        time += duration_cast<system_clock::duration>(duration<double>(fraction));
    }
    if (at.literal('Z')) {
        return at.atEnd() ? std::optional(time) : std::nullopt;
    }
    const bool ahead = at.literal('+');
    int offsetHours = 0;
    int offsetMinutes = 0;
    if ((!ahead && !at.literal('-')) || !at.number(2, 23, offsetHours) || !at.literal(':') ||
        !at.number(2, 59, offsetMinutes) || !at.atEnd()) {
        return std::nullopt;
    }
    const auto offset = hours(offsetHours) + minutes(offsetMinutes);
    return ahead ? time - offset : time + offset;
}

// KEY=VALUE pairs, each key once.
std::map<std::string, std::string> attributesOf(const std::vector<std::string>& pairs) {
    std::map<std::string, std::string> attributes;
    for (const auto& pair : pairs) {
        const auto equals = pair.find('=');
        attributes[pair.substr(0, equals)] = pair.substr(equals + 1);
    }
    return attributes;
}

CLI::Validator attributeValidator() {
    return CLI::Validator(
        [](std::string& pair) {
            const auto equals = pair.find('=');
            return equals == std::string::npos || equals == 0
                       ? std::string("expected KEY=VALUE with a non-empty KEY")
                       : std::string();
        },
        "KEY=VALUE");
}

CLI::Validator dateValidator() {
    return CLI::Validator(
        [](std::string& text) {
            return parseIsoDate(text) ? std::string()
                                      : "expected an ISO 8601 date such as 2024-03-01 or "
                                        "2024-03-01T12:00:00+03:00";
        },
        "DATE");
}

void addIdOption(CLI::App& command, Identity& identity) {
    command.add_option("--id", identity.id, "Instance identifier")
        ->required()
        ->check(instanceName());
}

// Registers `name`, whose callback makes `run` the tool's action once `check` (which may throw
// CLI::ValidationError, a usage error) accepts the options.
template <typename Options, typename Run>
CLI::App* addCommand(CLI::App& app, CliContext& context, const char* name, const char* description,
                     std::shared_ptr<Options> options, Run run,
                     std::type_identity_t<std::function<void(const Options&)>> check = nullptr) {
    auto* command = app.add_subcommand(name, description);
    addIdOption(*command, *options);
    command->callback([options, run, check, &context] {
        if (check) {
            check(*options);
        }
        context.action = [options, run, &context] {
            try {
                return run(*options, PushSDK::getInstance(options->id), context);
            } catch (const CompletionTimeout& timeout) {
                context.out.error("timeout", timeout.what());
                return static_cast<int>(kExitInternal);
            }
        };
    });
    return command;
}

void addSubscribe(CLI::App& app, CliContext& context) {
    auto options = std::make_shared<SubscribeOptions>();
    auto* command = addCommand(
        app, context, "subscribe", "Register the device with the push server", options,
        [](const SubscribeOptions& o, const std::shared_ptr<PushSDK>& sdk,
           const CliContext& context) {
            return report(context.out, await<BaseApiResult>(context, [&](auto done) {
                              sdk->subscribe(o.deviceId, o.clientId, o.token, std::nullopt, done);
                          }));
        });
    command->add_option("--client-id", options->clientId, "Client id")->required();
    command->add_option("--token", options->token, "Push token")->required();
    command->add_option("--device-id", options->deviceId, "Device id");
}

void addUnsubscribe(CLI::App& app, CliContext& context) {
    auto options = std::make_shared<UnsubscribeOptions>();
    auto* command =
        addCommand(app, context, "unsubscribe", "Remove the device's registration", options,
                   [](const UnsubscribeOptions& o, const std::shared_ptr<PushSDK>& sdk,
                      const CliContext& context) {
                       return report(context.out, await<BaseApiResult>(context, [&](auto done) {
                                         sdk->unsubscribe(o.note, std::nullopt, done);
                                     }));
                   });
    command->add_option("--note", options->note, "Free text sent with the request");
}

void addUpdateToken(CLI::App& app, CliContext& context) {
    auto options = std::make_shared<TokenOptions>();
    auto* command = addCommand(
        app, context, "update-token", "Register the saved address again with a new push token",
        options,
        [](const TokenOptions& o, const std::shared_ptr<PushSDK>& sdk, const CliContext& context) {
            return report(context.out, await<BaseApiResult>(context, [&](auto done) {
                              sdk->updateSubscription(o.token, std::nullopt, done);
                          }));
        });
    command->add_option("--token", options->token, "New push token")->required();
}

void addSubscriber(CLI::App& app, CliContext& context) {
    auto options = std::make_shared<SubscriberOptions>();
    auto* command = addCommand(
        app, context, "subscriber", "Show the server's records of a device of this client", options,
        [](const SubscriberOptions& o, const std::shared_ptr<PushSDK>& sdk,
           const CliContext& context) {
            return reportSubscribers(context.out,
                                     await<SubscriberGetResult>(context, [&](auto done) {
                                         sdk->getSubscriberData(o.deviceId, std::nullopt, done);
                                     }));
        });
    command->add_option("--device-id", options->deviceId,
                        "Device to ask about (default: the client id alone)");
}

void addUpdateSubscriber(CLI::App& app, CliContext& context) {
    auto options = std::make_shared<UpdateSubscriberOptions>();
    auto* command = addCommand(
        app, context, "update-subscriber", "Set the subscriber's shown address and attributes",
        options,
        [](const UpdateSubscriberOptions& o, const std::shared_ptr<PushSDK>& sdk,
           const CliContext& context) {
            return report(context.out, await<BaseApiResult>(context, [&](auto done) {
                              sdk->updateSubscriber(o.address, attributesOf(o.attributes),
                                                    std::nullopt, done);
                          }));
        },
        [](const UpdateSubscriberOptions& o) {
            if (attributesOf(o.attributes).size() != o.attributes.size()) {
                throw CLI::ValidationError("--attr", "each KEY may be given once");
            }
        });
    command->add_option("--address", options->address, "Shown address (default: the own one)");
    command->add_option("--attr", options->attributes, "An attribute, KEY=VALUE (repeatable)")
        ->check(attributeValidator());
}

void addHistory(CLI::App& app, CliContext& context) {
    auto options = std::make_shared<HistoryOptions>();
    auto* command = addCommand(
        app, context, "history", "Show the messages sent to a device of this client", options,
        [](const HistoryOptions& o, const std::shared_ptr<PushSDK>& sdk,
           const CliContext& context) {
            const auto from = *parseIsoDate(o.from);
            const auto to = o.to ? parseIsoDate(*o.to) : std::nullopt;
            return reportHistory(context.out, await<StatisticsResult>(context, [&](auto done) {
                                     sdk->getMessages(o.deviceId, o.requestId, o.amount, from, to,
                                                      std::nullopt, done);
                                 }));
        });
    command->add_option("--from", options->from, "Earliest date (ISO 8601)")
        ->required()
        ->check(dateValidator());
    command->add_option("--to", options->to, "Latest date (ISO 8601; default: no end)")
        ->check(dateValidator());
    command->add_option("--amount", options->amount, "Most messages to show (0: all)")
        ->check(wholeNumber(0, std::numeric_limits<std::int64_t>::max()))
        ->capture_default_str();
    command->add_option("--request-id", options->requestId, "Only the messages of this request");
    command->add_option("--device-id", options->deviceId,
                        "Device to ask about (default: the own address)");
}

}  // namespace

void addSubscriptionCommands(CLI::App& app, CliContext& context) {
    addSubscribe(app, context);
    addUnsubscribe(app, context);
    addUpdateToken(app, context);
    addSubscriber(app, context);
    addUpdateSubscriber(app, context);
    addHistory(app, context);
}

}  // namespace orvanpush::cli
