// The texts of the string table (see strings.h). They are 8-bit strings of
// the system code page and are kept exactly as the program has always shown
// them, odd spellings included, since people and scripts match on them.
#include "res/strings.h"

#include "res/resource.h"

#include <algorithm>
#include <array>

namespace {

constexpr auto kStrings = std::to_array<ResourceString>({
    {IDS_OLE_INIT_FAILED, "The OLE program initilization is failed, please makesure the OLE is the correct version!"},
    {IDR_MAINFRAME, "Varnel\n\nOffice\n\n\nVarnel.Document\nOffice Document"},
    {ID_FIND, "start find files\nFind"},
    {ID_STOP, "stop find files\nStop"},
    {ID_OPTION, "Set find Conditions\nOption"},
    {ID_OPEN_FILE, "Open File\nOpenFile"},
    {ID_OPEN_DIR, "Open Directory\nOpenDir"},
    {ID_COPY_FILES, "Copy Files\nCopy"},
    {ID_SETUP, "Operate Setup\nSetup"},
    {ID_HELP_MANUAL, "Software use manual\nManual"},
    {IDS_APP_NAME, "Varnel"},
    {IDS_IDLE_PROMPT, "Ready"},
    {ID_APP_EXIT, "Exit application program\nQuit"},
    {ID_VIEW_TOOLBAR, "show or hide tool bar\nshow or hide tool bar"},
    {ID_VIEW_STATUS_BAR, "show or hide status bar\nshow or hide status bar"},
    {ID_INDICATOR_TIME, "times"},
    {ID_INDICATOR_FILES, "Files:"},
    {IDS_MY_COMPUTER, "My Computer"},
    {IDS_COLUMN_FILE_NAME, "File Name"},
    {IDS_COLUMN_ADDRESS, "Address"},
    {IDS_COLUMN_MATCH_DEGREE, "Matchdegree"},
    {IDS_TOO_MANY_KEYWORDS, "the maximum number of the searching keywords could not exceed 256"},
    {IDS_INITIALIZATION, "Initialization..."},
    {IDS_ANALYZE_KEYWORDS, "Analyze key words..."},
    {IDS_KEYWORD_TOO_LONG, "The maximum byte of each keyword could not exceed 256"},
    {IDS_SEARCH_SELECTED_DIRS, "search all the selected directory"},
    {IDS_FILE_RUINED, ":Files is protected or ruined. Visiting is not permitted..."},
    {IDS_FILE_IN_USE, ":Files is opend, visiting is not permitted..."},
    {IDS_SEARCH_FINISHED, "Searching finished!!!  "},
    {IDS_WORD_START_FAILED, "word application execute faile..."},
    {IDS_EXCEL_START_FAILED, "execl application execute faile..."},
    {IDS_OPTION_CAPTION, "Option"},
    {IDS_SETTINGS_NOT_SAVED, "Information is not saved successfully!"},
    {IDS_NO_KEYWORD, "No keyword founded! Please enter the keyword!"},
    {IDS_NO_FOLDER, "No directory selected,please select the directory."},
    {IDS_NO_FILE_TYPE, "No filetype selected,please select the filetype"},
    {IDS_USER_STOPPED, "User terminate the searching..."},
    {IDS_STATUS_INITIALIZING, "initializtion..."},
    {IDS_STATUS_COMPLETE, "Complete..."},
    {IDS_OFFICE_2000, "The office 2000 is installed on current computer!"},
    {IDS_OFFICE_2003, "The office 2003 is installed on current computer!"},
    {IDS_OFFICE_XP, "The office XP is installed on current computer!"},
    {IDS_HELP_NOT_FOUND, "Sorry,  Help file 'HelpDocument.chm' is not found!!!"},
    {IDS_SETUP_CAPTION, "Setup"},
    // The project has no home page yet; .invalid never resolves.
    {IDS_UPDATE_URL, "https://varnel.invalid/update?ver=1.0"},
    {IDS_BAD_WILDCARD_KEYWORD, ":Keyword is not a valid wildcard pattern, nothing can be found for it"},
    {IDS_PATH_TOO_LONG, ":Path is too long, the file is not searched..."},
    {IDS_FOLDER_UNREADABLE, ":Folder cannot be read, it is skipped..."},
    {IDS_NAME_FOLDER_TREE, "Folders"},
    {IDS_NAME_RESULT_LIST, "Results"},
    {IDS_NAME_KEYWORDS, "Keywords"},
    {IDS_NAME_MESSAGES, "Messages"},
    {IDS_KEYWORD_HINT, "One keyword per line"},
    {IDS_TICKED_WITH_SUBFOLDERS, "with all sub-folders"},
    {IDS_TICKED_WITHOUT_SUBFOLDERS, "without sub-folders"},
    {IDS_NAME_TOOLBAR_MORE, "More toolbar buttons"},
    {IDS_NOT_TICKED, "not ticked"},
});

// The lookup halves the table, so it must stay in ascending order of ids,
// each id once.
static_assert(std::adjacent_find(kStrings.begin(), kStrings.end(),
                                 [](const ResourceString& a, const ResourceString& b) { return a.id >= b.id; }) ==
              kStrings.end());

}  // namespace

std::span<const ResourceString> ResourceStrings()
{
    return kStrings;
}
