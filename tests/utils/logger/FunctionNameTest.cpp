#include "utils/logger/FunctionName.h"

#include <string>
#include <string_view>
#include <utility>

#include <gtest/gtest.h>

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
