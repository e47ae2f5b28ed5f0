// Keyword arrays as the keyword panel fills them, for the tests that call
// Kestrel, the search run and the match report.
#pragma once

#include "kestrel/officerecords.h"

#include <cstring>
#include <string>
#include <vector>

// Appends each word, cut to the element's 255 bytes and a NUL.
inline CKeywordArray& AddKeywords(CKeywordArray& keywords, const std::vector<std::string>& words)
{
    for (const std::string& w : words) {
        _FindKeyWord k{};
        std::strncpy(k.szKeyword, w.c_str(), sizeof k.szKeyword - 1);
        keywords.Add(k);
    }
    return keywords;
}

inline CKeywordArray Keywords(const std::vector<std::string>& words)
{
    CKeywordArray out;
    return AddKeywords(out, words);
}
