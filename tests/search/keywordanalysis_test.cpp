// Keyword analysis: limits, messages and the resulting keyword array.
#include "platform/stringtable.h"
#include "search/keywordanalysis.h"
#include "support/recordingpanes.h"

#include <gtest/gtest.h>

namespace {

std::string KeywordAt(long i)
{
    return std::string(g_arrKeywords[i].szKeyword);
}

const std::vector<std::string> kStartLines = {LoadString(61453), LoadString(61454)};

}  // namespace

TEST(SplitKeywordLines, CountsLinesLikeAnEditor)
{
    EXPECT_EQ(SplitKeywordLines(""), std::vector<std::string>{""});
    EXPECT_EQ(SplitKeywordLines("a\nb"), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(SplitKeywordLines("a\r\nb\r\n"), (std::vector<std::string>{"a", "b", ""}));
    EXPECT_EQ(SplitKeywordLines("\n\n"), (std::vector<std::string>{"", "", ""}));
}

TEST(KeywordAnalysis, EmptyTextLogsStartLinesAndGivesNoKeyword)
{
    RecordingPanes panes;
    AnalyzeKeywords(SplitKeywordLines(""));
    EXPECT_EQ(panes.panel.lines, kStartLines);
    EXPECT_EQ(g_arrKeywords.GetSize(), 0);
    EXPECT_EQ(panes.frame.finished, 0);
}

TEST(KeywordAnalysis, KeepsLinesAsTypedInOrderSkippingEmptyOnes)
{
    RecordingPanes panes;
    AnalyzeKeywords({"Alpha", "", "  ", "beta gamma", "Alpha", ""});
    ASSERT_EQ(g_arrKeywords.GetSize(), 4);
    EXPECT_EQ(KeywordAt(0), "Alpha");
    EXPECT_EQ(KeywordAt(1), "  ");  // a line of blanks is a keyword
    EXPECT_EQ(KeywordAt(2), "beta gamma");
    EXPECT_EQ(KeywordAt(3), "Alpha");  // duplicates are searched twice
    // The rest of every record is zero-filled.
    for (long i = 0; i < g_arrKeywords.GetSize(); ++i) {
        const auto& k = g_arrKeywords[i];
        const std::size_t len = std::strlen(k.szKeyword);
        for (std::size_t b = len; b < sizeof k.szKeyword; ++b) ASSERT_EQ(k.szKeyword[b], 0);
    }
    EXPECT_EQ(panes.panel.lines, kStartLines);
}

TEST(KeywordAnalysis, AcceptsExactly256LinesAndRefuses257)
{
    {
        RecordingPanes panes;
        std::vector<std::string> lines(256, "k");
        AnalyzeKeywords(lines);
        EXPECT_EQ(g_arrKeywords.GetSize(), 256);
        EXPECT_EQ(panes.frame.finished, 0);
    }
    {
        RecordingPanes panes;
        // 256 keywords followed by Enter: the empty 257th line counts.
        std::string text;
        for (int i = 0; i < 256; ++i) text += "k\n";
        AnalyzeKeywords(SplitKeywordLines(text));
        EXPECT_EQ(g_arrKeywords.GetSize(), 0);
        EXPECT_EQ(panes.panel.lines, std::vector<std::string>{LoadString(61452)});
        EXPECT_EQ(panes.frame.finished, 1);
    }
}

TEST(KeywordAnalysis, TooLongThirdLineDropsEarlierKeywords)
{
    RecordingPanes panes;
    AnalyzeKeywords({"one", "two", std::string(257, 'x'), "four"});
    EXPECT_EQ(g_arrKeywords.GetSize(), 0);
    EXPECT_EQ(panes.panel.lines, (std::vector<std::string>{LoadString(61453), LoadString(61454), LoadString(61455)}));
    EXPECT_EQ(panes.frame.finished, 1);
}

TEST(KeywordAnalysis, LineOf256BytesIsRefusedNotShortened)
{
    RecordingPanes panes;
    AnalyzeKeywords({std::string(256, 'y')});
    EXPECT_EQ(g_arrKeywords.GetSize(), 0);
    EXPECT_EQ(panes.panel.lines.back(), LoadString(61455));
    EXPECT_EQ(panes.frame.finished, 1);

    RecordingPanes again;
    AnalyzeKeywords({std::string(255, 'y')});
    ASSERT_EQ(g_arrKeywords.GetSize(), 1);
    EXPECT_EQ(KeywordAt(0).size(), 255u);
    EXPECT_EQ(again.frame.finished, 0);
}

TEST(KeywordAnalysis, MultiByteLinesAreMeasuredInBytes)
{
    RecordingPanes panes;
    // 128 two-byte characters: 256 bytes, refused.
    std::string umlauts;
    for (int i = 0; i < 128; ++i) umlauts += "\xC3\xBC";
    AnalyzeKeywords({umlauts});
    EXPECT_EQ(g_arrKeywords.GetSize(), 0);
    EXPECT_EQ(panes.frame.finished, 1);
}

TEST(KeywordAnalysis, RebuildsTheArrayOnEveryRun)
{
    RecordingPanes panes;
    AnalyzeKeywords({"a", "b"});
    AnalyzeKeywords({"c"});
    ASSERT_EQ(g_arrKeywords.GetSize(), 1);
    EXPECT_EQ(KeywordAt(0), "c");
}

TEST(KeywordAnalysis, InvalidWildcardPatternIsReportedOnceAndKept)
{
    RecordingPanes panes;
    g_conditions.MatchWildcards = 1;
    AnalyzeKeywords({"fo?", "a[b", "a[b", "x{2"});
    EXPECT_EQ(g_arrKeywords.GetSize(), 4);
    EXPECT_EQ(panes.panel.lines,
              (std::vector<std::string>{LoadString(61453), LoadString(61454), "a[b" + LoadString(61485),
                                        "x{2" + LoadString(61485)}));
    EXPECT_EQ(panes.frame.finished, 0);

    // Without wildcards the same keywords are plain text.
    RecordingPanes plain;
    AnalyzeKeywords({"a[b"});
    EXPECT_EQ(plain.panel.lines, kStartLines);
}
