// Stand-ins for the message panel, the result list and the main frame that
// record what the search engine sends them, for tests without windows.
#pragma once

#include "search/searchcontext.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

class RecordingMessagePanel : public CMessageTarget {
public:
    LRESULT OnMessage(UINT message, WPARAM, LPARAM lParam) override
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (message == WM_APPEND_MESSAGE) lines.push_back(MessageLineOf(lParam));
        if (message == WM_CLEAR_MESSAGES) lines.clear();
        return 0;
    }
    std::vector<std::string> lines;

private:
    std::mutex m_lock;
};

class RecordingFrame : public CMessageTarget {
public:
    LRESULT OnMessage(UINT message, WPARAM, LPARAM) override
    {
        if (message == WM_SEARCH_FINISHED) ++finished;
        return 0;
    }
    int finished = 0;
};

struct ResultRow {
    std::string name, path;
    int degree, kind;
};

class RecordingResultList : public CMessageTarget {
public:
    LRESULT OnMessage(UINT message, WPARAM, LPARAM) override
    {
        if (message != WM_ADD_RESULT) return 0;
        rows.push_back({g_resultFileInfo.szFileName, g_resultFileInfo.szFilePath, g_resultFileInfo.nMatchDegree,
                        g_resultFileInfo.nFileKind});
        if (onRow) onRow(rows.back().name);
        return 0;
    }
    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        for (const auto& r : rows) names.push_back(r.name);
        return names;
    }
    std::vector<ResultRow> rows;
    // Called after each row, on the sender's thread while it waits, as a
    // window's handler would run.
    std::function<void(const std::string&)> onRow;
};

// Ticks a folder in the folder panel.
inline void SelectFolder(const std::filesystem::path& p, bool subfolders = false)
{
    _SelectedFolder f{};
    const std::string s = p.string();
    std::memcpy(f.szPath, s.data(), std::min(s.size(), sizeof f.szPath - 1));
    f.bSubfolders = subfolders ? 1 : 0;
    g_listSelectedFolders.push_back(f);
}

// Installs the recorders as the context's panes for one test.
struct RecordingPanes {
    RecordingPanes()
    {
        ResetSearchContext();
        g_hWndMessagePanel = &panel;
        g_hWndMainFrame = &frame;
        g_hWndResultList = &results;
    }
    ~RecordingPanes() { ResetSearchContext(); }
    RecordingMessagePanel panel;
    RecordingFrame frame;
    RecordingResultList results;
};
