#include "CompletionCommand.h"

#include <iostream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "UsageErrors.h"

namespace orvanpush::cli {
namespace {

// Options whose value is a file or a directory: the shell completes paths after them.
const std::set<std::string> kPathOptions{"--home", "--ca-file", "--payload", "--password-file"};

struct Words {
    std::vector<std::string> flags;   ///< options without a value
    std::vector<std::string> valued;  ///< options that take a value
};

Words wordsOf(const CLI::App& command) {
    Words words;
    for (const auto* option : optionsOf(command)) {
        for (const auto& name : option->get_lnames()) {
            (option->get_items_expected_max() > 0 ? words.valued : words.flags)
                .push_back("--" + name);
        }
    }
    return words;
}

std::string joined(const std::vector<std::string>& words, const char* separator) {
    std::string text;
    for (const auto& word : words) {
        text += (text.empty() ? "" : separator) + word;
    }
    return text;
}

std::string allOf(const Words& words) {
    auto all = words.flags;
    all.insert(all.end(), words.valued.begin(), words.valued.end());
    return joined(all, " ");
}

// The bash function: the command is the first word that is neither an option of the tool nor
// its value; the words offered are the command's options (the tool's options and the commands
// before one), and paths after an option that takes one and for operands.
std::string bashScript(const CLI::App& app) {
    const auto globals = wordsOf(app);
    std::vector<std::string> commandNames;
    std::string cases;
    std::set<std::string> pathOptions;
    for (const auto* command : commandsOf(app)) {
        commandNames.push_back(command->get_name());
        const auto words = wordsOf(*command);
        cases += "        " + command->get_name() + ") words=\"" + allOf(words) + "\" ;;\n";
        for (const auto& option : words.valued) {
            if (kPathOptions.contains(option)) {
                pathOptions.insert(option);
            }
        }
    }
    for (const auto& option : globals.valued) {
        if (kPathOptions.contains(option)) {
            pathOptions.insert(option);
        }
    }
    const std::vector<std::string> paths(pathOptions.begin(), pathOptions.end());
    return "# bash completion for orvanpush, made by `orvanpush completion bash`\n"
           "_orvanpush() {\n"
           "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
           "    local command= words i\n"
           "    for ((i = 1; i < COMP_CWORD; i++)); do\n"
           "        case ${COMP_WORDS[i]} in\n"
           "        " +
           joined(globals.valued, "|") +
           ") ((i++)) ;;\n"
           "        -*) ;;\n"
           "        *) command=${COMP_WORDS[i]}; break ;;\n"
           "        esac\n"
           "    done\n"
           "    case $prev in\n"
           "    " +
           joined(paths, "|") +
           ")\n"
           "        COMPREPLY=($(compgen -f -- \"$cur\")); return ;;\n"
           "    esac\n"
           "    case $command in\n"
           "        '') words=\"" +
           allOf(globals) + " " + joined(commandNames, " ") + "\" ;;\n" + cases +
           "    esac\n"
           "    if [[ -n $command && $cur != -* ]]; then\n"
           "        COMPREPLY=($(compgen -f -- \"$cur\"))\n"
           "    else\n"
           "        COMPREPLY=($(compgen -W \"$words\" -- \"$cur\"))\n"
           "    fi\n"
           "}\n"
           "complete -F _orvanpush orvanpush\n";
}

}  // namespace

void addCompletionCommand(CLI::App& app, CliContext& context) {
    auto shell = std::make_shared<std::string>();
    auto* completion = app.add_subcommand(
        "completion", "Print a completion script for the shell (bash), made from these commands");
    completion->add_option("SHELL", *shell, "The shell: bash")
        ->required()
        ->check(CLI::IsMember({"bash"}));
    // The option writes into `shell`, which lives as long as the command does.
    completion->callback([&app, &context, shell] {
        context.action = [&app] {
            std::cout << bashScript(app) << std::flush;
            return static_cast<int>(kExitSuccess);
        };
    });
}

}  // namespace orvanpush::cli
