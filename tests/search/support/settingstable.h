// The thirteen saved switches in one table: the registry key and value name
// they are kept under, their default on a first start, and the sheet (0 the
// Option sheet's General tab, 1 its File Category tab, 2 the Setup sheet)
// and check box that show them. The settings store's test and the sheets'
// window test both walk it.
#pragma once

#include "search/searchcontext.h"

#include <atomic>

inline const char* const kOptionKey = "SOFTWARE\\Varnel\\Option";
inline const char* const kSetupKey = "SOFTWARE\\Varnel\\Setup";

struct SavedSwitch {
    const char* key;
    const char* name;
    std::atomic<int>* value;
    int byDefault;
    int page;
    const char* box;
};

inline const SavedSwitch kSavedSwitches[] = {
    {kOptionKey, "MatchCase", &g_conditions.MatchCase, 0, 0, "IDC_MATCH_CASE"},
    {kOptionKey, "MatchWholeWord", &g_conditions.MatchWholeWord, 0, 0, "IDC_MATCH_WHOLE_WORD"},
    {kOptionKey, "MatchWildcards", &g_conditions.MatchWildcards, 0, 0, "IDC_MATCH_WILDCARDS"},
    {kOptionKey, "MatchSoundsLike", &g_conditions.MatchSoundsLike, 0, 0, "IDC_MATCH_SOUNDS_LIKE"},
    {kOptionKey, "MatchAllWordForms", &g_conditions.MatchAllWordForms, 0, 0, "IDC_MATCH_ALL_WORD_FORMS"},
    {kOptionKey, "ClearSeriesSpace", &g_conditions.ClearSeriesSpace, 1, 0, "IDC_CLEAR_SERIES_SPACE"},
    {kOptionKey, "WordFile", &g_bWordFile, 0, 1, "IDC_WORD_FILE"},
    {kOptionKey, "ExcelFile", &g_bExcelFile, 0, 1, "IDC_EXCEL_FILE"},
    {kOptionKey, "TextFile", &g_bTextFile, 0, 1, "IDC_TEXT_FILE"},
    {kOptionKey, "HtmFile", &g_bHtmFile, 0, 1, "IDC_HTM_FILE"},
    {kSetupKey, "DCOpenFile", &g_bDCOpenFile, 0, 2, "IDC_DC_OPEN_FILE"},
    {kSetupKey, "OpenMultiFiles", &g_bOpenMultiFiles, 0, 2, "IDC_OPEN_MULTI_FILES"},
    {kSetupKey, "OpenMultiDirs", &g_bOpenMultiDirs, 0, 2, "IDC_OPEN_MULTI_DIRS"},
};
