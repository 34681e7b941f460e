#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "orvanpush/logger/BasicLogConfiguration.h"
#include "orvanpush/logger/BufferedLogRecorder.h"
#include "orvanpush/logger/LogChannel.h"
#include "orvanpush/logger/LogReceptacle.h"
#include "orvanpush/logger/LogRecorderBase.h"
#include "platform/ProcessInfo.h"
#include "utils/logger/LogTestSupport.h"

namespace orvanpush {
namespace {

using testing::CountingFilter;
using testing::Event;
using testing::fixedFormatter;
using testing::makeEntry;
using testing::messageFormatter;
using testing::messageText;

// Notes every write as it happens (not on a queue of its own), so a test can tell whether the
// logging call waited for it.
class ProbeRecorder : public LogRecorderBase {
  public:
    struct Write {
        std::string message;
        bool synchronousMode;
        bool onOwnQueue;
    };

    ProbeRecorder() : LogRecorderBase({messageFormatter()}) {}

    void record(std::string_view message, const LogEntry&, platform::DispatchQueue& currentQueue,
                bool synchronousMode) override {
        if (gate) {
            gate->wait();
        }
        {
            std::lock_guard lock(mutex_);
            writes_.push_back({std::string(message), synchronousMode,
                               &currentQueue == queue().get() && currentQueue.isCurrent()});
        }
        if (onRecord) {
            onRecord(message);
        }
        written.notify();
    }

    std::vector<Write> writes() const {
        std::lock_guard lock(mutex_);
        return writes_;
    }

    Event* gate = nullptr;
    std::function<void(std::string_view)> onRecord;
    Event written;

