// Match report entry point (see matchreport.h): the keyword texts as the
// search passes them, the choice of Word or Excel as the search makes it,
// and the match degree as the search counts it.
#include "report/matchreport.h"

#include "kestrel/searchcommon.h"
#include "platform/cancellation.h"
#include "platform/codepage.h"
#include "report/wordmatches.h"
#include "report/workbookmatches.h"

namespace report {

MatchReport BuildMatchReport(const std::string& path, std::int32_t fileKind, const CKeywordArray& keywords,
                             const _FindedConditions& conditions, std::size_t maxHits)
{
    const long count = keywords.GetSize();
    MatchReport report;
    if (count <= 0) {
        report.opened = true;
        return report;
    }
    if (count > kestrel::kMaxKeywords) {
        report.error = "too many keywords";
        return report;
    }
    std::vector<std::u16string> texts;
    std::vector<std::string> typed;
    for (long i = 0; i < count; ++i) {
        typed.push_back(kestrel::KeywordText(keywords[i]));
        texts.push_back(AnsiToWide(typed.back()));
    }
    try {
        report = fileKind == FILE_KIND_EXCEL ? WorkbookMatches(path, texts, conditions, maxHits)
                                             : WordFileMatches(path, texts, conditions, maxHits);
    } catch (const platform::OperationCancelled&) {
        throw;
    } catch (const std::exception& e) {
        // The search counts a file it could not finish as not searched.
        report = MatchReport();
        report.error = e.what();
        return report;
    }
    long found = 0;
    for (std::size_t i = 0; i < report.keywords.size() && i < typed.size(); ++i) {
        report.keywords[i].keyword = typed[i];
        if (report.keywords[i].found) ++found;
    }
    report.degree = kestrel::MatchDegree(found, count);
    return report;
}

}  // namespace report
