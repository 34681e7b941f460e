#include "UsageErrors.h"

#include <optional>

#include "Remedies.h"

namespace orvanpush::cli {
namespace {

// What the arguments asked for: the command (the tool itself until one is named), and the
// first word that names nothing known.
struct Scan {
    const CLI::App* command = nullptr;
    std::optional<std::string> problem;
};

std::vector<std::string> longNames(const CLI::App& command) {
    std::vector<std::string> names;
    for (const auto* option : optionsOf(command)) {
        for (const auto& name : option->get_lnames()) {
            names.push_back("--" + name);
        }
    }
    return names;
}

const CLI::Option* findOption(const CLI::App& command, const std::string& name) {
    for (const auto* option : optionsOf(command)) {
        for (const auto& longName : option->get_lnames()) {
            if ("--" + longName == name) {
                return option;
            }
        }
    }
    return nullptr;
}

const CLI::App* findCommand(const CLI::App& app, const std::string& name) {
    for (const auto* command : commandsOf(app)) {
        if (command->get_name() == name) {
            return command;
        }
    }
    return nullptr;
}

std::string helpCommand(const CLI::App& app, const CLI::App& command) {
    return &command == &app ? "`orvanpush --help`"
                            : "`orvanpush " + command.get_name() + " --help`";
}

std::string unknownCommand(const CLI::App& app, const std::string& word) {
    std::vector<std::string> names;
    for (const auto* command : commandsOf(app)) {
        names.push_back(command->get_name());
    }
    const auto hint = didYouMean(nearestNames(word, names));
    return "unknown command '" + word + "': " + (hint.empty() ? "see `orvanpush --help`" : hint);
}

std::string unknownOption(const CLI::App& app, const CLI::App& command, const std::string& name) {
    const auto hint = didYouMean(nearestNames(name, longNames(command)));
    const std::string owner = &command == &app ? "" : " for '" + command.get_name() + "'";
    return "unknown option '" + name + "'" + owner + ": " +
           (hint.empty() ? "see " + helpCommand(app, command) : hint);
}

// Walks the arguments as CLI11 reads them: options (with their values) of the tool, then the
// command, then the command's options and operands.
Scan scan(const CLI::App& app, const std::vector<std::string>& arguments) {
    Scan found{&app, std::nullopt};
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const auto& argument = arguments[i];
        if (argument == "--") {
            break;
        }
        if (argument.starts_with("--")) {
            const auto equals = argument.find('=');
            const auto name = argument.substr(0, equals);
            const auto* option = findOption(*found.command, name);
            if (!option) {
                found.problem = unknownOption(app, *found.command, name);
                return found;
            }
            if (option->get_items_expected_max() > 0 && equals == std::string::npos) {
                ++i;  // its value
            }
        } else if (found.command == &app && !argument.starts_with('-')) {
            found.command = findCommand(app, argument);
            if (!found.command) {
                return {&app, unknownCommand(app, argument)};
            }
        }
    }
    return found;
}

}  // namespace

std::vector<const CLI::Option*> optionsOf(const CLI::App& command) {
    auto options = command.get_options();
    const auto groups =
        command.get_subcommands([](const CLI::App* group) { return group->get_name().empty(); });
    for (const auto* group : groups) {
        for (const auto* option : optionsOf(*group)) {
            if (option != group->get_help_ptr()) {
                options.push_back(option);
            }
        }
    }
    return options;
}

std::vector<const CLI::App*> commandsOf(const CLI::App& app) {
    return app.get_subcommands(
        [](const CLI::App* command) { return !command->get_name().empty(); });
}

std::string usageMessage(const CLI::App& app, const CLI::ParseError& error,
                         const std::vector<std::string>& arguments) {
    const auto found = scan(app, arguments);
    if (found.problem) {
        return *found.problem;
    }
    return std::string(error.what()) + " (see " + helpCommand(app, *found.command) + ")";
}

}  // namespace orvanpush::cli
