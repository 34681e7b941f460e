#include "DemoCommand.h"

#include <stdlib.h>

#include <cerrno>
#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>
#include <system_error>

#include "DemoSupport.h"
#include "DemoWalkThrough.h"
#include "ReferenceServer.h"
#include "orvanpush/PushSDK.h"
#include "orvanpush/platform/Console.h"
#include "orvanpush/platform/PlatformConfig.h"

namespace orvanpush::cli {
namespace {

// A home of the demo's own, so that it never touches the user's; removed at exit unless kept.
class TemporaryHome {
  public:
    explicit TemporaryHome(bool keep) : keep_(keep) {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "orvanpush-demo-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::system_error(errno, std::generic_category(), "cannot create a demo home");
        }
        path_ = pattern;
    }
    ~TemporaryHome() {
        if (!keep_) {
            std::error_code ignored;
            std::filesystem::remove_all(path_, ignored);
        }
    }
    TemporaryHome(const TemporaryHome&) = delete;
    TemporaryHome& operator=(const TemporaryHome&) = delete;

    const std::filesystem::path& path() const { return path_; }

  private:
    bool keep_;
    std::filesystem::path path_;
};

struct DemoOptions {
    bool keepHome = false;
    std::optional<std::filesystem::path> server;
};

// The demo talks to its server on 127.0.0.1 only: never through a proxy of the environment.
// Set before any request (and inherited by the extension processes).
void bypassProxiesForLoopback() {
    for (const char* name : {"no_proxy", "NO_PROXY"}) {
        const char* value = ::getenv(name);
        const std::string list =
            value && *value ? std::string(value) + ",127.0.0.1" : std::string("127.0.0.1");
        ::setenv(name, list.c_str(), 1);
    }
}

// A home the user names must be empty: the demo starts from nothing and removes nothing.
void requireEmptyHome(const std::filesystem::path& home) {
    std::error_code error;
    if (std::filesystem::exists(home, error) && !std::filesystem::is_empty(home, error)) {
        throw CLI::ValidationError("demo", "the home " + home.string() +
                                               " is not empty; leave out --home (and "
                                               "ORVANPUSH_HOME) for a temporary one");
    }
}

std::optional<std::string> refusedStep() {
    const char* step = ::getenv(DemoWalkThrough::kRefuseVariable);
    return step && *step ? std::optional<std::string>(step) : std::nullopt;
}

int runDemo(const CliContext& context, const DemoOptions& options) {
    if (!context.options.verbose) {
        // One line per step: the library's own console lines stay in its log files.
        platform::Console::sendTo(platform::Console::Destination::nowhere);
    }
    const auto home = platform::PlatformConfig::current()->home;
    DemoWalkThrough demo(context.out,
                         {home, ReferenceServer::locate(options.server), context.options.bundleId});
    const int code = demo.run(refusedStep());
    if (options.keepHome) {
        context.out.note("Kept the demo's home, with the server's request log: " + home.string());
        context.out.note("Next: orvanpush --home " + home.string() + " messages --id " +
                         demo::kInstance);
    } else if (code == kExitSuccess) {
        context.out.note(
            "Next: orvanpush demo --keep-home, then orvanpush --home <its home> "
            "messages --id " +
            std::string(demo::kInstance));
    }
    return code;
}

}  // namespace

void addVersionFlag(CLI::App& app) {
    app.set_version_flag("--version", "orvanpush " + PushSDK::OrvanPushSDKVersion());
}

void addDemoCommand(CLI::App& app, CliContext& context) {
    auto* demo = app.add_subcommand(
        "demo", std::string("Walk through the life of a device against a reference server of "
                            "its own (") +
                    DemoWalkThrough::kRefuseVariable + "=STEP makes the server refuse that step)");
    auto options = std::make_shared<DemoOptions>();
    demo->add_flag("--keep-home", options->keepHome,
                   "Leave the demo's home and the server's request log in place");
    demo->add_option("--server", options->server,
                     "The orvanpush-server program (default: next to this one, or in the build "
                     "tree's push-server directory)")
        ->check(CLI::ExistingFile);
    demo->callback([&context, options] {
        if (context.options.home) {
            requireEmptyHome(*context.options.home);
        } else {
            auto home = std::make_shared<TemporaryHome>(options->keepHome);
            context.options.home = home->path().string();
            context.scratch = home;
        }
        bypassProxiesForLoopback();
        context.action = [&context, options] { return runDemo(context, *options); };
    });
}

}  // namespace orvanpush::cli
