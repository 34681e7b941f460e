#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "orvanpush/logger/BufferedLogRecorder.h"
#include "orvanpush/logger/FileLogRecorder.h"
#include "orvanpush/logger/OSLogRecorder.h"
#include "orvanpush/logger/OutputStreamLogRecorder.h"
#include "orvanpush/logger/StandardStreamsLogRecorder.h"
#include "utils/logger/LogTestSupport.h"

namespace orvanpush {
namespace {

using testing::fixedFormatter;
using testing::makeEntry;
using testing::messageFormatter;
using testing::TempDirectory;

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream contents;
    contents << in.rdbuf();
    return contents.str();
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// A stream into a file of a temporary directory, read back through the file.
class CapturedStream {
  public:
    explicit CapturedStream(const std::string& name)
        : path_(directory_.path() / name), file_(std::fopen(path_.c_str(), "w")) {}
    std::FILE* get() const { return file_.get(); }
    std::string contents() const {
        std::fflush(file_.get());
        return onDisk();
    }
    /// What reached the file, without flushing the stream.
    std::string onDisk() const { return readFile(path_); }

  private:
    TempDirectory directory_;
    std::filesystem::path path_;
    File file_;
};

// Calls `record` on the recorder's queue, as the receptacle does.
void recordOnQueue(LogRecorder& recorder, std::string_view message, const LogEntry& entry,
                   bool synchronousMode = false) {
    recorder.queue()->sync(
        [&] { recorder.record(message, entry, *recorder.queue(), synchronousMode); });
}

TEST(OutputStreamLogRecorderTest, EndsEachMessageWithExactlyOneLineEnd) {
    CapturedStream stream("out");
    OutputStreamLogRecorder recorder(stream.get(), {});
    const auto entry = makeEntry(LogSeverity::info, "unused");

    recordOnQueue(recorder, "ends in a line feed\n", entry);
    recordOnQueue(recorder, "ends in a letter", entry);
    recordOnQueue(recorder, "", entry);
    recordOnQueue(recorder, "ends in a return\r", entry);

    EXPECT_EQ(stream.contents(), "ends in a line feed\nends in a letter\n\nends in a return\r");

    // A waiting caller finds the bytes in the file, not in the stream's buffer.
    recordOnQueue(recorder, "flushed", entry, true);
    EXPECT_EQ(stream.onDisk(),
              "ends in a line feed\nends in a letter\n\nends in a return\rflushed\n");
}

TEST(StandardStreamsLogRecorderTest, SendsErrorsToStandardErrorAndTheRestToStandardOutput) {
    CapturedStream out("out");
    CapturedStream err("err");
    StandardStreamsLogRecorder recorder(out.get(), err.get(), {messageFormatter()});

    for (LogSeverity severity : allLogSeverities) {
        recordOnQueue(recorder, toString(severity), makeEntry(severity, "unused"));
    }

    EXPECT_EQ(out.contents(), "info\ntrace\n");
    EXPECT_EQ(err.contents(), "off\nerror\n");
    EXPECT_EQ(recorder.standardOutput()->queue(), recorder.queue());
    EXPECT_EQ(recorder.standardError()->queue(), recorder.queue());
    EXPECT_EQ(recorder.standardError()->formatters(), recorder.formatters());
}

class FileLogRecorderTest : public ::testing::Test {
  protected:
    std::shared_ptr<FileLogRecorder> open(LogFormatters formatters = {messageFormatter()}) {
        return FileLogRecorder::open(path.string(), std::move(formatters));
    }

