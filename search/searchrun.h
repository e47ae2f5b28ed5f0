// The search run: the worker thread's procedure and the folder expansion.
// SearchThreadProc checks that there is something to search, detects the
// Office generation, builds the file patterns, turns the ticked folders into
// a flat work list (sub-folders expanded where asked) and hands it to the
// driver of that generation. It reports only through the search context.
#pragma once

#include <list>
#include <string>

// One folder of the work list: a zero-terminated path of at most 259 bytes.
struct _FolderPath {
    char szPath[260];
};
using CFolderWorkList = std::list<_FolderPath>;

// The worker's procedure. Runs on its own thread, started by Find while
// g_bRunning is 1; returns when the run has ended (the caller's thread then
// ends, which stands in for _endthread).
void SearchThreadProc();

// Appends every sub-folder below `path` to the end of `list`, depth first,
// in the file finder's order. Symbolic links to folders are not followed,
// so a link back up the tree cannot make the expansion endless; hidden
// folders are included. Stops as soon as g_bRunning is 0.
void ExpandSubfolders(CFolderWorkList& list, const std::string& path);
