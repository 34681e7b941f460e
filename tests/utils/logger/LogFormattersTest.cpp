// The formatters and the console configurations' layouts. Layouts in the device time zone run in
// a process of their own with the zone fixed.

#include <gtest/gtest.h>

#include "orvanpush/logger/ConcatenatingLogFormatter.h"
#include "orvanpush/logger/FieldLogFormatters.h"
#include "orvanpush/logger/OrvanLogConfiguration.h"
#include "orvanpush/logger/OrvanLogFormatter.h"
#include "orvanpush/logger/PayloadLogFormatter.h"
#include "orvanpush/logger/StandardStreamsLogRecorder.h"
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

TEST(OrvanLogFormatterTest, PrintsTheSdkLogFileAndConsoleLines) {
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
        EXPECT_EQ(formatter.format(makeEntry(LogEntry::Value{LogValue(5)}, LogSeverity::error,
                                             "ctx", LoggerModule::sdk)),
                  "2023-11-05 14:03:27+0300;Error;000000FF;ctx;SDK Instance;= Int: 5 "
                  "[KeyChainUtil.cpp:42]");

        // The consoles write to the standard streams in the console or log-file layout.
        auto entry = LogEntry(LogEntry::Message{"Send logs is 1"}, LogSeverity::info, std::nullopt,
                              LoggerModule::sdk, "/src/utils/logger/log_manager/LogManager.cpp", 62,
                              "LogManager::enableLogging", 0x3A1F, kNovemberFifth);
        for (auto mode : {Mode::useAsFallback, Mode::useAlways, Mode::useExclusively}) {
            XcodeLogConfiguration xcode(LogSeverity::info, false, mode, false, true);
            ASSERT_EQ(xcode.recorders().size(), 1u);
            EXPECT_TRUE(
                std::dynamic_pointer_cast<StandardStreamsLogRecorder>(xcode.recorders().front()));
            EXPECT_EQ(xcode.recorders().front()->formatters().front()->format(entry),
                      "2023-11-05 14:03:27 +0300 [00003A1F/14879] \U0001F537 -> Send logs is 1 "
                      "[LogManager.cpp:62]");
        }
        OrvanLogConfiguration orvan(LogSeverity::info, false, Mode::useAlways, false);
        EXPECT_EQ(orvan.recorders().front()->formatters().front()->format(entry),
                  "2023-11-05 14:03:27+0300;Info;00003A1F;;SDK Instance;Send logs is 1");
    });
}

TEST(FieldLogFormattersTest, TimestampAndDelimiterStylesPrintTheirTexts) {
    EXPECT_EQ(TimestampLogFormatter(TimestampStyle::default_(), "GMT").format(message("")),
              "2023-11-05 11:03:27.512 +00:00");
    // Unix seconds as the shortest decimal that reads back, integral ones with ".0".
    auto entry = message("");
    EXPECT_EQ(TimestampLogFormatter(TimestampStyle::unix_()).format(entry), "1699182207.512");
    entry.timestamp = Date(std::chrono::seconds(1700000000));
    EXPECT_EQ(TimestampLogFormatter(TimestampStyle::unix_()).format(entry), "1700000000.0");
    std::string delimiters;
    for (const auto& style :
         {DelimiterStyle::spacedPipe(), DelimiterStyle::spacedHyphen(), DelimiterStyle::tab(),
          DelimiterStyle::space(), DelimiterStyle::semicolon(), DelimiterStyle::custom("::")}) {
        delimiters += DelimiterLogFormatter(style).format(entry).value_or("?") + "|";
    }
    EXPECT_EQ(delimiters, " | | - |\t| |;|::|");
}

// Each payload kind has its text, an absent value included; the formatters of one kind have
// nothing for the others.
TEST(FieldLogFormattersTest, PayloadsPrintByKindAndAnAbsentValueAsNil) {
    PayloadLogFormatter payload;
    EXPECT_EQ(payload.format(message("hello")), "hello");
    EXPECT_EQ(payload.format(trace()), "KeyChain::load");
    EXPECT_EQ(payload.format(makeEntry(LogEntry::Value{})), "= nil");
    EXPECT_EQ(payload.format(makeEntry(LogEntry::Value{LogValue(std::string("abc"))})),
              "= String: \"abc\"");

    EXPECT_EQ(PayloadValueLogFormatter().format(message("hello")), std::nullopt);
    EXPECT_EQ(PayloadMessageLogFormatter().format(trace()), std::nullopt);
    EXPECT_EQ(PayloadTraceLogFormatter().format(message("hello")), std::nullopt);
}

