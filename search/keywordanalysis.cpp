// Keyword analysis (see keywordanalysis.h).
#include "search/keywordanalysis.h"

#include "office/word/wildcardcheck.h"
#include "platform/codepage.h"
#include "platform/stringtable.h"
#include "search/searchcontext.h"

#include <cstring>

std::vector<std::string> SplitKeywordLines(std::string_view text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (;;) {
        const std::size_t lf = text.find('\n', start);
        std::string_view line = text.substr(start, lf == std::string_view::npos ? std::string_view::npos : lf - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.emplace_back(line);
        if (lf == std::string_view::npos) break;
        start = lf + 1;
    }
    return lines;
}

namespace {

void FinishEarly()
{
    SendMessage(g_hWndMainFrame.load(), WM_SEARCH_FINISHED, 0, 0);
}

}  // namespace

int AnalyzeKeywords(const std::vector<std::string>& lines)
{
    g_arrKeywords.RemoveAll();

    if (lines.size() > kMaxKeywordLines) {
        LogString(IDS_TOO_MANY_KEYWORDS);
        FinishEarly();
        return 0;
    }

    LogString(IDS_INITIALIZATION);
    LogString(IDS_ANALYZE_KEYWORDS);

    for (const std::string& line : lines) {
        if (line.size() >= kKeywordRecordBytes) {
            LogString(IDS_KEYWORD_TOO_LONG);
            FinishEarly();
            g_arrKeywords.RemoveAll();
            return 0;
        }
        if (line.empty()) continue;
        _FindKeyWord keyword;
        std::memset(&keyword, 0, sizeof keyword);
        std::memcpy(keyword.szKeyword, line.data(), line.size());
        // A line whose first byte is a zero reads as an empty keyword.
        if (keyword.szKeyword[0] == '\0') continue;
        g_arrKeywords.Add(keyword);
    }

    // A keyword that is no valid wildcard pattern finds nothing in any file;
    // say so once, so the person does not take silence for "not there".
    if (g_conditions.MatchWildcards != 0) {
        std::vector<std::string> reported;
        for (long i = 0; i < g_arrKeywords.GetSize(); ++i) {
            const std::string text(g_arrKeywords[i].szKeyword);
            if (office::IsValidWordWildcardPattern(AnsiToWide(text))) continue;
            bool seen = false;
            for (const std::string& r : reported) seen = seen || r == text;
            if (seen) continue;
            reported.push_back(text);
            LogLine(text + LoadString(IDS_BAD_WILDCARD_KEYWORD));
        }
    }
    return 0;
}
