// The match report of a file the built-in Word reads: documents, text
// files and web pages (see matchreport.h).
#pragma once

#include "report/matchreport.h"

#include <string>
#include <vector>

namespace report {

// `keywords` as the search hands them to Find.Execute.
MatchReport WordFileMatches(const std::string& path, const std::vector<std::u16string>& keywords,
                            const _FindedConditions& conditions, std::size_t maxHits);

}  // namespace report
