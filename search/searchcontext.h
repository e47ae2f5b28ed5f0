// The search context: the process-wide objects through which the window
// prepares a search, the worker carries it out, and both report to the
// panes, plus the user messages the parts of the program talk with.
//
// Two threads use it: the UI thread and at most one worker. The UI thread
// fills the keyword array and the folder list before it starts the worker
// and leaves them alone while it runs; the worker reports through
// synchronous sends, so the UI thread reads the result record and the
// message text while the worker waits. What both threads touch at other
// times is made safe here: the running flag, the switches the Option sheet
// may change during a run and the window handles are atomics, and the two
// shared texts are guarded strings that are never locked across a send.
#pragma once

#include "kestrel/officerecords.h"
#include "platform/messages.h"

#include <atomic>
#include <cstdint>
#include <list>
#include <mutex>
#include <string>

// ---- User messages ---------------------------------------------------------
enum : UINT {
    WM_COLLECT_FOLDERS = WM_USER + 1,
    WM_ADD_RESULT = WM_USER + 2,
    WM_ANALYZE_KEYWORDS = WM_USER + 3,
    WM_APPEND_MESSAGE = WM_USER + 4,
    WM_CLEAR_MESSAGES = WM_USER + 5,
    WM_SEARCH_FINISHED = WM_USER + 6,
    WM_CLEAR_RESULTS = WM_USER + 7,
    WM_SHOW_OPTIONS = WM_USER + 8,
    WM_RESULT_SELECTION = WM_USER + 9,
    WM_RESULT_ACTION = WM_USER + 10,
    WM_ENABLE_RESULT_ACTIONS = WM_USER + 11,
};

// ---- Records -----------------------------------------------------------------
// One ticked folder of the tree.
struct _SelectedFolder {
    char szPath[260];
    int bSubfolders;
};

// A string written on one thread and read on another. Readers get a copy;
// the lock is held only for the assignment or the copy, never across a send.
class CSharedText {
public:
    void Set(const std::string& text);
    std::string Get() const;
    void Append(const std::string& text);

private:
    mutable std::mutex m_lock;
    std::string m_text;
};

// The six match switches. The Option sheet may change them while a search
// runs and the driver copies them for every file, so each is atomic; a
// snapshot gives the plain record Kestrel takes by value.
struct CMatchSwitches {
    std::atomic<std::int32_t> MatchCase{0};
    std::atomic<std::int32_t> MatchWholeWord{0};
    std::atomic<std::int32_t> MatchWildcards{0};
    std::atomic<std::int32_t> MatchSoundsLike{0};
    std::atomic<std::int32_t> MatchAllWordForms{0};
    std::atomic<std::int32_t> ClearSeriesSpace{1};

    _FindedConditions Snapshot() const;
    void Assign(const _FindedConditions& c);
};

// ---- The context -----------------------------------------------------------
extern std::atomic<int> g_bRunning;
extern CKeywordArray g_arrKeywords;
extern std::list<_SelectedFolder> g_listSelectedFolders;
extern std::atomic<int> g_bWordFile;
extern std::atomic<int> g_bExcelFile;
extern std::atomic<int> g_bTextFile;
extern std::atomic<int> g_bHtmFile;
extern CMatchSwitches g_conditions;
extern _ResultFileInfo g_resultFileInfo;
extern int g_nResultCount;
extern CSharedText g_strMessageText;
extern CSharedText g_strStatusText;

extern std::atomic<HWND> g_hWndMainFrame;
extern std::atomic<HWND> g_hWndFolderTree;
extern std::atomic<HWND> g_hWndResultList;
extern std::atomic<HWND> g_hWndKeywordPanel;
extern std::atomic<HWND> g_hWndMessagePanel;

// Logs one line: puts it into g_strMessageText and sends
// WM_APPEND_MESSAGE to the message panel. The line also travels with the
// message (lParam points at the sender's own copy), so a line set by the
// other thread in between can never replace it; the panel appends that copy.
void LogLine(const std::string& line);
// Logs string `id` of the string table.
void LogString(UINT id);
// Logs `path` followed by string `id` (":Files is ...").
void LogFileLine(const std::string& path, UINT id);
// The line a WM_APPEND_MESSAGE carries: the sender's copy when lParam
// holds one, else the shared message text.
std::string MessageLineOf(LPARAM lParam);

// Find: sets the running flag and clears the stop request of the previous
// run (see platform/cancellation.h), so that the new run's files are read.
void BeginSearchRun();
// Stop, closing the window, Ctrl+C: clears the running flag, which the
// worker tests between folders and files, and sets the stop request, which
// ends a call into the built-in Word or Excel inside a file. Two lock-free
// atomic stores, so a signal handler may call it.
void StopSearchRun() noexcept;

// Restores every object to its start-up state (tests, and a clean start).
void ResetSearchContext();
