// The upload of the SDK's log files, end to end against the reference server: today's files
// zipped and posted as the server's form, the answers and the logging control they carry, and
// what is never sent.

#include "utils/LoggingUtils.h"

#include <sys/stat.h>

#include <fstream>
#include <set>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ReferenceServer.h"
#include "api/LogServerService.h"
#include "orvanpush/BuildInfo.h"
#include "orvanpush/logger/RotatingLogFileRecorder.h"
#include "platform/Base64.h"
#include "platform/FileSystem.h"
#include "support/OneCompletion.h"
#include "utils/logger/log_manager/LogManager.h"
#include "utils/logger/log_manager/LogSettings.h"
#include "utils/logger/log_manager/SdkVersion.h"

namespace orvanpush::detail {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using cli::ReferenceServer;
using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;
using Outcomes = std::vector<LogUploadOutcome>;

std::string readText(const fs::path& path) {
    return platform::FileSystem::readFile(path).value_or("");
}

// The line of `text` that holds `needle`.
std::string lineWith(const std::string& text, const std::string& needle) {
    const auto at = std::min(text.find(needle), text.size());
    const auto first = text.rfind('\n', at) + 1;  // 0 on the first line
    return text.substr(first, text.find('\n', at) - first);
}

// Files other than today's are gone when each test starts, so this also writes new ones.
void appendText(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::app) << text;
}

// Starts an upload with a completion and waits for it: it must come exactly once, on a thread
// other than the caller's.
template <typename Value>
Value waitFor(const std::function<void(std::function<void(Value)>)>& upload) {
    testing::OneCompletion<Value> answer;
    upload(answer.completion());
    auto value = answer.wait().value_or(Value{});
    EXPECT_NE(answer.thread(), std::this_thread::get_id());
    return value;
}

class LoggingUtilsTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { server_ = std::make_unique<ReferenceServer>(ORVANPUSH_SERVER); }
    static void TearDownTestSuite() { server_.reset(); }

    void SetUp() override {
        server_->reset();
        // Today's log file stays: the SDK's recorder keeps it open.
        platform::FileSystem::createDirectories(*LogManager::logDirectory());
        for (const auto& entry : LogManager::getLogFiles()) {
            if (entry.filename() != today()) {
                platform::FileSystem::removeItem(entry);
            }
        }
        LogSettings::setSendLogs("1");
        LogSettings::setLogLevel("info");
        settings_ = SettingsUtils::sharedAccessGroupInstance("uploads");
        settings_->set(Setting::LogServerProtocolType, "http");
        settings_->set(Setting::LogServerAddress, "127.0.0.1");
        settings_->set(Setting::LogServerPort, std::to_string(server_->port()));
        // Leading and trailing "/" of the context never double the path's "/".
        settings_->set(Setting::LogServerContext, "/logs/");
        settings_->set(ClientSetting::ClientId, "client-1");
        settings_->set(ClientSetting::DeviceId, "device-1");
        utils_ = std::make_shared<LoggingUtils>("uploads", settings_);
    }

    static fs::path inLogs(const std::string& name) { return *LogManager::logDirectory() / name; }
    static std::string today() {
        return RotatingLogFileRecorder::logFilename(std::chrono::system_clock::now());
    }
    // The date part of today's log file name.
    static std::string todaysMark() { return today().substr(0, 10); }

    Outcomes uploadAll() {
        return waitFor<Outcomes>([&](auto done) { utils_->uploadLogFiles(done); });
    }
    LogUploadOutcome upload(const std::optional<fs::path>& file) {
        return waitFor<LogUploadOutcome>([&](auto done) { utils_->uploadLogFile(file, done); });
    }
    static Json uploads() {
        return server_->admin("GET", "requests?path=%2Flogs%2FsaveLogFile")["requests"];
    }
    static void answerNextUpload(const Json& body) {
        server_->admin("POST", "faults",
                       Json{{"path", "/logs/saveLogFile"}, {"kind", "answer"}, {"body", body}});
    }

    static std::unique_ptr<ReferenceServer> server_;
    std::shared_ptr<SettingsUtils> settings_;
    std::shared_ptr<LoggingUtils> utils_;
};

std::unique_ptr<ReferenceServer> LoggingUtilsTest::server_;

