// Office detection and file patterns (see officedetection.h).
#include "search/officedetection.h"

#include "kestrel/officerecords.h"
#include "platform/registry.h"
#include "search/searchcontext.h"

#include <cstring>

namespace {

bool KeyExists(const char* path)
{
    HKEY key = nullptr;
    if (RegOpenKey(HKEY_LOCAL_MACHINE, path, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

void AddPattern(CPatternList& patterns, const char* mask, std::int32_t kind)
{
    _FilePattern p;
    std::memset(&p, 0, sizeof p);
    std::strncpy(p.szMask, mask, sizeof p.szMask - 1);
    p.nKind = kind;
    patterns.push_back(p);
}

}  // namespace

void DetectOffice(_OfficeVersions& versions)
{
    struct Generation {
        int number;
        const char* version;
        const char* excel;
        const char* word;
    };
    static const Generation generations[] = {
        {9, "SOFTWARE\\Microsoft\\Office\\9.0", "SOFTWARE\\Microsoft\\Office\\9.0\\Excel",
         "SOFTWARE\\Microsoft\\Office\\9.0\\Word"},
        {10, "SOFTWARE\\Microsoft\\Office\\10.0", "SOFTWARE\\Microsoft\\Office\\10.0\\Excel",
         "SOFTWARE\\Microsoft\\Office\\10.0\\Word"},
        {11, "SOFTWARE\\Microsoft\\Office\\11.0", "SOFTWARE\\Microsoft\\Office\\11.0\\Excel",
         "SOFTWARE\\Microsoft\\Office\\11.0\\Word"},
    };
    for (const Generation& g : generations) {
        if (KeyExists(g.excel)) versions.nExcel = g.number;
        if (KeyExists(g.word)) {
            versions.nWord = g.number;
            if (KeyExists(g.version)) versions.nGeneration = g.number;
        }
    }
}

void BuildFilePatterns(CPatternList& patterns, const _OfficeVersions& versions)
{
    if (g_bWordFile != 0 && versions.nWord != 0) AddPattern(patterns, "*.doc", FILE_KIND_WORD);
    if (g_bExcelFile != 0 && versions.nExcel != 0) AddPattern(patterns, "*.xls", FILE_KIND_EXCEL);
    if (g_bTextFile != 0 && versions.nWord != 0) AddPattern(patterns, "*.txt", FILE_KIND_TEXT);
    if (g_bHtmFile != 0 && versions.nWord != 0) AddPattern(patterns, "*.htm", FILE_KIND_HTM);
}
