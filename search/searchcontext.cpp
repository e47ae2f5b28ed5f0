// The process-wide search context (see searchcontext.h).
#include "search/searchcontext.h"

#include "platform/cancellation.h"
#include "platform/stringtable.h"

#include <cstring>

std::atomic<int> g_bRunning{0};
static_assert(std::atomic<int>::is_always_lock_free, "a signal handler clears the running flag");
CKeywordArray g_arrKeywords;
std::list<_SelectedFolder> g_listSelectedFolders;
std::atomic<int> g_bWordFile{0};
std::atomic<int> g_bExcelFile{0};
std::atomic<int> g_bTextFile{0};
std::atomic<int> g_bHtmFile{0};
CMatchSwitches g_conditions;
_ResultFileInfo g_resultFileInfo{};
int g_nResultCount = 0;
CSharedText g_strMessageText;
CSharedText g_strStatusText;

std::atomic<HWND> g_hWndMainFrame{nullptr};
std::atomic<HWND> g_hWndFolderTree{nullptr};
std::atomic<HWND> g_hWndResultList{nullptr};
std::atomic<HWND> g_hWndKeywordPanel{nullptr};
std::atomic<HWND> g_hWndMessagePanel{nullptr};

void CSharedText::Set(const std::string& text)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_text = text;
}

std::string CSharedText::Get() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_text;
}

void CSharedText::Append(const std::string& text)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_text += text;
}

_FindedConditions CMatchSwitches::Snapshot() const
{
    _FindedConditions c{};
    c.MatchCase = MatchCase.load();
    c.MatchWholeWord = MatchWholeWord.load();
    c.MatchWildcards = MatchWildcards.load();
    c.MatchSoundsLike = MatchSoundsLike.load();
    c.MatchAllWordForms = MatchAllWordForms.load();
    c.ClearSeriesSpace = ClearSeriesSpace.load();
    return c;
}

void CMatchSwitches::Assign(const _FindedConditions& c)
{
    MatchCase = c.MatchCase;
    MatchWholeWord = c.MatchWholeWord;
    MatchWildcards = c.MatchWildcards;
    MatchSoundsLike = c.MatchSoundsLike;
    MatchAllWordForms = c.MatchAllWordForms;
    ClearSeriesSpace = c.ClearSeriesSpace;
}

void LogLine(const std::string& line)
{
    g_strMessageText.Set(line);
    std::string copy = line;
    SendMessage(g_hWndMessagePanel.load(), WM_APPEND_MESSAGE, 0, reinterpret_cast<LPARAM>(&copy));
}

void LogString(UINT id)
{
    LogLine(LoadString(id));
}

void LogFileLine(const std::string& path, UINT id)
{
    LogLine(path + LoadString(id));
}

std::string MessageLineOf(LPARAM lParam)
{
    if (lParam != 0) return *reinterpret_cast<const std::string*>(lParam);
    return g_strMessageText.Get();
}

void BeginSearchRun()
{
    platform::ClearSearchStop();
    g_bRunning = 1;
}

void StopSearchRun() noexcept
{
    g_bRunning = 0;
    platform::RequestSearchStop();
}

void ResetSearchContext()
{
    g_bRunning = 0;
    platform::ClearSearchStop();
    g_arrKeywords.RemoveAll();
    g_listSelectedFolders.clear();
    g_bWordFile = 0;
    g_bExcelFile = 0;
    g_bTextFile = 0;
    g_bHtmFile = 0;
    g_conditions.Assign(_FindedConditions{0, 0, 0, 0, 0, 1});
    std::memset(&g_resultFileInfo, 0, sizeof g_resultFileInfo);
    g_nResultCount = 0;
    g_strMessageText.Set(std::string());
    g_strStatusText.Set(std::string());
    g_hWndMainFrame = nullptr;
    g_hWndFolderTree = nullptr;
    g_hWndResultList = nullptr;
    g_hWndKeywordPanel = nullptr;
    g_hWndMessagePanel = nullptr;
}
