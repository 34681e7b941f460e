#include "utils/logger/log_manager/SdkLog.h"

#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "orvanpush/logger/SourceLocation.h"
#include "platform/FileSystem.h"
#include "utils/logger/log_manager/LogManager.h"
#include "utils/logger/log_manager/LogSettings.h"

namespace orvanpush::detail {

// Call sites shaped like the library's own.
struct KeyChainProbe {
    static std::optional<std::vector<unsigned char>> load(const std::string&, int) {
        return std::nullopt;
    }
    static SourceLocation site(const std::string&, int) { return SourceLocation::current(); }
    static SourceLocation fromLambda() {
        auto lambda = [](int) { return SourceLocation::current(); };
        return lambda(1);
    }
    KeyChainProbe() : constructed(SourceLocation::current()) {}
    SourceLocation operator()(int) const { return SourceLocation::current(); }
    bool operator<(const KeyChainProbe&) const {
        called = SourceLocation::current();
        return false;
    }
    template <class T>
    SourceLocation get(T) const {
        return SourceLocation::current();
    }

    SourceLocation constructed;
    mutable SourceLocation called;
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

TEST(SdkLogTest, FunctionNameKeepsTheQualifiedNameWithoutLibraryNamespaces) {
    if (!compilerNamesSignatures()) {
        GTEST_SKIP() << "this compiler names call sites without their class";
    }
    EXPECT_EQ(SdkLog::functionName(KeyChainProbe::site("", 0)), "KeyChainProbe::site");
    EXPECT_EQ(SdkLog::functionName(KeyChainProbe::fromLambda()), "KeyChainProbe::fromLambda");
    KeyChainProbe probe;
    EXPECT_EQ(SdkLog::functionName(probe.constructed), "KeyChainProbe::KeyChainProbe");
    EXPECT_EQ(SdkLog::functionName(probe(1)), "KeyChainProbe::operator()");
    (void)(probe < probe);
    EXPECT_EQ(SdkLog::functionName(probe.called), "KeyChainProbe::operator<");
    EXPECT_EQ(SdkLog::functionName(probe.get(2.5)), "KeyChainProbe::get");
    BoxProbe<int> box;
    EXPECT_EQ(SdkLog::functionName(box.put(1)), "BoxProbe<T>::put");
    EXPECT_EQ(SdkLog::functionName(freeFunctionSite()), "freeFunctionSite");
}

std::string lastLogFileLine() {
    auto file = LogManager::getLogFile(std::chrono::system_clock::now());
    std::istringstream text(file ? platform::FileSystem::readFile(*file).value_or("") : "");
    std::string line, last;
    while (std::getline(text, line)) {
        last = line;
    }
    return last;
}

TEST(SdkLogTest, HandsTheSitesEntryToTheLogFiles) {
    LogManager::logRecorder()->createLogDirectory();
    LogSettings::setLogLevel("trace");

    SdkLog::message(LogSeverity::info, LoggerModule::crypto, "OSStatus: -25300");
    const int messageLine = __LINE__ - 1;
    auto line = lastLogFileLine();
    EXPECT_NE(line.find(";Info;"), std::string::npos) << line;
    EXPECT_TRUE(line.ends_with(
        ";;Crypto;OSStatus: -25300 [SdkLogTest.cpp:" + std::to_string(messageLine) + "]"))
        << line;

    SdkLog::trace(LogSeverity::error, LoggerModule::sdk);
    const int traceLine = __LINE__ - 1;
    line = lastLogFileLine();
    EXPECT_NE(line.find(";Error;"), std::string::npos) << line;
    auto function = compilerNamesSignatures()
                        ? std::string("SdkLogTest_HandsTheSitesEntryToTheLogFiles_Test::TestBody")
                        : std::string("TestBody");
    EXPECT_TRUE(line.ends_with(";;SDK Instance;" + function +
                               " [SdkLogTest.cpp:" + std::to_string(traceLine) + "]"))
        << line;

    LogSettings::setLogLevel(LogSettings::defaultLogLevel);
}

}  // namespace
}  // namespace orvanpush::detail