    TempDirectory directory;
    std::filesystem::path path = directory.path() / "file.log";
};

TEST_F(FileLogRecorderTest, CannotBeOpenedInAMissingDirectory) {
    EXPECT_EQ(FileLogRecorder::open((directory.path() / "missing" / "file.log").string(),
                                    {messageFormatter()}),
              nullptr);
    EXPECT_FALSE(std::filesystem::exists(directory.path() / "missing"));
}

TEST_F(FileLogRecorderTest, AppendsTheFirstFormattersTextToAPrivateFileAndFlushesEach) {
    std::ofstream(path) << "kept\n";
    auto recorder = open({fixedFormatter("first"), fixedFormatter("second")});
    ASSERT_NE(recorder, nullptr);
    recordOnQueue(*recorder, "the message is not written", makeEntry(LogSeverity::info, "x"));
    auto silent = FileLogRecorder::open(path.string(),
                                        {fixedFormatter(std::nullopt), fixedFormatter("second")});
    recordOnQueue(*silent, "", makeEntry(LogSeverity::info, "x"));
    // Read while both are still open.
    EXPECT_EQ(readFile(path), "kept\nfirst\n");

    ASSERT_NE(FileLogRecorder::open((directory.path() / "new.log").string(), {}), nullptr);
    struct stat info {};
    ASSERT_EQ(stat((directory.path() / "new.log").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(FileLogRecorderTest, LineBreaksInsideAnEntryAreEscapedSoOneEntryIsOneLine) {
    auto recorder = open();
    ASSERT_NE(recorder, nullptr);
    const auto forged = makeEntry(LogSeverity::info,
                                  "user=a\n2023-11-05 14:03:27+0300;Error;;SDK Instance;forged\r");
    recordOnQueue(*recorder, "", forged);
    recordOnQueue(*recorder, "text ends in a line feed\n",
                  makeEntry(LogSeverity::info, "text ends in a line feed\n"));

    EXPECT_EQ(readFile(path),
              "user=a\\n2023-11-05 14:03:27+0300;Error;;SDK Instance;forged\\r\n"
              "text ends in a line feed\\n\n");
}

TEST(BufferedLogRecorderTest, KeepsOnlyTheNewestItemsBeyondTheLimit) {
    BufferedMessageRecorder limited({}, 2);
    BufferedMessageRecorder unlimited({}, 0);
    for (const char* message : {"one", "two", "three"}) {
        recordOnQueue(limited, message, makeEntry(LogSeverity::info, "x"));
        recordOnQueue(unlimited, message, makeEntry(LogSeverity::info, "x"));
    }

    EXPECT_EQ(limited.buffer(), (std::vector<std::string>{"two", "three"}));
    EXPECT_EQ(unlimited.buffer(), (std::vector<std::string>{"one", "two", "three"}));
    limited.clear();
    EXPECT_TRUE(limited.buffer().empty());
}

TEST(OSLogRecorderTest, TranslatesSeveritiesToSystemLogTypes) {
    using Kind = OSLogTypeTranslator::Kind;
    for (Kind kind : {Kind::default_, Kind::strict, Kind::relaxed}) {
        const OSLogTypeTranslator translator(kind);
        EXPECT_EQ(translator.logType(makeEntry(LogSeverity::error, "")), OSLogType::error);
        EXPECT_EQ(translator.logType(makeEntry(LogSeverity::info, "")), OSLogType::info);
        EXPECT_EQ(translator.logType(makeEntry(LogSeverity::trace, "")), OSLogType::default_);
        EXPECT_EQ(translator.logType(makeEntry(LogSeverity::off, "")), OSLogType::default_);
    }
    const auto error = makeEntry(LogSeverity::error, "");
    EXPECT_EQ(OSLogTypeTranslator(Kind::allAsDefault).logType(error), OSLogType::default_);
    EXPECT_EQ(OSLogTypeTranslator(Kind::allAsDebug).logType(error), OSLogType::debug);
    EXPECT_EQ(OSLogTypeTranslator::function([](const LogEntry&) {
                  return OSLogType::fault;
              }).logType(error),
              OSLogType::fault);
    EXPECT_TRUE(OSLogRecorder::isAvailable());
    EXPECT_EQ(OSLogRecorder({}).subsystem(), "orvanpush.tests");
}

}  // namespace
}  // namespace orvanpush
