// String table contents (see stringtable.h).
#include "platform/stringtable.h"

#include <map>

namespace {

const std::map<UINT, const char*>& Table()
{
    static const std::map<UINT, const char*> table = {
        {100, "The OLE program initilization is failed, please makesure the OLE is the correct version!"},
        {128, "Varnel\n\nOffice\n\n\nVarnel.Document\nOffice Document"},
        {32775, "start find files\nFind"},
        {32776, "stop find files\nStop"},
        {32779, "Set find Conditions\nOption"},
        {32780, "Open File\nOpenFile"},
        {32781, "Open Directory\nOpenDir"},
        {32783, "Copy Files\nCopy"},
        {32784, "Operate Setup\nSetup"},
        {32786, "Software use manual\nManual"},
        {57344, "Varnel"},
        {57345, "Ready"},
        {57665, "Exit application program\nQuit"},
        {59392, "show or hide tool bar\nshow or hide tool bar"},
        {59393, "show or hide status bar\nshow or hide status bar"},
        {61446, "times"},
        {61447, "Files:"},
        {61448, "My Computer"},
        {61449, "File Name"},
        {61450, "Address"},
        {61451, "Matchdegree"},
        {61452, "the maximum number of the searching keywords could not exceed 256"},
        {61453, "Initialization..."},
        {61454, "Analyze key words..."},
        {61455, "The maximum byte of each keyword could not exceed 256"},
        {61456, "search all the selected directory"},
        {61457, ":Files is protected or ruined. Visiting is not permitted..."},
        {61458, ":Files is opend, visiting is not permitted..."},
        {61459, "Searching finished!!!  "},
        {61460, "word application execute faile..."},
        {61461, "execl application execute faile..."},
        {61462, "Option"},
        {61463, "Information is not saved successfully!"},
        {61464, "No keyword founded! Please enter the keyword!"},
        {61465, "No directory selected,please select the directory."},
        {61466, "No filetype selected,please select the filetype"},
        {61467, "User terminate the searching..."},
        {61468, "initializtion..."},
        {61469, "Complete..."},
        {61470, "The office 2000 is installed on current computer!"},
        {61471, "The office 2003 is installed on current computer!"},
        {61472, "The office XP is installed on current computer!"},
        {61473, "Sorry,  Help file 'HelpDocument.chm' is not found!!!"},
        {61474, "Setup"},
        // The project has no home page yet; .invalid never resolves.
        {61484, "https://varnel.invalid/update?ver=1.0"},
        {61485, ":Keyword is not a valid wildcard pattern, nothing can be found for it"},
        {61486, ":Path is too long, the file is not searched..."},
        {61487, ":Folder cannot be read, it is skipped..."},
    };
    return table;
}

}  // namespace

std::string LoadString(UINT id)
{
    auto it = Table().find(id);
    return it == Table().end() ? std::string() : std::string(it->second);
}

bool HasString(UINT id)
{
    return Table().count(id) != 0;
}
