// The formatters and the console configurations' layouts. Layouts in the device time zone run in
// a process of their own with the zone fixed.

#include <gtest/gtest.h>

#include "orvanpush/logger/ConcatenatingLogFormatter.h"
#include "orvanpush/logger/FieldLogFormatters.h"
#include "orvanpush/logger/OrvanLogConfiguration.h"
#include "orvanpush/logger/OrvanLogFormatter.h"
#include "orvanpush/logger/PayloadLogFormatter.h"
#include "orvanpush/logger/XcodeLogConfiguration.h"
#include "orvanpush/logger/XcodeLogFormatter.h"
#include "utils/logger/LogTestSupport.h"

namespace orvanpush {
namespace {

using testing::inFreshProcess;
using Mode = ConsoleLogConfiguration::StandardStreamsMode;
using Representation = SeverityStyle::TextRepresentation;

// 2023-11-05 14:03:27.512 in Moscow (UTC+3 all year).
const Date kNovemberFifth = Date(std::chrono::seconds(1699182207)) + std::chrono::milliseconds(512);

LogEntry makeEntry(LogEntry::Payload payload, LogSeverity severity = LogSeverity::info,
                   std::optional<std::string> context = std::nullopt,
                   LoggerModule module = LoggerModule::crypto) {
    return LogEntry(std::move(payload), severity, std::move(context), module,
                    "/src/security/KeyChainUtil.cpp", 42, "KeyChain::load", 255, kNovemberFifth);
}

LogEntry message(std::string text, LogSeverity severity = LogSeverity::info) {
    return makeEntry(LogEntry::Message{std::move(text)}, severity);
}

LogEntry trace() {
    return makeEntry(LogEntry::Trace{}, LogSeverity::trace);
}

TEST(OrvanLogFormatterTest, PrintsTheSdkLogFileAndConsoleLinesWhereTheModeSendsThem) {
    inFreshProcess([] {
        setenv("TZ", "Europe/Moscow", 1);
        OrvanLogFormatter formatter(TimestampStyle::custom("yyyy-MM-dd HH:mm:ssZZZ"),
                                    SeverityStyle::simple(), DelimiterStyle::semicolon(),
                                    CallingThreadStyle::hex, std::nullopt, LoggerModule::sdk, true);
        EXPECT_EQ(
            formatter.format(message("OSStatus: 0")),
            "2023-11-05 14:03:27+0300;Info;000000FF;;Crypto;OSStatus: 0 [KeyChainUtil.cpp:42]");
        EXPECT_EQ(formatter.format(trace()),
                  "2023-11-05 14:03:27+0300;Trace;000000FF;;Crypto;KeyChain::load "
                  "[KeyChainUtil.cpp:42]");

        // The consoles write to the standard streams in the console or log-file layout.
        auto entry = LogEntry(LogEntry::Message{"Send logs is 1"}, LogSeverity::info, std::nullopt,
                              LoggerModule::sdk, "/src/utils/logger/log_manager/LogManager.cpp", 62,
                              "LogManager::enableLogging", 0x3A1F, kNovemberFifth);
        for (auto mode : {Mode::useAsFallback, Mode::useAlways, Mode::useExclusively}) {
            XcodeLogConfiguration xcode(LogSeverity::info, false, mode, false, true);
            ASSERT_EQ(xcode.recorders().size(), 1u);
            EXPECT_EQ(xcode.recorders().front()->formatters().front()->format(entry),
                      "2023-11-05 14:03:27 +0300 [00003A1F/14879] \U0001F537 -> Send logs is 1 "
                      "[LogManager.cpp:62]");
        }
        OrvanLogConfiguration orvan(LogSeverity::info, false, Mode::useAlways, false);
        EXPECT_EQ(orvan.recorders().front()->formatters().front()->format(entry),
                  "2023-11-05 14:03:27+0300;Info;00003A1F;;SDK Instance;Send logs is 1");

        // The unified log is available, so only "OS_ACTIVITY_MODE=disable" turns the fallback
        // mode to the standard streams.
        const auto modes = [] {
            std::string text;
            for (auto mode : {Mode::useAsFallback, Mode::useAlways, Mode::useExclusively}) {
                text += std::string(ConsoleLogConfiguration::willUseOSLog(mode) ? "O" : "-") +
                        (ConsoleLogConfiguration::shouldUseStandardStreams(mode) ? "S " : "- ");
            }
            return text;
        };
        unsetenv("OS_ACTIVITY_MODE");
        EXPECT_EQ(modes(), "O- OS -S ");
        setenv("OS_ACTIVITY_MODE", "Disable", 1);
        EXPECT_EQ(modes(), "O- OS -S ");
        setenv("OS_ACTIVITY_MODE", "disable", 1);
        EXPECT_EQ(modes(), "OS OS -S ");
    });
}

template <class Formatter, class... Arguments>
LogFormatterPtr make(Arguments&&... arguments) {
    return std::make_shared<Formatter>(std::forward<Arguments>(arguments)...);
}

LogFormatterPtr severity(Representation representation, std::optional<int> truncateAt, int padTo,
                         bool rightAlign) {
    return make<SeverityLogFormatter>(
        SeverityStyle::custom(representation, truncateAt, padTo, rightAlign));
}

TEST(FieldLogFormattersTest, EachFormatterPrintsItsPartOrNothing) {
    auto later = message("");
    later.timestamp = Date(std::chrono::seconds(1700000000));
    later.callingThreadID = 0x1234ABCDEF;
    auto rootPath = message("");
    rootPath.callingFilePath = "/";
    const auto withContext = makeEntry(LogEntry::Message{""}, LogSeverity::info, "ctx");
    const auto payload = make<PayloadLogFormatter>();
    const auto unixTime = make<TimestampLogFormatter>(TimestampStyle::unix_());
    const auto hex = make<CallingThreadLogFormatter>(CallingThreadStyle::hex);
    const auto xcode = make<XcodeLogFormatter>(false);
    const auto context = make<ContextLogFormatter>();
    const auto x = make<LiteralLogFormatter>("x");
    const auto concatenated = [](LogFormatters pieces, bool hardFail = false) {
        return make<ConcatenatingLogFormatter>(std::move(pieces), hardFail);
    };
    // A failed nested line is skipped; formatters that only format take part like the others.
    const auto nested =
        concatenated({make<LiteralLogFormatter>("a"), concatenated({x, context}, true),
                      testing::fixedFormatter("<p>"), x});
    const std::tuple<LogFormatterPtr, LogEntry, std::optional<std::string>> cases[] = {
        {make<TimestampLogFormatter>(TimestampStyle::default_(), "GMT"), message(""),
         "2023-11-05 11:03:27.512 +00:00"},
        // Unix seconds as the shortest decimal that reads back, integral ones with ".0".
        {unixTime, message(""), "1699182207.512"},
        {unixTime, later, "1700000000.0"},
        // Each payload kind has its text, an absent value included; the formatters of one kind
        // have nothing for the others.
        {payload, message("hello"), "hello"},
        {payload, trace(), "KeyChain::load"},
        {payload, makeEntry(LogEntry::Value{}), "= nil"},
        {payload, makeEntry(LogEntry::Value{LogValue(std::string("abc"))}), "= String: \"abc\""},
        {make<PayloadValueLogFormatter>(), message("hello"), std::nullopt},
        {make<PayloadMessageLogFormatter>(), trace(), std::nullopt},
        {make<PayloadTraceLogFormatter>(), message("hello"), std::nullopt},
        // Severities are truncated, then padded, counting characters: one emoji is one.
        {severity(Representation::uppercase, 3, 5, true), message("", LogSeverity::error), "  ERR"},
        {severity(Representation::uppercase, 3, 5, false), message("", LogSeverity::error),
         "ERR  "},
        {severity(Representation::lowercase, std::nullopt, 3, true), trace(), "trace"},
        {severity(Representation::colorCoded, 1, 3, true), message("", LogSeverity::error),
         "  \u274C"},
        // Thread ids in hex with all their digits; call sites without a file name redacted.
        {hex, message(""), "000000FF"},
        {hex, later, "1234ABCDEF"},
        {make<CallingThreadLogFormatter>(CallingThreadStyle::integer), later, "78193085935"},
        {make<CallSiteLogFormatter>(), rootPath, "redacted:42"},
        // Concatenation skips absent pieces, or with a hard fail drops the line; an empty piece
        // is still a piece.
        {concatenated({}), message(""), std::nullopt},
        {concatenated({context, context}), message(""), std::nullopt},
        {concatenated(
             {x, make<LiteralLogFormatter>(";"), context, make<LiteralLogFormatter>(";"), x}),
         message(""), "x;;x"},
        {concatenated({x, context}, true), message(""), std::nullopt},
        {concatenated({make<LiteralLogFormatter>("")}), message(""), ""},
        {nested, message(""), "a<p>x"},
        {nested, withContext, "axctx<p>x"},
        // The console's layout; the trace layout always shows the call site.
        {xcode, message("boom", LogSeverity::error), "\u274C -> boom"},
        {xcode, trace(), "\U0001F6E0 -> KeyChain::load [KeyChainUtil.cpp:42]"},
        {make<XcodeTraceLogFormatter>(), message("hello"), std::nullopt},
    };
    for (const auto& [formatter, entry, expected] : cases) {
        EXPECT_EQ(formatter->format(entry), expected) << expected.value_or("(nothing)");
    }
}

}  // namespace
}  // namespace orvanpush
