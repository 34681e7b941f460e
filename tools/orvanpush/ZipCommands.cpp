#include "ZipCommands.h"

#include <unistd.h>

#include <cmath>
#include <iostream>
#include <memory>
#include <string>

#include "orvanpush/zip/ZipError.h"
#include "orvanpush/zip/ZipItem.h"

namespace orvanpush::cli {
namespace {

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
            zip::zipItem(options.source, options.destination, true, method, progress);
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
    zip->add_option("DEST", options->destination, "Archive to create; it must not exist")
        ->required();
    zip->add_flag("--store", options->store, "Store the entries instead of deflating them");
    zip->callback([options, &context] {
        context.action = [options, &context] { return runZip(*options, context.out); };
    });
}

}  // namespace orvanpush::cli