// The unified log is available, so only "OS_ACTIVITY_MODE=disable" turns the fallback mode to
// the standard streams. Checked in a process of its own, which may change its environment.
TEST(ConsoleLogConfigurationTest, TheModeAndOsActivityModeDecideTheStreamsAndTheUnifiedLog) {
    inFreshProcess([] {
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
        for (const char* value : {"enable", "Disable"}) {
            setenv("OS_ACTIVITY_MODE", value, 1);
            EXPECT_EQ(modes(), "O- OS -S ") << value;
        }
        setenv("OS_ACTIVITY_MODE", "disable", 1);
        EXPECT_EQ(modes(), "OS OS -S ");
    });
}

TEST(FieldLogFormattersTest, SeverityStylesTruncateThenPadCountingCharacters) {
    const auto custom = [](Representation representation, std::optional<int> truncateAt, int padTo,
                           bool rightAlign, LogSeverity severity) {
        return SeverityLogFormatter(
                   SeverityStyle::custom(representation, truncateAt, padTo, rightAlign))
            .format(message("", severity));
    };
    EXPECT_EQ(custom(Representation::uppercase, 3, 5, true, LogSeverity::error), "  ERR");
    EXPECT_EQ(custom(Representation::uppercase, 3, 5, false, LogSeverity::error), "ERR  ");
    EXPECT_EQ(custom(Representation::lowercase, std::nullopt, 3, true, LogSeverity::trace),
              "trace");
    // One emoji is one character.
    EXPECT_EQ(custom(Representation::colorCoded, 1, 3, true, LogSeverity::error), "  \u274C");
    EXPECT_EQ(SeverityLogFormatter(SeverityStyle::numeric()).format(trace()), "trace");
}

TEST(FieldLogFormattersTest, ThreadIdsInHexWithAllDigitsAndRedactedCallSites) {
    auto entry = message("");
    EXPECT_EQ(CallingThreadLogFormatter(CallingThreadStyle::hex).format(entry), "000000FF");
    entry.callingThreadID = 0x1234ABCDEF;
    EXPECT_EQ(CallingThreadLogFormatter(CallingThreadStyle::hex).format(entry), "1234ABCDEF");
    EXPECT_EQ(CallingThreadLogFormatter(CallingThreadStyle::integer).format(entry), "78193085935");

    for (const char* path : {"", "/"}) {
        entry.callingFilePath = path;
        EXPECT_EQ(CallSiteLogFormatter().format(entry), "redacted:42") << path;
    }
}

TEST(ConcatenatingLogFormatterTest, SkipsAbsentPiecesOrWithHardFailDropsTheLine) {
    auto literal = [](const char* text) { return std::make_shared<LiteralLogFormatter>(text); };
    auto context = std::make_shared<ContextLogFormatter>();
    const auto plain = message("");
    const auto withContext = makeEntry(LogEntry::Message{""}, LogSeverity::info, "ctx");

    EXPECT_EQ(ConcatenatingLogFormatter({}).format(plain), std::nullopt);
    EXPECT_EQ(ConcatenatingLogFormatter({context, context}).format(plain), std::nullopt);
    EXPECT_EQ(
        ConcatenatingLogFormatter({literal("x"), literal(";"), context, literal(";"), literal("x")})
            .format(plain),
        "x;;x");
    EXPECT_EQ(ConcatenatingLogFormatter({literal("x"), context}, true).format(plain), std::nullopt);
    // An empty piece is still a piece.
    EXPECT_EQ(ConcatenatingLogFormatter({literal("")}).format(plain), "");

    // A failed nested line is skipped; formatters that only format take part like the others.
    auto strict =
        std::make_shared<ConcatenatingLogFormatter>(LogFormatters{literal("b"), context}, true);
    ConcatenatingLogFormatter line(
        {literal("a"), strict, testing::fixedFormatter("<p>"), literal("c")});
    EXPECT_EQ(line.format(plain), "a<p>c");
    EXPECT_EQ(line.format(withContext), "abctx<p>c");
}

TEST(XcodeLogFormatterTest, LaysOutConsoleLines) {
    XcodeLogFormatter withoutCallSite(false);
    EXPECT_EQ(withoutCallSite.format(message("boom", LogSeverity::error)), "\u274C -> boom");
    // The trace layout always shows the call site.
    EXPECT_EQ(withoutCallSite.format(trace()),
              "\U0001F6E0 -> KeyChain::load [KeyChainUtil.cpp:42]");
    EXPECT_EQ(XcodeTraceLogFormatter().format(message("hello")), std::nullopt);
}

}  // namespace
}  // namespace orvanpush
