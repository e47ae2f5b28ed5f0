// The terminal's result list with the match report of every result:
// --matches adds one indented line per found keyword after the result line
// (TAB KEYWORD TAB PLACE TAB SNIPPET), --json writes each result as one
// JSON object on one line instead, so a stream of them reads with jq.
#pragma once

#include "cli/consolepanes.h"
#include "report/matchreport.h"

#include <string>

class CMatchResultList : public CConsoleResultList {
public:
    enum class Format { Lines, Json };
    CMatchResultList(std::FILE* out, const CSearchScope* scope, Options options, Format format)
        : CConsoleResultList(out, scope, options), m_format(format)
    {
    }
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    // The text written for one result after its result line (--matches) or
    // instead of it (--json), without the report's reading.
    static std::string Lines(const report::MatchReport& r);
    static std::string Json(int degree, const std::string& path, const report::MatchReport& r);

private:
    Format m_format;
};
