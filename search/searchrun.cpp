// The worker's procedure and the sub-folder expansion (see searchrun.h).
#include "search/searchrun.h"

#include "platform/filefind.h"
#include "platform/stringtable.h"
#include "search/officedetection.h"
#include "search/searchcontext.h"
#include "search/searchdriver.h"

#include <cstring>

namespace {

// Appends `path` as a work-list record; false when it does not fit.
bool AppendFolder(CFolderWorkList& list, const std::string& path)
{
    _FolderPath record;
    std::memset(&record, 0, sizeof record);
    if (path.size() >= sizeof record.szPath) return false;
    std::memcpy(record.szPath, path.data(), path.size());
    list.push_back(record);
    return true;
}

void EndRun()
{
    SendMessage(g_hWndMainFrame.load(), WM_SEARCH_FINISHED, 0, 0);
}

}  // namespace

void ExpandSubfolders(CFolderWorkList& list, const std::string& path)
{
    const std::string mask = (!path.empty() && path.back() == '/') ? path + "*.*" : path + "/*.*";
    CFileFind finder;
    bool more = finder.FindFile(mask.c_str()) != 0;
    // Recursion depth is bounded: every level adds at least two bytes to a
    // path that must fit in 260.
    while (more && g_bRunning != 0) {
        more = finder.FindNextFile() != 0;
        if (!finder.IsDirectory() || finder.IsDots()) continue;
        // A link to a folder could lead back up the tree, or to a folder that
        // is searched anyway: links are not followed.
        if (finder.IsReparsePoint()) continue;
        const std::string child = finder.GetFilePath();
        if (!AppendFolder(list, child)) {
            LogFileLine(child, IDS_PATH_TOO_LONG);
            continue;
        }
        ExpandSubfolders(list, child);
    }
    finder.Close();
}

void SearchThreadProc()
{
    CFolderWorkList folders;
    CPatternList patterns;

    if (g_arrKeywords.GetSize() == 0) {
        LogString(IDS_NO_KEYWORD);
        EndRun();
        return;
    }
    if (g_listSelectedFolders.empty()) {
        LogString(IDS_NO_FOLDER);
        EndRun();
        return;
    }
    if (g_bWordFile == 0 && g_bExcelFile == 0 && g_bTextFile == 0 && g_bHtmFile == 0) {
        LogString(IDS_NO_FILE_TYPE);
        EndRun();
        return;
    }

    _OfficeVersions versions{0, 0, 0};
    DetectOffice(versions);
    BuildFilePatterns(patterns, versions);

    for (const _SelectedFolder& selected : g_listSelectedFolders) {
        if (g_bRunning == 0) return;  // Stop has already updated the window
        const std::string path(selected.szPath, strnlen(selected.szPath, sizeof selected.szPath));
        if (!AppendFolder(folders, path)) {
            LogFileLine(path, IDS_PATH_TOO_LONG);
            continue;
        }
        if (selected.bSubfolders != 0) ExpandSubfolders(folders, path);
    }

    switch (versions.nGeneration) {
    case 9:
        LogString(IDS_OFFICE_2000);
        SearchFolders9(folders, patterns, versions);
        break;
    case 10:
        LogString(IDS_OFFICE_XP);
        SearchFolders10(folders, patterns, versions);
        break;
    case 11:
        LogString(IDS_OFFICE_2003);
        SearchFolders11(folders, patterns, versions);
        break;
    default: break;
    }

    patterns.clear();
    folders.clear();
    LogString(IDS_SEARCH_FINISHED);
    EndRun();
}