TEST_F(LoggingUtilsTest, PostsEachOfTodaysLogFilesZippedAsTheServersForm) {
    const std::string other = todaysMark() + "-other.LOG";
    appendText(inLogs(today()), std::string(5000, 'a') + "\n");
    appendText(inLogs(other), "other\n");
    appendText(inLogs("2001-01-01-orvanpush.tests.log"), "an earlier day\n");
    appendText(inLogs(today() + ".zip"), "an archive of an earlier call");

    const auto outcomes = uploadAll();

    const Outcomes expected{{inLogs(today() + ".zip").string(), true, std::nullopt},
                            {inLogs(other + ".zip").string(), true, std::nullopt}};
    ASSERT_EQ(outcomes, expected);
    EXPECT_FALSE(fs::exists(inLogs("2001-01-01-orvanpush.tests.log.zip")));
    // The body is the form byte for byte around the boundary and the archive's bytes (the only
    // check of the form's bytes).
    const auto formOf = [](const std::string& b, const fs::path& archive) {
        const std::string name = archive.filename().string();
        const std::string head = "\r\n--" + b + "\r\nContent-Disposition: form-data; name=";
        const std::string utf8 = "\r\nContent-Type: text/plain; charset=utf-8\r\n\r\n";
        return platform::base64Encode(
            head + "\"client\"" + utf8 + "client-1" + head + "\"device\"" + utf8 + "device-1" +
            head + "\"filename\"" + utf8 + name + head + "\"logfile\";filename=\"" + name +
            "\"\r\nContent-Type: text/plain\r\n\r\n" + readText(archive) + "\r\n--" + b + "--\r\n");
    };
    // The two uploads run side by side: the server may log them in either order.
    const Json requests = uploads();
    ASSERT_EQ(requests.size(), 2u);
    std::set<std::string> sent;
    for (const Json& record : requests) {
        EXPECT_EQ(record["outcome"], "applied") << record["problems"];
        const std::string headers = record["headers"].dump();
        EXPECT_EQ(headers.find("Authorization"), std::string::npos) << headers;
        const std::string boundary = headers.substr(headers.find("boundary=") + 9, 36);
        for (const auto& outcome : outcomes) {
            if (record["bodyBase64"] == formOf(boundary, outcome.file)) {
                sent.insert(outcome.file);
            }
        }
    }
    EXPECT_EQ(sent.size(), 2u);
    std::vector<std::string> zipped;
    const Json archives = server_->admin("GET", "archives")["archives"];
    for (const Json& archive : archives) {
        zipped.push_back(archive["entries"][0]["name"]);
    }
    EXPECT_THAT(zipped, UnorderedElementsAre(today(), other));
    for (const auto& outcome : outcomes) {
        EXPECT_EQ(std::system(("unzip -tq '" + outcome.file + "' >/dev/null").c_str()), 0);
    }
    // Each outcome is recorded in the day's log file, at the place log readers know.
    EXPECT_THAT(
        lineWith(readText(inLogs(today())), "\"" + outcomes[0].file + "\" successfully"),
        AllOf(HasSubstr(";Info;"), HasSubstr(";;SDK Instance;File \"" + outcomes[0].file +
                                             "\" successfully sent [LoggingUtils.cpp:187]")));
}

// Two uploads at once (a second request to send the logs, or another process of the
// application): each sends a whole archive of the day's file, never one the other is writing.
TEST_F(LoggingUtilsTest, UploadsAtTheSameTimeEachSendAWholeArchive) {
    constexpr int kRounds = 10;
    appendText(inLogs(today()), std::string(1 << 20, 'a') + "\n");
    for (int round = 0; round < kRounds; ++round) {
        Outcomes others;
        std::thread other([&] { others = uploadAll(); });
        const Outcomes outcomes = uploadAll();
        other.join();
        for (const auto& outcome : {outcomes, others}) {
            ASSERT_EQ(outcome.size(), 1u);
            EXPECT_TRUE(outcome[0].sent) << outcome[0].description.value_or("");
        }
    }
    const Json archives = server_->admin("GET", "archives")["archives"];
    EXPECT_EQ(archives.size(), 2u * kRounds);
    for (const Json& archive : archives) {
        EXPECT_EQ(archive["entries"].size(), 1u);
    }
}

struct AnswerCase {
    Json answer;
    bool sent;
    std::optional<std::string> description;
    std::string levelAfter;
};

