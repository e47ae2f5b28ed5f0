// Keyword analysis: limits, messages and the resulting keyword array.
#include "platform/stringtable.h"
#include "search/keywordanalysis.h"
#include "support/recordingpanes.h"

#include <gtest/gtest.h>

namespace {

using Lines = std::vector<std::string>;

const std::string kStart[] = {LoadString(IDS_INITIALIZATION), LoadString(IDS_ANALYZE_KEYWORDS)};

// The keywords analysed; the rest of every record must be zero-filled.
Lines Keywords()
{
    Lines out;
    for (long i = 0; i < g_arrKeywords.GetSize(); ++i) {
        const auto& k = g_arrKeywords[i];
        out.emplace_back(k.szKeyword);
        for (std::size_t b = out.back().size(); b < sizeof k.szKeyword; ++b) EXPECT_EQ(k.szKeyword[b], 0) << b;
    }
    return out;
}

TEST(KeywordAnalysis, OutcomesOfTheLimitsAndWildcards)
{
    std::string umlauts;  // 128 two-byte characters: 256 bytes
    for (int i = 0; i < 128; ++i) umlauts += "\xC3\xBC";
    std::string enter256;  // 256 keywords followed by Enter: the empty 257th line counts
    for (int i = 0; i < 256; ++i) enter256 += "k\n";
    const std::string tooLong = LoadString(IDS_KEYWORD_TOO_LONG), badWildcard = LoadString(IDS_BAD_WILDCARD_KEYWORD);
    const struct {
        const char* name;
        Lines input;
        bool wildcards;
        Lines keywords;
        Lines lines;  // after the two start lines
        int finished;
    } cases[] = {
        {"empty text", SplitKeywordLines(""), false, {}, {}, 0},
        // Lines are kept as typed, in order, duplicates too; blank lines
        // are keywords, empty ones are skipped.
        {"as typed", {"Alpha", "", "  ", "beta gamma", "Alpha", ""}, false, {"Alpha", "  ", "beta gamma", "Alpha"}, {}, 0},
        {"first byte zero", {std::string("\0x", 2), "a"}, false, {"a"}, {}, 0},  // reads as an empty keyword
        {"256 lines", Lines(256, "k"), false, Lines(256, "k"), {}, 0},
        {"255 bytes", {std::string(255, 'y')}, false, {std::string(255, 'y')}, {}, 0},
        {"256 bytes", {std::string(256, 'y')}, false, {}, {tooLong}, 1},
        {"256 bytes of UTF-8", {umlauts}, false, {}, {tooLong}, 1},
        {"too long third line", {"one", "two", std::string(257, 'x'), "four"}, false, {}, {tooLong}, 1},
        // An invalid pattern is reported once per line and kept.
        {"wildcards", {"fo?", "a[b", "a[b", "x{2"}, true, {"fo?", "a[b", "a[b", "x{2"},
         {"a[b" + badWildcard, "x{2" + badWildcard}, 0},
        {"plain text", {"a[b"}, false, {"a[b"}, {}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingPanes panes;
        g_conditions.MatchWildcards = c.wildcards ? 1 : 0;
        AnalyzeKeywords({"stale"});  // every run rebuilds the array
        panes.panel.lines.clear();
        AnalyzeKeywords(c.input);
        EXPECT_EQ(Keywords(), c.keywords);
        Lines expected(std::begin(kStart), std::end(kStart));
        expected.insert(expected.end(), c.lines.begin(), c.lines.end());
        EXPECT_EQ(panes.panel.lines, expected);
        EXPECT_EQ(panes.frame.finished, c.finished);
    }
    // Too many lines: refused before anything else is said.
    RecordingPanes panes;
    AnalyzeKeywords(SplitKeywordLines(enter256));
    EXPECT_TRUE(Keywords().empty());
    EXPECT_EQ(panes.panel.lines, Lines{LoadString(IDS_TOO_MANY_KEYWORDS)});
    EXPECT_EQ(panes.frame.finished, 1);
    // Lines ended as in a file from Windows; an empty last line is a line
    // (256 keywords and Enter were refused above).
    AnalyzeKeywords(SplitKeywordLines("Alpha\r\n\r\nbeta\n"));
    EXPECT_EQ(Keywords(), (Lines{"Alpha", "beta"}));
}

}  // namespace
