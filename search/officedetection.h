// Office detection and file patterns. The registry's machine hive says
// which Office generation is installed and whether Word and Excel are
// present; from that and the four file categories the worker builds the
// list of file masks it visits in every folder. Text and web pages are read
// by Word, so they need Word as much as Word documents do.
#pragma once

#include <cstdint>
#include <vector>

struct _OfficeVersions {
    int nGeneration;  // 9, 10 or 11 when that generation's Word and version keys exist, else 0
    int nWord;        // highest generation whose Word key exists, else 0
    int nExcel;       // highest generation whose Excel key exists, else 0
};

struct _FilePattern {
    char szMask[8];
    std::int32_t nKind;
};

using CPatternList = std::vector<_FilePattern>;

// Fills `versions` from HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Office: only
// the existence of keys is used. A later probe overwrites an earlier one, so
// each field ends with the highest version found.
void DetectOffice(_OfficeVersions& versions);

// Appends the masks for the chosen categories whose application is present,
// in the order doc, xls, txt, htm (the order every folder is visited in).
void BuildFilePatterns(CPatternList& patterns, const _OfficeVersions& versions);