// How each answer decodes is UploadLogsResultTest's; here, what reaches the outcome and the
// settings.
TEST_F(LoggingUtilsTest, ReportsEachAnswerAndAppliesItsControl) {
    const Json control{{"log-level", "TRACE"},
                       {"send-logs", "1"},
                       {"vendor", Json::array()},
                       {"ios-sdk-version", {sdkVersion()}},
                       {"android-sdk-version", Json::array()}};
    Json withoutVendor = control;
    withoutVendor.erase("vendor");
    const std::string unknown = "Invalid data in answer: unknown status \"done\"";
    const std::string noControl = "SDK Logging Control null!";
    const std::vector<AnswerCase> cases{
        {{{"status", "ERROR"}, {"description", "disk full"}}, false, "disk full", "info"},
        {{{"status", "error"}, {"description", 5}}, false, std::nullopt, "info"},
        {{{"status", "done"}, {"sdk-logging-control", control}}, false, unknown, "trace"},
        {{{"status", "success"}, {"sdk-logging-control", withoutVendor}}, true, noControl, "info"},
    };
    const fs::path archive = inLogs("answers.log");
    appendText(archive, "line\n");
    ASSERT_TRUE(LoggingUtils::zipFile(archive, inLogs("answers.log.zip")));
    for (const auto& c : cases) {
        LogSettings::setLogLevel("info");
        answerNextUpload(c.answer);
        const auto outcome = upload(inLogs("answers.log.zip"));

        EXPECT_EQ(std::tuple(outcome.sent, outcome.description, LogSettings::logLevel(),
                             LogSettings::get("_log_level")),
                  std::tuple(c.sent, c.description, c.levelAfter, std::optional(c.levelAfter)))
            << c.answer;
    }
    // A failure is recorded as an error entry, without a description as "no description".
    EXPECT_THAT(
        lineWith(readText(inLogs(today())), "no description"),
        AllOf(HasSubstr(";Error;"), HasSubstr("\" not sent. Description: \"no description\" "
                                              "[LoggingUtils.cpp:187]")));
}

TEST_F(LoggingUtilsTest, SendsNothingWhenSwitchedOffNorABrokenOrMissingArchiveNorWithoutAServer) {
    appendText(inLogs(today()), "line\n");
    for (const auto& [sendLogs, level] :
         std::vector<std::pair<std::string, std::string>>{{"0", "trace"}, {"1", "off"}}) {
        LogSettings::setSendLogs(sendLogs);
        LogSettings::setLogLevel(level);
        EXPECT_THAT(uploadAll(), IsEmpty());
    }
    EXPECT_FALSE(fs::exists(inLogs(today() + ".zip")));
    LogSettings::setLogLevel("info");

    // A file that cannot be read is reported, and no request goes out.
    const fs::path missing = inLogs(todaysMark() + "-gone.log.zip");
    const auto outcome = upload(missing);
    EXPECT_EQ(outcome, (LogUploadOutcome{missing.string(), false,
                                         "Can not get data from file: " + missing.string()}));
    EXPECT_THAT(uploads(), IsEmpty());

    // Without a file only the ids go: the server refuses the form.
    const auto noFile = upload(std::nullopt);
    EXPECT_EQ(std::pair(noFile.file, noFile.sent), std::pair(std::string("No path"), false));
    EXPECT_EQ(uploads().size(), 1u);

    // A "log file" the writer cannot read: its zip fails and leaves no archive to send.
    const fs::path fifo = inLogs(todaysMark() + "-spool.log");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto outcomes = uploadAll();
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_EQ(outcomes[0].file, inLogs(today() + ".zip").string());
    EXPECT_FALSE(fs::exists(fifo.string() + ".zip"));

    // Settings naming no log server give the built-in one, unless it is only a placeholder, in
    // which case nothing is sent anywhere; so does an upload object without settings.
    LoggingUtils bare("defaults", SettingsUtils::sharedAccessGroupInstance("defaults"));
    LoggingUtils withoutSettings("none", nullptr);
    const auto failure = [&](LoggingUtils& utils) {
        EXPECT_EQ(utils.logServerService(), nullptr);
        const auto outcome = waitFor<LogUploadOutcome>(
            [&](auto done) { utils.uploadLogFile(inLogs("x.zip"), done); });
        EXPECT_EQ(std::pair(outcome.file, outcome.sent),
                  std::pair(inLogs("x.zip").string(), false));
        return outcome.description;
    };
    if (kDefaultLogServerIsPlaceholder) {
        EXPECT_EQ(failure(bare), LogUploadOutcome::noLogServer);
    } else {
        EXPECT_EQ(bare.logServerService()->baseAddress(),
                  std::string("https://") + kDefaultLogServerHost + ":443");
    }
    EXPECT_EQ(failure(withoutSettings), "Log Server Service not initialized");
}

TEST(LogManagerUtilsTest, IsReplacedWhileOtherThreadsUseIt) {
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        while (!stop) {
            if (auto utils = LogManager::utils()) {
                EXPECT_THAT(utils->identifier(), HasSubstr("instance-"));
            }
        }
    });
    for (int i = 0; i < 500; ++i) {
        LogManager::setupUtils("instance-" + std::to_string(i), nullptr);
    }
    stop = true;
    reader.join();
    EXPECT_EQ(LogManager::utils()->identifier(), "instance-499");
}

}  // namespace
}  // namespace orvanpush::detail
