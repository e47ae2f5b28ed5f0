// The match report of a workbook the built-in Excel reads (see
// matchreport.h).
#pragma once

#include "report/matchreport.h"

#include <string>
#include <vector>

namespace report {

// `keywords` as the search hands them to Range.Find.
MatchReport WorkbookMatches(const std::string& path, const std::vector<std::u16string>& keywords,
                            const _FindedConditions& conditions, std::size_t maxHits);

}  // namespace report
