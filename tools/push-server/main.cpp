// orvanpush-server: the reference push and log server, on loopback only.
//
// Prints the port it listens on as the first line of standard output, then serves until SIGTERM
// or SIGINT (or, with --stop-at-end-of-input, until its standard input ends), and exits 0.

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>
#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdio>
#include <exception>
#include <iostream>
#include <thread>

#include "PushServer.h"

namespace {

using orvanpush::server::PushServer;
using orvanpush::server::ServerOptions;

// A context path without surrounding "/", as the client builds its base address.
std::string contextPath(std::string text) {
    while (text.starts_with('/')) {
        text.erase(0, 1);
    }
    while (text.ends_with('/')) {
        text.pop_back();
    }
    return text;
}

std::string checkContext(const std::string& text) {
    const std::string context = contextPath(text);
    if (context == "_admin" || context.starts_with("_admin/")) {
        return "the context must not be \"_admin\": the admin API lives there";
    }
    if (context.find_first_of("?#% \t\r\n") != std::string::npos) {
        return "the context must be a plain path";
    }
    return {};
}

sigset_t stopSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    return signals;
}

// Waits for a stop signal, or with `watchInput` also for the end of standard input: a parent
// that holds the other end of the pipe and dies (a crashed test) then takes the server with it.
void awaitStop(const sigset_t& signals, bool watchInput) {
    const int signalDescriptor = watchInput ? signalfd(-1, &signals, SFD_CLOEXEC) : -1;
    if (signalDescriptor < 0) {
        int received = 0;
        sigwait(&signals, &received);
        return;
    }
    pollfd watched[] = {{signalDescriptor, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
    for (;;) {
        if (poll(watched, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        if (watched[0].revents != 0) {
            break;
        }
        char discarded[256];
        if (watched[1].revents != 0 && read(STDIN_FILENO, discarded, sizeof discarded) <= 0) {
            break;
        }
    }
    close(signalDescriptor);
}

}  // namespace

int main(int argc, char** argv) {
    ServerOptions options;
    CLI::App app(
        "The reference push and log server of OrvanPushSDK, for tests and the demo. "
        "It listens on 127.0.0.1 only and prints its port on the first line.",
        "orvanpush-server");
    app.add_option("--port", options.port, "Port to listen on; 0 picks a free one")
        ->capture_default_str()
        ->check(CLI::Range(0, 65535));
    app.add_option("--login", options.login, "Basic login the push endpoints expect")
        ->capture_default_str();
    app.add_option("--password", options.password, "Basic password the push endpoints expect")
        ->capture_default_str();
    app.add_option("--api-version", options.apiVersion,
                   "Version token expected at the end of the Content-Type")
        ->capture_default_str();
    app.add_option("--context", options.context,
                   "Path below which the push endpoints live (e.g. api: /api/subscribe)")
        ->check(checkContext);
    app.add_option("--log-context", options.logContext,
                   "Path below which the log upload lives (e.g. logs: /logs/saveLogFile)")
        ->check(checkContext);
    app.add_option("--request-log", options.requestLogPath,
                   "Also append every logged request to FILE, one JSON object a line");
    app.add_option("--keep-requests", options.keptRequests,
                   "How many of the latest requests the request log keeps in memory")
        ->capture_default_str()
        ->check(CLI::PositiveNumber);
    app.add_option("--threads", options.threads, "Worker threads serving connections")
        ->capture_default_str()
        ->check(CLI::Range(2, 256));
    bool stopAtEndOfInput = false;
    app.add_flag("--stop-at-end-of-input", stopAtEndOfInput,
                 "Also stop when standard input ends (for a parent that may die without stopping "
                 "the server)");
    app.set_version_flag("--version", std::string("orvanpush-server ") + ORVANPUSH_VERSION);
    CLI11_PARSE(app, argc, argv);
    options.context = contextPath(options.context);
    options.logContext = contextPath(options.logContext);

    // Every thread started from here on inherits the blocked stop signals; one thread waits for
    // them, so a signal never interrupts a request half served.
    const sigset_t signals = stopSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    signal(SIGPIPE, SIG_IGN);  // a client that hangs up makes a write fail, not the process end

    try {
        PushServer server(options);
        const int port = server.bind();
        std::cout << port << std::endl;
        std::thread signalWaiter([&server, signals, stopAtEndOfInput] {
            awaitStop(signals, stopAtEndOfInput);
            server.stop();
        });
        const bool served = server.serve();
        kill(getpid(), SIGTERM);  // wakes the waiter if the server stopped on its own
        signalWaiter.join();
        return served ? 0 : 1;
    } catch (const std::exception& error) {
        std::cerr << "orvanpush-server: " << error.what() << std::endl;
        return 1;
    }
}
