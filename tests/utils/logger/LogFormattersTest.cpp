#include <cstdlib>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "orvanpush/logger/ConcatenatingLogFormatter.h"
#include "orvanpush/logger/FieldBasedLogFormatter.h"
#include "orvanpush/logger/FieldLogFormatters.h"
#include "orvanpush/logger/OrvanLogFormatter.h"
#include "orvanpush/logger/PayloadLogFormatter.h"
#include "orvanpush/logger/StandardLogFormatter.h"
#include "orvanpush/logger/XcodeLogFormatter.h"

namespace orvanpush {
namespace {

using Field = FieldBasedLogFormatter::Field;
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

// Fixes the device time zone for the formatters built while it lives.
class ScopedTimeZone {
  public:
    explicit ScopedTimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) {
            previous_ = old;
        }
        setenv("TZ", zone, 1);
    }
    ~ScopedTimeZone() {
        if (previous_) {
            setenv("TZ", previous_->c_str(), 1);
        } else {
            unsetenv("TZ");
        }
    }

  private:
    std::optional<std::string> previous_;
};

OrvanLogFormatter sdkFileFormatter() {
    return OrvanLogFormatter(TimestampStyle::custom("yyyy-MM-dd HH:mm:ssZZZ"),
                             SeverityStyle::simple(), DelimiterStyle::semicolon(),
                             CallingThreadStyle::hex, std::nullopt, LoggerModule::sdk, true);
}

TEST(OrvanLogFormatterTest, PrintsTheSdkLogFileLine) {
    ScopedTimeZone moscow("Europe/Moscow");
    auto formatter = sdkFileFormatter();

    EXPECT_EQ(formatter.format(message("OSStatus: 0")),
              "2023-11-05 14:03:27+0300;Info;000000FF;;Crypto;OSStatus: 0 [KeyChainUtil.cpp:42]");
    EXPECT_EQ(formatter.format(trace()),
              "2023-11-05 14:03:27+0300;Trace;000000FF;;Crypto;KeyChain::load "
              "[KeyChainUtil.cpp:42]");
    auto value =
        makeEntry(LogEntry::Value{LogValue(5)}, LogSeverity::error, "ctx", LoggerModule::sdk);
    EXPECT_EQ(formatter.format(value),
              "2023-11-05 14:03:27+0300;Error;000000FF;ctx;SDK Instance;= Int: 5 "
              "[KeyChainUtil.cpp:42]");
}

TEST(OrvanLogFormatterTest, KeepsContextAndModuleSlotsWithoutOptionalPieces) {
    OrvanLogFormatter formatter(std::nullopt, std::nullopt, DelimiterStyle::spacedPipe(),
                                std::nullopt, "ignored", LoggerModule::crypto, false);
    EXPECT_EQ(formatter.format(makeEntry(LogEntry::Message{"hi"}, LogSeverity::info, std::nullopt,
                                         LoggerModule::storage)),
              " | Storage | hi");
}

TEST(TimestampLogFormatterTest, RendersPatternsInTheGivenZone) {
    TimestampLogFormatter standard(TimestampStyle::default_(), "GMT");
    EXPECT_EQ(standard.format(message("")), "2023-11-05 11:03:27.512 +00:00");
    TimestampLogFormatter custom(TimestampStyle::custom("yyyy-MM-dd HH:mm:ssZZZ"), "Asia/Kolkata");
    EXPECT_EQ(custom.format(message("")), "2023-11-05 16:33:27+0530");
}

TEST(TimestampLogFormatterTest, RendersUnixSecondsAsShortestDecimal) {
    TimestampLogFormatter formatter(TimestampStyle::unix_());
    auto entry = message("");
    entry.timestamp = Date(std::chrono::milliseconds(1700000000250));
    EXPECT_EQ(formatter.format(entry), "1700000000.25");
    entry.timestamp = Date(std::chrono::seconds(1700000000));
    EXPECT_EQ(formatter.format(entry), "1700000000.0");
}

