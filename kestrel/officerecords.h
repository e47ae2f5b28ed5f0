// The records that cross between Varnel and Kestrel. Their byte layout is a
// contract between the two modules (32-bit little-endian integers, no
// padding), so it is pinned here with static_asserts.
#pragma once

#include "platform/carray.h"

#include <cstddef>
#include <cstdint>

#pragma pack(push, 1)

struct _ResultFileInfo {
    char szFileName[260];
    char szFilePath[260];
    std::int32_t nMatchDegree;
    std::int32_t nFileKind;
    std::int32_t nKeywordFound[256];
};

struct _FindKeyWord {
    char szKeyword[256];
};

struct _FindedConditions {
    std::int32_t MatchCase;
    std::int32_t MatchWholeWord;
    std::int32_t MatchWildcards;
    std::int32_t MatchSoundsLike;
    std::int32_t MatchAllWordForms;
    std::int32_t ClearSeriesSpace;
};

#pragma pack(pop)

static_assert(sizeof(_ResultFileInfo) == 1552);
static_assert(offsetof(_ResultFileInfo, szFileName) == 0);
static_assert(offsetof(_ResultFileInfo, szFilePath) == 0x104);
static_assert(offsetof(_ResultFileInfo, nMatchDegree) == 0x208);
static_assert(offsetof(_ResultFileInfo, nFileKind) == 0x20C);
static_assert(offsetof(_ResultFileInfo, nKeywordFound) == 0x210);
static_assert(sizeof(_FindKeyWord) == 256);
static_assert(sizeof(_FindedConditions) == 24);
static_assert(offsetof(_FindedConditions, MatchCase) == 0);
static_assert(offsetof(_FindedConditions, MatchWholeWord) == 4);
static_assert(offsetof(_FindedConditions, MatchWildcards) == 8);
static_assert(offsetof(_FindedConditions, MatchSoundsLike) == 12);
static_assert(offsetof(_FindedConditions, MatchAllWordForms) == 16);
static_assert(offsetof(_FindedConditions, ClearSeriesSpace) == 20);

using CKeywordArray = CArray<_FindKeyWord, _FindKeyWord>;

// File kinds: the pattern a file was found through, and the result list's
// image index.
enum : std::int32_t {
    FILE_KIND_WORD = 0,
    FILE_KIND_EXCEL = 2,
    FILE_KIND_TEXT = 4,
    FILE_KIND_HTM = 5,
};