  private:
    mutable std::mutex mutex_;
    std::vector<Write> writes_;
};

std::shared_ptr<BasicLogConfiguration> configuration(
    LogSeverity minimum, LogRecorders recorders, bool synchronous = false, LogFilters filters = {},
    std::optional<LogConfigurations> children = std::nullopt) {
    return std::make_shared<BasicLogConfiguration>(
        minimum, std::move(filters), std::move(recorders), synchronous, std::move(children));
}

std::shared_ptr<BufferedMessageRecorder> bufferedRecorder(LogFormatters formatters = {}) {
    if (formatters.empty()) {
        formatters.push_back(messageFormatter());
    }
    return std::make_shared<BufferedMessageRecorder>(std::move(formatters), 0);
}

// Waits until the accept queue has handed every entry on and the recorder has written them.
std::vector<std::string> recorded(LogReceptacle& receptacle,
                                  const BufferedMessageRecorder& recorder) {
    receptacle.acceptQueue()->waitUntilIdle();
    return recorder.buffer();
}

TEST(LogReceptacleTest, FlattensParentsFirstAndTakesTheLeastMinimum) {
    LogRecorders some{std::make_shared<LogRecorderBase>(LogFormatters{})};
    auto c1 = configuration(LogSeverity::info, some);
    auto c3 = configuration(LogSeverity::info, some);
    auto c2 = configuration(LogSeverity::info, some, false, {}, LogConfigurations{c3});
    auto parent = configuration(LogSeverity::trace, {}, false, {}, LogConfigurations{c1, c2});
    auto c4 = configuration(LogSeverity::error, some);
    auto q = configuration(LogSeverity::error, some, false, {}, LogConfigurations{c4});

    LogReceptacle receptacle({parent, q});

    LogConfigurations expected{c1, c2, c3, q, c4};
    EXPECT_EQ(receptacle.configuration(), expected);
    // The least minimum, where the recorder-less parent's trace does not count.
    EXPECT_EQ(receptacle.minimumSeverity(), LogSeverity::info);
    EXPECT_EQ(LogReceptacle({}).minimumSeverity(), LogSeverity::off);
}

TEST(LogReceptacleTest, EachConfigurationReceivesTheEntriesAtOrAboveItsMinimum) {
    auto everything = bufferedRecorder();
    auto errors = bufferedRecorder();
    auto receptacle = std::make_shared<LogReceptacle>(
        LogConfigurations{configuration(LogSeverity::trace, {everything}),
                          configuration(LogSeverity::error, {errors})});

    for (LogSeverity severity :
         {LogSeverity::trace, LogSeverity::info, LogSeverity::error, LogSeverity::off}) {
        receptacle->log(makeEntry(severity, toString(severity)));
    }

    EXPECT_EQ(recorded(*receptacle, *everything),
              (std::vector<std::string>{"trace", "info", "error", "off"}));
    EXPECT_EQ(recorded(*receptacle, *errors), (std::vector<std::string>{"error", "off"}));
}

TEST(LogReceptacleTest, FiltersStopAtTheFirstRefusal) {
    auto accept = std::make_shared<CountingFilter>(true);
    auto refuse = std::make_shared<CountingFilter>(false);
    auto never = std::make_shared<CountingFilter>(true);
    auto refused = bufferedRecorder();
    auto accepted = bufferedRecorder();
    auto receptacle = std::make_shared<LogReceptacle>(LogConfigurations{
        configuration(LogSeverity::trace, {refused}, false, {accept, refuse, never}),
        configuration(LogSeverity::trace, {accepted}, true, {accept})});

    receptacle->log(makeEntry(LogSeverity::info, "entry"));

    EXPECT_TRUE(recorded(*receptacle, *refused).empty());
    EXPECT_EQ(recorded(*receptacle, *accepted), std::vector<std::string>{"entry"});
    EXPECT_EQ(accept->asked, 2);
    EXPECT_EQ(refuse->asked, 1);
    EXPECT_EQ(never->asked, 0);
}

TEST(LogReceptacleTest, TheFirstFormatterWithTextDecidesWhatIsRecorded) {
    auto second = bufferedRecorder(
        {fixedFormatter(std::nullopt), fixedFormatter("second"), fixedFormatter("third")});
    auto silent = bufferedRecorder({fixedFormatter(std::nullopt), fixedFormatter(std::nullopt)});
    auto receptacle = std::make_shared<LogReceptacle>(
        LogConfigurations{configuration(LogSeverity::trace, {second, silent})});

    receptacle->log(makeEntry(LogSeverity::info, "entry"));

    EXPECT_EQ(recorded(*receptacle, *second), std::vector<std::string>{"second"});
    EXPECT_TRUE(recorded(*receptacle, *silent).empty());
}

TEST(LogReceptacleTest, AsynchronousConfigurationsDoNotMakeTheCallerWait) {
    Event gate;
    auto recorder = std::make_shared<ProbeRecorder>();
    recorder->gate = &gate;
    auto receptacle = std::make_shared<LogReceptacle>(
        LogConfigurations{configuration(LogSeverity::trace, {recorder})});

    receptacle->log(makeEntry(LogSeverity::info, "later"));
    EXPECT_TRUE(recorder->writes().empty());

    gate.notify();
    ASSERT_TRUE(recorder->written.wait());
    auto writes = recorder->writes();
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].message, "later");
    EXPECT_FALSE(writes[0].synchronousMode);
    EXPECT_TRUE(writes[0].onOwnQueue);
}

TEST(LogReceptacleTest, SynchronousConfigurationsHaveWrittenWhenTheCallReturns) {
    auto recorder = std::make_shared<ProbeRecorder>();
    auto receptacle = std::make_shared<LogReceptacle>(
        LogConfigurations{configuration(LogSeverity::trace, {recorder}, true)});

    receptacle->log(makeEntry(LogSeverity::info, "now"));

    auto writes = recorder->writes();
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].message, "now");
    EXPECT_TRUE(writes[0].synchronousMode);
    EXPECT_TRUE(writes[0].onOwnQueue);
}

