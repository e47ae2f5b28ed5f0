// Libraries opened on first use: a present library gives working
// functions, a missing library or name gives null and a reason.
#include "platform/lazylibrary.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

using Cosine = double (*)(double);

TEST(LazyLibrary, OpensWhenAskedAndSaysWhyNot)
{
    // Library, function, whether the library loads and whether the function is found.
    const std::tuple<const char*, const char*, bool, bool> cases[] = {
        {"libm.so.6", "cos", true, true},
        {"libm.so.6", "varnel_no_such_function", true, false},
        {"libvarnel-no-such-library.so.0", "cos", false, false},
    };
    for (const auto& [soname, symbol, loads, found] : cases) {
        platform::LazyLibrary library(soname);
        Cosine function = [](double x) { return x; };  // to see it set either way
        EXPECT_EQ(library.Look(function, symbol), found) << soname << " " << symbol;
        EXPECT_EQ(function != nullptr, found) << soname << " " << symbol;
        EXPECT_EQ(library.Load(), loads) << soname;
        EXPECT_EQ(library.Error().empty(), loads) << soname << ": " << library.Error();
        if (found) {
            EXPECT_DOUBLE_EQ(function(0.0), 1.0);
        }
    }
}

}  // namespace
