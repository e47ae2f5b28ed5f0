// The folder and file search driver: starts Word and/or Excel, visits every
// folder of the work list with every file mask, hands each file to the
// OfficeFind method of the run's generation, turns each outcome into a
// result row or a log line, and quits the applications it started. One
// driver per Office generation; they differ only in the wrapper types and
// Kestrel methods they use.
#pragma once

#include "search/officedetection.h"
#include "search/searchrun.h"

#include <functional>
#include <string>

// Which of the files the masks find in a folder are searched (`folder` ends
// with '/'). The window searches them all (no filter); varnel-find narrows
// the set to its operands and name filters. Set before the worker starts.
using CFileFilter = std::function<bool(const std::string& folder, const std::string& name)>;
void SetFileFilter(CFileFilter filter);

void SearchFolders9(CFolderWorkList& folders, const CPatternList& patterns, const _OfficeVersions& versions);
void SearchFolders10(CFolderWorkList& folders, const CPatternList& patterns, const _OfficeVersions& versions);
void SearchFolders11(CFolderWorkList& folders, const CPatternList& patterns, const _OfficeVersions& versions);
