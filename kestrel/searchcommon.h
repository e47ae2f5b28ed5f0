// Small pieces both document searches share: the keyword's text, the
// record's path and the match degree.
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

// The record's path, when it ends within its field. A path that fills the
// field without a terminating NUL names no file we could open safely.
inline bool RecordPath(const _ResultFileInfo& info, std::string& path)
{
    const void* nul = std::memchr(info.szFilePath, '\0', sizeof info.szFilePath);
    if (nul == nullptr) return false;
    path.assign(info.szFilePath, static_cast<std::size_t>(static_cast<const char*>(nul) - info.szFilePath));
    return true;
}

// Percentage of keywords found, product first, quotient truncated; but a
// file in which anything was found never shows 0, which would hide it from
// the result list (1 of 101 keywords is 0.99 %).
inline std::int32_t MatchDegree(long found, long count)
{
    if (count <= 0 || found <= 0) return 0;
    const long degree = found * 100 / count;
    return static_cast<std::int32_t>(degree > 0 ? degree : 1);
}

}  // namespace kestrel
