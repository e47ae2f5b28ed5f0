// Small pieces both document searches share: the keyword's text and the
// match degree.
#pragma once

#include "kestrel/officerecords.h"

#include <cstdint>
#include <cstring>
#include <string>

namespace kestrel {

// The most keywords a record can flag.
constexpr long kMaxKeywords = static_cast<long>(sizeof(_ResultFileInfo::nKeywordFound) / sizeof(std::int32_t));

// The keyword's text from a copy of its 256-byte element. The text ends at
// the first NUL; an element without one is cut at its 256 bytes rather
// than read past.
inline std::string KeywordText(const _FindKeyWord& keyword)
{
    _FindKeyWord copy;
    std::memcpy(&copy, &keyword, sizeof copy);
    const void* end = std::memchr(copy.szKeyword, '\0', sizeof copy.szKeyword);
    const std::size_t length = end != nullptr ? static_cast<std::size_t>(static_cast<const char*>(end) - copy.szKeyword)
                                              : sizeof copy.szKeyword;
    return std::string(copy.szKeyword, length);
}

// Percentage of keywords found, product first, quotient truncated.
inline std::int32_t MatchDegree(long found, long count)
{
    return count > 0 ? static_cast<std::int32_t>(found * 100 / count) : 0;
}

}  // namespace kestrel
