#include "utils/logger/log_manager/SdkLog.h"

#include <string>
#include <utility>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "orvanpush/logger/SourceLocation.h"
#include "platform/FileSystem.h"
#include "utils/logger/log_manager/LogManager.h"
#include "utils/logger/log_manager/LogSettings.h"

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

using ::testing::HasSubstr;

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
        EXPECT_EQ(SdkLog::functionName(site), expected) << site.function_name();
    }
}

TEST(SdkLogTest, TraceLogsTheCallingFunctionAtItsCallSite) {
    LogManager::logRecorder()->createLogDirectory();
    LogSettings::setLogLevel("trace");
    const auto site = SourceLocation::current();
    SdkLog::trace(LogSeverity::error, LoggerModule::sdk);
    LogSettings::setLogLevel(LogSettings::defaultLogLevel);

    const auto file = LogManager::getLogFile(std::chrono::system_clock::now());
    ASSERT_TRUE(file);
    EXPECT_THAT(platform::FileSystem::readFile(*file).value_or(""),
                HasSubstr(";;SDK Instance;" + SdkLog::functionName(site) +
                          " [SdkLogTest.cpp:" + std::to_string(site.line() + 1) + "]\n"));
}

}  // namespace
}  // namespace orvanpush::detail
