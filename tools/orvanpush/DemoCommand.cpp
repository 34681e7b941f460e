#include "DemoCommand.h"

#include "orvanpush/BuildInfo.h"

namespace orvanpush::cli {

void addVersionFlag(CLI::App& app) {
    app.set_version_flag("--version", std::string("orvanpush ") + detail::kShortVersion + "." +
                                          detail::kBuildNumber);
}

void addDemoCommand(CLI::App& app, CliContext& context) {
    auto* demo = app.add_subcommand("demo", "Walk through what the library does");
    demo->callback([&context] {
        context.action = [&context] {
            context.out.note("demo: nothing to show yet");
            return kExitSuccess;
        };
    });
}

}  // namespace orvanpush::cli