TEST(SeverityLogFormatterTest, CustomStyleTruncatesThenPads) {
    auto error = message("", LogSeverity::error);
    EXPECT_EQ(SeverityLogFormatter(SeverityStyle::custom(Representation::uppercase, 3, 5, true))
                  .format(error),
              "  ERR");
    EXPECT_EQ(SeverityLogFormatter(SeverityStyle::custom(Representation::uppercase, 3, 5, false))
                  .format(error),
              "ERR  ");
    EXPECT_EQ(SeverityLogFormatter(
                  SeverityStyle::custom(Representation::lowercase, std::nullopt, 3, true))
                  .format(trace()),
              "trace");
    // Widths count characters, not bytes: one emoji is one character.
    EXPECT_EQ(SeverityLogFormatter(SeverityStyle::custom(Representation::colorCoded, 1, 3, true))
                  .format(error),
              "  \u274C");
}

TEST(SeverityLogFormatterTest, NamedStylesPickTheirRepresentation) {
    EXPECT_EQ(SeverityLogFormatter(SeverityStyle::simple()).format(trace()), "Trace");
    EXPECT_EQ(SeverityLogFormatter(SeverityStyle::numeric()).format(trace()), "trace");
    EXPECT_EQ(SeverityLogFormatter(SeverityStyle::xcode()).format(trace()), "\U0001F6E0");
    EXPECT_EQ(format(Representation::colorCoded, LogSeverity::off), "\U0001F92B");
    EXPECT_EQ(format(Representation::uppercase, LogSeverity::off), "OFF");
}

TEST(CallingThreadLogFormatterTest, PrintsHexWithAllDigitsOrDecimal) {
    CallingThreadLogFormatter hex(CallingThreadStyle::hex);
    auto entry = message("");
    EXPECT_EQ(hex.format(entry), "000000FF");
    entry.callingThreadID = 0x1234ABCDEF;
    EXPECT_EQ(hex.format(entry), "1234ABCDEF");
    EXPECT_EQ(CallingThreadLogFormatter(CallingThreadStyle::integer).format(entry), "78193085935");
}

TEST(CallSiteLogFormatterTest, PrintsFileNameAndLine) {
    CallSiteLogFormatter formatter;
    auto entry = message("");
    entry.callingFilePath = "/a/b/Foo.cc";
    entry.callingFileLine = 7;
    EXPECT_EQ(formatter.format(entry), "Foo.cc:7");
    entry.callingFilePath = "";
    EXPECT_EQ(formatter.format(entry), "redacted:7");
    entry.callingFilePath = "/";
    EXPECT_EQ(formatter.format(entry), "redacted:7");
}

TEST(PayloadLogFormatterTest, PrintsEachPayloadKind) {
    PayloadLogFormatter payload;
    EXPECT_EQ(payload.format(message("hello")), "hello");
    EXPECT_EQ(payload.format(trace()), "KeyChain::load");
    EXPECT_EQ(payload.format(makeEntry(LogEntry::Value{LogValue(5)})), "= Int: 5");
    EXPECT_EQ(payload.format(makeEntry(LogEntry::Value{})), "= nil");
    EXPECT_EQ(payload.format(makeEntry(LogEntry::Value{LogValue(std::string("abc"))})),
              "= String: \"abc\"");
    EXPECT_EQ(payload.format(makeEntry(LogEntry::Value{LogValue(20.0)})), "= Double: 20.0");

    EXPECT_EQ(PayloadValueLogFormatter().format(message("hello")), std::nullopt);
    EXPECT_EQ(PayloadMessageLogFormatter().format(trace()), std::nullopt);
    EXPECT_EQ(PayloadTraceLogFormatter().format(message("hello")), std::nullopt);
}

TEST(ConcatenatingLogFormatterTest, SkipsOrFailsOnAbsentPieces) {
    auto context = std::make_shared<ContextLogFormatter>();
    auto semicolon = std::make_shared<DelimiterLogFormatter>(DelimiterStyle::semicolon());
    auto literal = std::make_shared<LiteralLogFormatter>("x");

    EXPECT_EQ(ConcatenatingLogFormatter({}).format(message("")), std::nullopt);
    EXPECT_EQ(ConcatenatingLogFormatter({context, context}).format(message("")), std::nullopt);
    EXPECT_EQ(ConcatenatingLogFormatter({literal, semicolon, context, semicolon, literal})
                  .format(message("")),
              "x;;x");
    EXPECT_EQ(ConcatenatingLogFormatter({literal, context}, true).format(message("")),
              std::nullopt);
    // An empty piece is still a piece.
    auto empty = std::make_shared<LiteralLogFormatter>("");
    EXPECT_EQ(ConcatenatingLogFormatter({empty}).format(message("")), "");
}

