// varnel-find's command line: groups that override saved settings, order
// of keywords, usage errors.
#include "cli/cmdline.h"

#include <gtest/gtest.h>

namespace {

CCommandLine Parse(const std::vector<std::string>& args)
{
    CCommandLine c;
    std::string error;
    EXPECT_TRUE(ParseCommandLine(args, c, error)) << error;
    return c;
}

TEST(CommandLine, KeywordsKeepTheirOrderAcrossBothSourcesAndDoubleDashEndsOptions)
{
    CCommandLine c = Parse({"-k", "one", "--keywords-file=list.txt", "--keyword", "two", "-kthree", "/d"});
    std::vector<std::string> seen;
    for (const auto& k : c.keywords) seen.push_back((k.fromFile ? "file:" : "") + k.value);
    EXPECT_EQ(seen, (std::vector<std::string>{"one", "file:list.txt", "two", "three"}));
    EXPECT_EQ(c.folders, std::vector<std::string>{"/d"});
    // Without group switches the saved settings apply.
    EXPECT_FALSE(c.categories.has_value());
    EXPECT_FALSE(c.matching.has_value());

    c = Parse({"-r", "--", "-k", "--word"});
    EXPECT_TRUE(c.subfolders);
    EXPECT_EQ(c.folders, (std::vector<std::string>{"-k", "--word"}));
    EXPECT_TRUE(c.keywords.empty());
}

TEST(CommandLine, AnySwitchOfAGroupMakesTheGroupExactlyWhatWasGiven)
{
    const CCommandLine c = Parse({"--excel", "--htm", "--whole-word", "/d"});
    ASSERT_TRUE(c.categories.has_value() && c.matching.has_value());
    EXPECT_EQ((std::vector<bool>{c.categories->word, c.categories->excel, c.categories->text, c.categories->htm}),
              (std::vector<bool>{false, true, false, true}));
    EXPECT_TRUE(c.matching->wholeWord);
    EXPECT_FALSE(c.matching->matchCase);
    EXPECT_TRUE(c.matching->clearSeriesSpace);  // on unless turned off
    const auto off = Parse({"--no-clear-series-space", "/d"}).matching;
    EXPECT_TRUE(off.has_value() && !off->clearSeriesSpace && !off->wildcards);
}

TEST(CommandLine, UsageErrorsNameTheOption)
{
    using Args = std::vector<std::string>;
    for (const Args& args : {Args{"--bogus"}, Args{"/d", "-k"}, Args{"--extract"}}) {
        CCommandLine c;
        std::string error;
        EXPECT_FALSE(ParseCommandLine(args, c, error)) << args.back();
        EXPECT_NE(error.find(args.back()), std::string::npos) << error;
    }
}

}  // namespace
