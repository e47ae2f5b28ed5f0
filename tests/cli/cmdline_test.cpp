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
}  // namespace

TEST(CommandLine, KeywordsKeepTheirOrderAcrossBothSources)
{
    const CCommandLine c = Parse({"-k", "one", "--keywords-file=list.txt", "--keyword", "two", "-kthree", "/d"});
    ASSERT_EQ(c.keywords.size(), 4u);
    EXPECT_EQ(c.keywords[0].value, "one");
    EXPECT_TRUE(c.keywords[1].fromFile);
    EXPECT_EQ(c.keywords[1].value, "list.txt");
    EXPECT_EQ(c.keywords[2].value, "two");
    EXPECT_EQ(c.keywords[3].value, "three");
    EXPECT_EQ(c.folders, std::vector<std::string>{"/d"});
}

TEST(CommandLine, WithoutGroupSwitchesTheSavedSettingsApply)
{
    const CCommandLine c = Parse({"-k", "x", "/d"});
    EXPECT_FALSE(c.categories.has_value());
    EXPECT_FALSE(c.matching.has_value());
}

TEST(CommandLine, AnySwitchOfAGroupMakesTheGroupExactlyWhatWasGiven)
{
    const CCommandLine c = Parse({"--excel", "--htm", "--whole-word", "/d"});
    ASSERT_TRUE(c.categories.has_value());
    EXPECT_FALSE(c.categories->word);
    EXPECT_TRUE(c.categories->excel);
    EXPECT_FALSE(c.categories->text);
    EXPECT_TRUE(c.categories->htm);
    ASSERT_TRUE(c.matching.has_value());
    EXPECT_TRUE(c.matching->wholeWord);
    EXPECT_FALSE(c.matching->matchCase);
    EXPECT_TRUE(c.matching->clearSeriesSpace);  // on unless turned off

    const CCommandLine off = Parse({"--no-clear-series-space", "/d"});
    ASSERT_TRUE(off.matching.has_value());
    EXPECT_FALSE(off.matching->clearSeriesSpace);
    EXPECT_FALSE(off.matching->wildcards);
}

TEST(CommandLine, DoubleDashEndsOptions)
{
    const CCommandLine c = Parse({"-r", "--", "-k", "--word"});
    EXPECT_TRUE(c.subfolders);
    EXPECT_EQ(c.folders, (std::vector<std::string>{"-k", "--word"}));
    EXPECT_TRUE(c.keywords.empty());
}

TEST(CommandLine, UsageErrors)
{
    CCommandLine c;
    std::string error;
    EXPECT_FALSE(ParseCommandLine({"--bogus"}, c, error));
    EXPECT_NE(error.find("--bogus"), std::string::npos);
    EXPECT_FALSE(ParseCommandLine({"/d", "-k"}, c, error));
    EXPECT_NE(error.find("-k"), std::string::npos);
    EXPECT_FALSE(ParseCommandLine({"--extract"}, c, error));
}
