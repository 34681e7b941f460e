#include "PasswordSource.h"

#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>

#include <CLI/CLI.hpp>

namespace orvanpush::cli {
namespace {

// A password file holds one line; anything longer is not one.
constexpr std::size_t kMaxPasswordFileBytes = 64 * 1024;

std::string withoutNewline(std::string text) {
    if (text.ends_with('\n')) {
        text.pop_back();
        if (text.ends_with('\r')) {
            text.pop_back();
        }
    }
    return text;
}

std::string passwordFromFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::string text(kMaxPasswordFileBytes + 1, '\0');
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (!file.is_open() || file.bad()) {
        throw CLI::ValidationError("--password-file", "cannot read " + path);
    }
    text.resize(static_cast<std::size_t>(file.gcount()));
    if (text.size() > kMaxPasswordFileBytes) {
        throw CLI::ValidationError("--password-file", path + " is longer than a password (" +
                                                          std::to_string(kMaxPasswordFileBytes) +
                                                          " bytes at most)");
    }
    return withoutNewline(std::move(text));
}

// Echo off on the terminal for the life of the object.
class EchoOff {
  public:
    EchoOff() : active_(tcgetattr(STDIN_FILENO, &saved_) == 0) {
        if (active_) {
            termios silent = saved_;
            silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
            tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
        }
    }
    ~EchoOff() {
        if (active_) {
            tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_);
        }
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

  private:
    termios saved_{};
    bool active_;
};

std::string typedPassword() {
    std::cerr << "Password: " << std::flush;
    std::string line;
    {
        EchoOff echoOff;
        std::getline(std::cin, line);
    }
    std::cerr << std::endl;
    return line;
}

}  // namespace

std::string initPassword(const std::optional<std::string>& option,
                         const std::optional<std::string>& file) {
    if (option) {
        return *option;
    }
    if (file) {
        return passwordFromFile(*file);
    }
    if (const char* variable = std::getenv(kPasswordVariable)) {
        return variable;
    }
    if (isatty(STDIN_FILENO) == 0) {
        throw CLI::ValidationError("--password",
                                   "a password is needed: give --password-file FILE or set " +
                                       std::string(kPasswordVariable) +
                                       " (standard input is no terminal "
                                       "to type it on)");
    }
    return typedPassword();
}

}  // namespace orvanpush::cli
