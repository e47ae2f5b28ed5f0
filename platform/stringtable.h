// The program's string table: every user-visible text by its number, as the
// resources of the Windows program number them. Texts are 8-bit strings of
// the system code page and are kept exactly as the program has always shown
// them, odd spellings included, since people and scripts match on them.
#pragma once

#include "platform/wintypes.h"

#include <string>

// Returns the text of string `id`, or an empty string for an unknown id
// (as LoadString leaves its buffer empty).
std::string LoadString(UINT id);
// Whether the table holds `id` at all.
bool HasString(UINT id);

enum : UINT {
    IDS_OLE_INIT_FAILED = 100,
    IDR_MAINFRAME = 128,
    IDS_APP_NAME = 57344,
    IDS_IDLE_PROMPT = 57345,

    ID_FIND = 32775,
    ID_STOP = 32776,
    ID_OPTION = 32779,
    ID_OPEN_FILE = 32780,
    ID_OPEN_DIR = 32781,
    ID_COPY_FILES = 32783,
    ID_SETUP = 32784,
    ID_HELP_MANUAL = 32786,
    ID_APP_ABOUT = 57664,
    ID_APP_EXIT = 57665,
    ID_VIEW_TOOLBAR = 59392,
    ID_VIEW_STATUS_BAR = 59393,

    ID_INDICATOR_TIME = 61446,
    ID_INDICATOR_FILES = 61447,
    IDS_MY_COMPUTER = 61448,
    IDS_COLUMN_FILE_NAME = 61449,
    IDS_COLUMN_ADDRESS = 61450,
    IDS_COLUMN_MATCH_DEGREE = 61451,
    IDS_TOO_MANY_KEYWORDS = 61452,
    IDS_INITIALIZATION = 61453,
    IDS_ANALYZE_KEYWORDS = 61454,
    IDS_KEYWORD_TOO_LONG = 61455,
    IDS_SEARCH_SELECTED_DIRS = 61456,
    IDS_FILE_RUINED = 61457,
    IDS_FILE_IN_USE = 61458,
    IDS_SEARCH_FINISHED = 61459,
    IDS_WORD_START_FAILED = 61460,
    IDS_EXCEL_START_FAILED = 61461,
    IDS_OPTION_CAPTION = 61462,
    IDS_SETTINGS_NOT_SAVED = 61463,
    IDS_NO_KEYWORD = 61464,
    IDS_NO_FOLDER = 61465,
    IDS_NO_FILE_TYPE = 61466,
    IDS_USER_STOPPED = 61467,
    IDS_STATUS_INITIALIZING = 61468,
    IDS_STATUS_COMPLETE = 61469,
    IDS_OFFICE_2000 = 61470,
    IDS_OFFICE_2003 = 61471,
    IDS_OFFICE_XP = 61472,
    IDS_HELP_NOT_FOUND = 61473,
    IDS_SETUP_CAPTION = 61474,
    IDS_UPDATE_URL = 61484,
    // Texts this port adds: situations the Windows program never met.
    IDS_BAD_WILDCARD_KEYWORD = 61485,
    IDS_PATH_TOO_LONG = 61486,
    IDS_FOLDER_UNREADABLE = 61487,
};
