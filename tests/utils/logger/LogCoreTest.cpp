// Severities, values, the receptacle, channels and the process-wide channels. Those can be
// enabled only once, so each enabling case runs in a process of its own.

#include <bitset>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

#include "orvanpush/logger/BasicLogConfiguration.h"
#include "orvanpush/logger/BufferedLogRecorder.h"
#include "orvanpush/logger/Log.h"
#include "orvanpush/logger/LogReceptacle.h"
#include "orvanpush/logger/LogRecorderBase.h"
#include "orvanpush/logger/LogSeverityFilter.h"
#include "orvanpush/logger/LogValue.h"
#include "orvanpush/logger/PayloadLogFormatter.h"
#include "platform/ProcessInfo.h"
#include "utils/logger/FunctionName.h"
#include "utils/logger/LogTestSupport.h"

namespace orvanpush {
namespace {

using namespace testing;
using Lines = std::vector<std::string>;

std::shared_ptr<BasicLogConfiguration> configuration(
    LogSeverity minimum, LogRecorders recorders, bool synchronous = false, LogFilters filters = {},
    std::optional<LogConfigurations> children = std::nullopt) {
    return std::make_shared<BasicLogConfiguration>(
        minimum, std::move(filters), std::move(recorders), synchronous, std::move(children));
}

std::shared_ptr<BufferedMessageRecorder> bufferedRecorder(LogFormatters formatters = {
                                                              messageFormatter()}) {
    return std::make_shared<BufferedMessageRecorder>(std::move(formatters), 0);
}

std::shared_ptr<LogReceptacle> receptacleWith(LogSeverity minimum, LogRecorderPtr recorder) {
    return LogReceptacle::create(LogConfigurations{configuration(minimum, {recorder})});
}

// What `recorder` holds once `receptacle` has handed every entry on.
template <class Recorder>
auto recorded(LogReceptacle& receptacle, const Recorder& recorder) {
    receptacle.acceptQueue()->waitUntilIdle();
    return recorder.buffer();
}

// Notes every write as it happens and how it was made ("text sync", "text async", with
// " elsewhere" when it ran off the recorder's queue), so a test can tell whether the logging
// call waited for it.
class ProbeRecorder : public LogRecorderBase {
  public:
    ProbeRecorder() : LogRecorderBase({messageFormatter()}) {}

    void record(std::string_view message, const LogEntry&, platform::DispatchQueue& currentQueue,
                bool synchronousMode) override {
        const bool onOwnQueue = &currentQueue == queue().get() && currentQueue.isCurrent();
        std::unique_lock lock(mutex_);
        writes_.push_back(std::string(message) + (synchronousMode ? " sync" : " async") +
                          (onOwnQueue ? "" : " elsewhere"));
        lock.unlock();
        if (onRecord) {
            onRecord(message);
        }
    }

    Lines writes() const {
        std::lock_guard lock(mutex_);
        return writes_;
    }

    std::function<void(std::string_view)> onRecord;