// In a process of its own: should it deadlock, the stuck queues are left behind with it.
TEST(LogReceptacleTest, ARecorderMayLogSynchronouslyFromItsOwnQueue) {
    testing::inFreshProcess([] {
        auto recorder = std::make_shared<ProbeRecorder>();
        auto receptacle = std::make_shared<LogReceptacle>(
            LogConfigurations{configuration(LogSeverity::trace, {recorder}, true)});
        recorder->onRecord = [&receptacle](std::string_view message) {
            if (message == "outer") {
                receptacle->log(makeEntry(LogSeverity::error, "inner"));
            }
        };

        Event done;
        std::thread caller([&] {
            receptacle->log(makeEntry(LogSeverity::info, "outer"));
            done.notify();
        });
        if (!done.wait()) {
            caller.detach();
            static auto stuck = receptacle;
            FAIL() << "logging from inside a synchronous recorder deadlocked";
        }
        caller.join();
        auto writes = recorder->writes();
        ASSERT_EQ(writes.size(), 2u);
        EXPECT_EQ(writes[0].message, "outer");
        EXPECT_EQ(writes[1].message, "inner");
    });
}

TEST(LogReceptacleTest, QueuedEntriesOfAReceptacleThatIsGoneAreDropped) {
    auto recorder = bufferedRecorder();
    auto receptacle = std::make_shared<LogReceptacle>(
        LogConfigurations{configuration(LogSeverity::trace, {recorder})});
    auto acceptQueue = receptacle->acceptQueue();
    Event gate;
    acceptQueue->async([&gate] { gate.wait(); });

    receptacle->log(makeEntry(LogSeverity::info, "too late"));
    receptacle.reset();
    gate.notify();
    acceptQueue->waitUntilIdle();

    EXPECT_TRUE(recorder->buffer().empty());
}

class LogChannelTest : public ::testing::Test {
  protected:
    std::vector<LogEntry> entries() {
        receptacle->acceptQueue()->waitUntilIdle();
        return recorder->buffer();
    }

    std::shared_ptr<BufferedLogEntryRecorder> recorder = std::make_shared<BufferedLogEntryRecorder>(
        LogFormatters{messageFormatter(), fixedFormatter("other")});
    std::shared_ptr<LogReceptacle> receptacle = std::make_shared<LogReceptacle>(
        LogConfigurations{configuration(LogSeverity::trace, {recorder})});
};

TEST_F(LogChannelTest, CallsBecomeEntriesOfTheChannelsSeverityMadeAtTheCallSite) {
    const LogChannel channel(LogSeverity::info, receptacle);
    const auto before = std::chrono::system_clock::now();
    channel.message("hello", "subscribe()", "/src/sdk/Subscription.cpp", 12);
    const auto after = std::chrono::system_clock::now();
    channel.value(42);
    channel.value(std::nullopt, "f()", "/f.cpp", 1);
    channel.trace();

    auto logged = entries();
    ASSERT_EQ(logged.size(), 4u);
    const LogEntry& entry = logged[0];
    EXPECT_EQ(messageText(entry), "hello");
    EXPECT_EQ(entry.severity, LogSeverity::info);
    EXPECT_EQ(entry.context, std::nullopt);
    EXPECT_EQ(entry.loggerModule, LoggerModule::sdk);
    EXPECT_EQ(entry.callingFilePath, "/src/sdk/Subscription.cpp");
    EXPECT_EQ(entry.callingFileLine, 12);
    EXPECT_EQ(entry.callingStackFrame, "subscribe()");
    EXPECT_EQ(entry.callingThreadID, platform::ProcessInfo::threadNumber());
    EXPECT_LE(before, entry.timestamp);
    EXPECT_LE(entry.timestamp, after);

    const auto& value = std::get<LogEntry::Value>(logged[1].payload).value;
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(value->typeName(), "Int");
    EXPECT_FALSE(std::get<LogEntry::Value>(logged[2].payload).value.has_value());
    // The source-location forms record this very call site.
    EXPECT_TRUE(std::holds_alternative<LogEntry::Trace>(logged[3].payload));
    EXPECT_TRUE(logged[3].callingFilePath.ends_with("LogReceptacleTest.cpp"));
    EXPECT_NE(logged[3].callingStackFrame.find("TestBody"), std::string::npos);
}

}  // namespace
}  // namespace orvanpush
