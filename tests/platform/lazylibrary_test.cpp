// Libraries opened on first use: a present library gives working
// functions, a missing library or name gives null and a reason.
#include "platform/lazylibrary.h"

#include <gtest/gtest.h>

namespace {

using Cosine = double (*)(double);

TEST(LazyLibrary, OpensWhenAskedAndSaysWhyNot)
{
    struct Case {
        const char* soname;
        const char* symbol;
        bool loads;
        bool found;
    } cases[] = {
        {"libm.so.6", "cos", true, true},
        {"libm.so.6", "varnel_no_such_function", true, false},
        {"libvarnel-no-such-library.so.0", "cos", false, false},
    };
    for (const Case& c : cases) {
        platform::LazyLibrary library(c.soname);
        Cosine function = [](double x) { return x; };  // to see it set either way
        EXPECT_EQ(library.Look(function, c.symbol), c.found) << c.soname << " " << c.symbol;
        EXPECT_EQ(function != nullptr, c.found) << c.soname << " " << c.symbol;
        EXPECT_EQ(library.Load(), c.loads) << c.soname;
        EXPECT_EQ(library.Error().empty(), c.loads) << c.soname << ": " << library.Error();
        if (c.found) {
            EXPECT_DOUBLE_EQ(function(0.0), 1.0);
        }
    }
}

}  // namespace