  private:
    mutable std::mutex mutex_;
    Lines writes_;
};

// Importance runs against the declaration order, so every comparison is checked.
TEST(LogSeverityTest, OrderedByImportanceAsTheFilterAppliesAndNamedByExactRawValues) {
    const std::vector<LogSeverity> ascending{LogSeverity::trace, LogSeverity::info,
                                             LogSeverity::error, LogSeverity::off};
    for (std::size_t i = 0; i < ascending.size(); ++i) {
        EXPECT_EQ(logSeverityFromRawValue(toString(ascending[i])), ascending[i]);
        const LogSeverityFilter minimum(ascending[i]);
        for (std::size_t j = 0; j < ascending.size(); ++j) {
            EXPECT_EQ(ascending[i] < ascending[j], i < j);
            EXPECT_EQ(ascending[i] >= ascending[j], i >= j);
            EXPECT_EQ(minimum.shouldRecord(makeEntry(ascending[j], "")), j >= i);
        }
    }
    EXPECT_EQ(toString(LogSeverity::error), "error");
    for (const char* text : {"warning", "ERROR", "Info", "", " off"}) {
        EXPECT_EQ(logSeverityFromRawValue(text), std::nullopt) << text;
    }
}

struct Opaque {};

TEST(LogValueTest, NamesAndDescribesValuesAsTheLogFilesShowThem) {
    const std::pair<LogValue, std::pair<const char*, const char*>> cases[] = {
        {LogValue(20.0), {"Double", "20.0"}},
        {LogValue(0.25), {"Double", "0.25"}},
        {LogValue(true), {"Bool", "true"}},
        {LogValue(-3), {"Int", "-3"}},
        // Only signed integers are Int and only double is Double; characters, unsigned
        // integers and float go by their C++ names.
        {LogValue('a'), {"char", "\"a\""}},
        {LogValue(3u), {"unsigned int", "3"}},
        {LogValue(std::bitset<3>(5)), {"std::bitset<3ul>", "101"}},  // its operator<<
        {LogValue(std::string()), {"String", "\"\""}},
    };
    for (const auto& [value, expected] : cases) {
        EXPECT_EQ(std::pair(value.typeName(), value.text()),
                  std::pair(std::string(expected.first), std::string(expected.second)));
    }
    EXPECT_NE(LogValue(Opaque{}).text().find("Opaque"), std::string::npos);
    // Text is escaped by the one rule of printed values: nothing raw breaks a line or reaches a
    // console as a control sequence.
    EXPECT_EQ(LogValue(std::string("say \"hi\" it's\\\n\r\t\0\x1b[31m\x7f", 24)).text(),
              R"("say \"hi\" it\'s\\\n\r\t\0\u{1b}[31m\u{7f}")");
}

TEST(LogReceptacleTest, FlattensParentsFirstAndTakesTheLeastMinimum) {
    LogRecorders some{std::make_shared<LogRecorderBase>(LogFormatters{})};
    auto c1 = configuration(LogSeverity::info, some);
    auto c3 = configuration(LogSeverity::info, some);
    auto c2 = configuration(LogSeverity::info, some, false, {}, LogConfigurations{c3});
    auto parent = configuration(LogSeverity::trace, {}, false, {}, LogConfigurations{c1, c2});
    auto c4 = configuration(LogSeverity::error, some);
    auto q = configuration(LogSeverity::error, some, false, {}, LogConfigurations{c4});

    const auto receptacle = LogReceptacle::create({parent, q});

    EXPECT_EQ(receptacle->configuration(), (LogConfigurations{c1, c2, c3, q, c4}));
    // The least minimum, where the recorder-less parent's trace does not count.
    EXPECT_EQ(receptacle->minimumSeverity(), LogSeverity::info);
    EXPECT_EQ(LogReceptacle::create({})->minimumSeverity(), LogSeverity::off);
}

// Each configuration gets the entries at or above its minimum that all its filters accept (the
// first refusal ends the asking), recorded as the first formatter's text that there is.
TEST(LogReceptacleTest, MinimumsFiltersAndFormattersDecideWhatEachRecorderGets) {
    auto errors = bufferedRecorder();
    auto accept = std::make_shared<CountingFilter>(true);
    auto refuse = std::make_shared<CountingFilter>(false);
    auto never = std::make_shared<CountingFilter>(true);
    auto refused = bufferedRecorder();
    auto accepted = bufferedRecorder();
    auto second = bufferedRecorder(
        {fixedFormatter(std::nullopt), fixedFormatter("second"), fixedFormatter("third")});
    auto silent = bufferedRecorder({fixedFormatter(std::nullopt), fixedFormatter(std::nullopt)});
    auto receptacle = LogReceptacle::create(LogConfigurations{
        configuration(LogSeverity::error, {errors}),
        configuration(LogSeverity::trace, {refused}, false, {accept, refuse, never}),
        configuration(LogSeverity::trace, {accepted}, true, {accept}),
        configuration(LogSeverity::trace, {second, silent})});

    for (LogSeverity severity :
         {LogSeverity::trace, LogSeverity::info, LogSeverity::error, LogSeverity::off}) {
        receptacle->log(makeEntry(severity, toString(severity)));
    }

    EXPECT_EQ(recorded(*receptacle, *errors), (Lines{"error", "off"}));
    EXPECT_TRUE(recorded(*receptacle, *refused).empty());
    EXPECT_EQ(recorded(*receptacle, *accepted), (Lines{"trace", "info", "error", "off"}));
    EXPECT_EQ(accept->asked, 8);
    EXPECT_EQ(refuse->asked, 4);
    EXPECT_EQ(never->asked, 0);
    EXPECT_EQ(recorded(*receptacle, *second), Lines(4, "second"));
    EXPECT_TRUE(recorded(*receptacle, *silent).empty());
}

TEST(LogReceptacleTest, OnlySynchronousConfigurationsMakeTheCallerWaitForTheWrite) {
    auto later = std::make_shared<ProbeRecorder>();
    auto now = std::make_shared<ProbeRecorder>();
    auto receptacle =
        LogReceptacle::create(LogConfigurations{configuration(LogSeverity::trace, {later}),
                                                configuration(LogSeverity::trace, {now}, true)});
    Event gate;
    later->queue()->async([&gate] { gate.wait(); });  // holds the asynchronous write back

    receptacle->log(makeEntry(LogSeverity::info, "entry"));
    EXPECT_TRUE(later->writes().empty());
    EXPECT_EQ(now->writes(), Lines{"entry sync"});

    gate.notify();
    receptacle->acceptQueue()->waitUntilIdle();
    later->queue()->waitUntilIdle();
    EXPECT_EQ(later->writes(), Lines{"entry async"});
}

// Queued work holds its receptacle weakly, so a receptacle not owned by a shared_ptr would drop
// every entry: only `create` makes one.
static_assert(!std::is_constructible_v<LogReceptacle, const LogConfigurations&>);

TEST(LogReceptacleTest, QueuedEntriesOfAReceptacleThatIsGoneAreDropped) {
    auto recorder = bufferedRecorder();
    auto receptacle = receptacleWith(LogSeverity::trace, recorder);
    const auto acceptQueue = receptacle->acceptQueue();
    Event gate;
    acceptQueue->async([&gate] { gate.wait(); });

    receptacle->log(makeEntry(LogSeverity::info, "too late"));
    receptacle.reset();
    gate.notify();
    acceptQueue->waitUntilIdle();
    recorder->queue()->waitUntilIdle();

    EXPECT_TRUE(recorder->buffer().empty());
}

// In a process of its own: should it deadlock, the stuck queues are left behind with it.
TEST(LogReceptacleTest, ARecorderMayLogSynchronouslyFromItsOwnQueue) {
    inFreshProcess([] {
        auto recorder = std::make_shared<ProbeRecorder>();
        auto receptacle = LogReceptacle::create(
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
        EXPECT_EQ(recorder->writes(), (Lines{"outer sync", "inner sync"}));
    });
}

TEST(LogChannelTest, CallsBecomeEntriesOfTheChannelsSeverityMadeAtTheCallSite) {
    auto recorder = std::make_shared<BufferedLogEntryRecorder>(
        LogFormatters{std::make_shared<PayloadLogFormatter>()}, 0);
    auto receptacle = receptacleWith(LogSeverity::trace, recorder);
    const LogChannel channel(LogSeverity::info, receptacle);
    channel.message("hello", "subscribe()", "/src/sdk/Subscription.cpp", 12);
    channel.trace();

    auto logged = recorded(*receptacle, *recorder);
    ASSERT_EQ(logged.size(), 2u);
    const LogEntry& entry = logged[0];
    EXPECT_EQ(std::get<LogEntry::Message>(entry.payload).text, "hello");
    EXPECT_EQ(std::tuple(entry.severity, entry.callingFilePath, entry.callingFileLine,
                         entry.callingStackFrame, entry.callingThreadID, entry.processName,
                         entry.processID),
              std::tuple(LogSeverity::info, "/src/sdk/Subscription.cpp", 12, "subscribe()",
                         platform::ProcessInfo::threadNumber(),
                         platform::ProcessInfo::processName(), platform::ProcessInfo::processId()));
    // The source-location forms record this very call site, named as the SDK's own entries
    // are: no return type, no parameters (g++ also names the test's class; clang 14 gives the
    // bare name).
    const auto& frame = logged[1].callingStackFrame;
    EXPECT_TRUE(std::holds_alternative<LogEntry::Trace>(logged[1].payload));
    EXPECT_TRUE(logged[1].callingFilePath.ends_with("LogCoreTest.cpp"));
    EXPECT_TRUE(frame.ends_with("TestBody") && frame.find_first_of("( ") == std::string::npos)
        << frame;
}

TEST(LogEnablingTest,
     TheFirstEnablingInstallsTheChannelsAtOrAboveTheMinimumForGoodAsNeverEnablingDoesNone) {
    inFreshProcess([] {
        EXPECT_FALSE(Log::error() || Log::info() || Log::trace());
        auto console = bufferedRecorder({std::make_shared<PayloadLogFormatter>()});
        auto receptacle = receptacleWith(LogSeverity::info, console);

        Log::enable(receptacle);
        Log::enable(receptacleWith(LogSeverity::trace, bufferedRecorder()));
        Log::enable(LogConfigurations{});
        Log::neverEnable();

        ASSERT_TRUE(Log::error() && Log::info());
        EXPECT_FALSE(Log::trace());
        EXPECT_EQ(Log::error()->severity(), LogSeverity::error);

        Log::message(LogSeverity::info, "info");
        Log::message(LogSeverity::off, "off");
        Log::trace(LogSeverity::trace);
        Log::value(LogSeverity::error, LogValue(3));
        Log::message(LogSeverity::error, "error", "f()", "/f.cpp", 1);
        EXPECT_EQ(recorded(*receptacle, *console), (Lines{"info", "= Int: 3", "error"}));
    });
    // Never enabling first keeps logging off.
    inFreshProcess([] {
        auto console = bufferedRecorder();
        auto receptacle = receptacleWith(LogSeverity::trace, console);

        Log::neverEnable();
        Log::enable(receptacle);

        EXPECT_FALSE(Log::error() || Log::info() || Log::trace());
        Log::message(LogSeverity::error, "dropped");
        EXPECT_TRUE(recorded(*receptacle, *console).empty());
    });
}

}  // namespace
}  // namespace orvanpush

namespace orvanpush::detail {

// Call sites shaped like the library's own.
struct KeyChainProbe {
    static SourceLocation site(const std::string&, int) { return SourceLocation::current(); }
    static SourceLocation fromLambda() {
        return [](int) { return SourceLocation::current(); }(1);
    }
    KeyChainProbe() : constructed(SourceLocation::current()) {}
    SourceLocation operator()(int) const { return SourceLocation::current(); }
    SourceLocation operator<(int) const { return SourceLocation::current(); }
    template <class T>
    SourceLocation get(T) const {
        return SourceLocation::current();
    }
    SourceLocation constructed;
};

template <class T>
struct BoxProbe {
    SourceLocation put(T) & { return SourceLocation::current(); }
};

namespace {

SourceLocation freeFunctionSite() {
    return SourceLocation::current();
}

// g++ names a call site by its whole signature; clang 14 only by its bare name.
bool compilerNamesSignatures() {
    return std::string_view(SourceLocation::current().function_name()).find('(') !=
           std::string_view::npos;
}

TEST(FunctionNameTest, KeepsTheQualifiedNameWithoutLibraryNamespaces) {
    if (!compilerNamesSignatures()) {
        GTEST_SKIP() << "this compiler names call sites without their class";
    }
    KeyChainProbe probe;
    BoxProbe<int> box;
    const std::pair<SourceLocation, const char*> cases[] = {
        {KeyChainProbe::site("", 0), "KeyChainProbe::site"},
        {KeyChainProbe::fromLambda(), "KeyChainProbe::fromLambda"},
        {probe.constructed, "KeyChainProbe::KeyChainProbe"},
        {probe(1), "KeyChainProbe::operator()"},
        {probe < 1, "KeyChainProbe::operator<"},
        {probe.get(2.5), "KeyChainProbe::get"},
        {box.put(1), "BoxProbe<T>::put"},
        {freeFunctionSite(), "freeFunctionSite"},
    };
    for (const auto& [site, expected] : cases) {
        EXPECT_EQ(functionName(site), expected) << site.function_name();
    }
}

}  // namespace
}  // namespace orvanpush::detail