// A formatter that only formats, as a host might write one.
class PlainFormatter : public LogFormatter {
  public:
    std::optional<std::string> format(const LogEntry& entry) const override {
        return "<" + entry.callingStackFrame + ">";
    }
};

TEST(ConcatenatingLogFormatterTest, TakesPlainFormattersAndDropsAFailedNestedLine) {
    auto literal = [](const char* text) { return std::make_shared<LiteralLogFormatter>(text); };
    auto strict = std::make_shared<ConcatenatingLogFormatter>(
        LogFormatters{literal("b"), std::make_shared<ContextLogFormatter>()}, true);
    ConcatenatingLogFormatter line(
        {literal("a"), strict, std::make_shared<PlainFormatter>(), literal("c")});
    EXPECT_EQ(line.format(message("")), "a<KeyChain::load>c");
    EXPECT_EQ(line.format(makeEntry(LogEntry::Message{""}, LogSeverity::info, "ctx")),
              "abctx<KeyChain::load>c");
}

TEST(FieldBasedLogFormatterTest, ContextFieldPrintsTheEntrysContext) {
    FieldBasedLogFormatter formatter({Field::context("abc")});
    EXPECT_EQ(formatter.format(makeEntry(LogEntry::Message{""}, LogSeverity::info, "mine")),
              "mine");
    EXPECT_EQ(formatter.format(message("")), std::nullopt);
}

TEST(FieldBasedLogFormatterTest, BuildsEveryField) {
    FieldBasedLogFormatter formatter(
        {Field::literal("<"), Field::stackFrame(), Field::delimiter(DelimiterStyle::tab()),
         Field::processName(), Field::delimiter(DelimiterStyle::custom("|")), Field::processID(),
         Field::delimiter(DelimiterStyle::spacedHyphen()), Field::module(LoggerModule::sdk),
         Field::custom(std::make_shared<LiteralLogFormatter>(">"))});
    auto entry = message("");
    EXPECT_EQ(formatter.format(entry), "<KeyChain::load\t" + entry.processName + "|" +
                                           std::to_string(entry.processID) + " - Crypto>");
}

TEST(StandardLogFormatterTest, PutsTheDelimiterAfterEachGivenPiece) {
    StandardLogFormatter formatter(std::nullopt, SeverityStyle::simple(),
                                   DelimiterStyle::spacedPipe(), CallingThreadStyle::integer, true);
    EXPECT_EQ(formatter.format(message("hello")), "Info | 255 | KeyChainUtil.cpp:42 | hello");
    ParsableLogFormatter parsable(std::nullopt);
    EXPECT_EQ(parsable.format(message("hello", LogSeverity::error)),
              "error\t255\tKeyChainUtil.cpp:42\thello");
}

TEST(XcodeLogFormatterTest, LaysOutConsoleLines) {
    XcodeLogFormatter withCallSite(true);
    EXPECT_EQ(withCallSite.format(message("Send logs is 1")),
              "\U0001F537 -> Send logs is 1 [KeyChainUtil.cpp:42]");
    EXPECT_EQ(withCallSite.format(trace()), "\U0001F6E0 -> KeyChain::load [KeyChainUtil.cpp:42]");
    XcodeLogFormatter withoutCallSite(false);
    EXPECT_EQ(withoutCallSite.format(message("boom", LogSeverity::error)), "\u274C -> boom");
    // The trace layout always shows the call site.
    EXPECT_EQ(withoutCallSite.format(trace()),
              "\U0001F6E0 -> KeyChain::load [KeyChainUtil.cpp:42]");

    EXPECT_EQ(XcodeTraceLogFormatter().format(message("hello")), std::nullopt);
}

}  // namespace
}  // namespace orvanpush
