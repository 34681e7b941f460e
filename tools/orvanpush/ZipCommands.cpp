#include "ZipCommands.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>

#include "orvanpush/zip/ArchiveError.h"
#include "orvanpush/zip/ZipItem.h"
#include "platform/ProcessInfo.h"

namespace orvanpush::cli {
namespace {

namespace fs = std::filesystem;

struct ZipOptions {
    std::string source;
    std::string destination;
    bool store = false;
};

/// A bar on standard error, redrawn when the whole percentage changes.
class ProgressBar {
  public:
    explicit ProgressBar(zip::Progress& progress) {
        progress.setObserver([this](const zip::Progress& p) { draw(p.fractionCompleted()); });
    }
    ~ProgressBar() {
        if (percent_ >= 0) {
            std::cerr << '\n';
        }
    }
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    /// Shows the whole bar: an operation of no units (an empty file) never reports a fraction.
    void finish() { draw(1.0); }

  private:
    static constexpr int kWidth = 40;

    void draw(double fraction) {
        const int percent = static_cast<int>(std::floor(fraction * 100));
        if (percent == percent_) {
            return;
        }
        percent_ = percent;
        const int filled = percent * kWidth / 100;
        std::cerr << "\r[" << std::string(filled, '#') << std::string(kWidth - filled, ' ') << "] "
                  << percent << "%" << std::flush;
    }

    int percent_ = -1;
};

// `text` with every `from` replaced by `to`.
std::string replaced(std::string text, const std::string& from, const std::string& to) {
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// Gives the finished archive the destination's name unless something took it meanwhile.
void moveIntoPlace(const fs::path& temporary, const fs::path& destination) {
    if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, destination.c_str(), RENAME_NOREPLACE) ==
        0) {
        return;
    }
    // A file system that cannot rename without replacing can still link without replacing.
    const bool linked = errno == EINVAL && ::link(temporary.c_str(), destination.c_str()) == 0;
    const int error = errno;
    std::error_code ignored;
    fs::remove(temporary, ignored);
    if (!linked) {
        if (error == EEXIST) {
            throw zip::FileError(zip::FileError::Kind::fileWriteFileExists, destination);
        }
        throw zip::ArchiveError(zip::ArchiveError::Kind::unwritableArchive,
                                destination.string() + ": " + std::strerror(error));
    }
}

// Writes the archive under a temporary name beside `destination` and renames it once it is
// complete, so a run that is killed leaves no broken archive where the archive should be.
void zipInto(const fs::path& source, const fs::path& destination, zip::CompressionMethod method,
             const std::shared_ptr<zip::Progress>& progress) {
    if (fs::symlink_status(destination).type() != fs::file_type::not_found) {
        throw zip::FileError(zip::FileError::Kind::fileWriteFileExists, destination);
    }
    if (!destination.has_filename()) {
        throw zip::ArchiveError(zip::ArchiveError::Kind::unwritableArchive,
                                destination.string() + " names no file");
    }
    const fs::path temporary =
        destination.parent_path() /
        ("." + destination.filename().string() + "." + platform::makeUuid() + ".partial");
    try {
        zip::zipItem(source, temporary, true, method, progress);
    } catch (const zip::ZipError& error) {
        throw zip::ZipError(replaced(error.what(), temporary.string(), destination.string()));
    }
    moveIntoPlace(temporary, destination);
}

int runZip(const ZipOptions& options, const Output& out) {
    const auto method =
        options.store ? zip::CompressionMethod::none : zip::CompressionMethod::deflate;
    std::string failure;
    {
        std::shared_ptr<zip::Progress> progress;
        std::unique_ptr<ProgressBar> bar;
        if (::isatty(STDERR_FILENO) == 1) {
            progress = std::make_shared<zip::Progress>();
            bar = std::make_unique<ProgressBar>(*progress);
        }
        try {
            zipInto(options.source, options.destination, method, progress);
            if (bar) {
                bar->finish();
            }
        } catch (const zip::ZipError& error) {
            failure = error.what();
        }
    }
    if (!failure.empty()) {
        out.failure(
            "zip", failure,
            "cannot pack " + options.source + " into " + options.destination + ": " + failure);
        return kExitError;
    }
    out.result({{"result", "success"}},
               {"Zipped " + options.source + " into " + options.destination});
    return kExitSuccess;
}

}  // namespace

void addZipCommands(CLI::App& app, CliContext& context) {
    auto options = std::make_shared<ZipOptions>();
    auto* zip = app.add_subcommand("zip", "Pack a file or directory into a new ZIP archive");
    zip->add_option("SOURCE", options->source, "File or directory to pack")->required();
    zip->add_option("DEST", options->destination,
                    "Archive to create; it must not exist (written under a temporary name first)")
        ->required();
    zip->add_flag("--store", options->store, "Store the entries instead of deflating them");
    zip->callback([options, &context] {
        context.action = [options, &context] { return runZip(*options, context.out); };
    });
}

}  // namespace orvanpush::cli
