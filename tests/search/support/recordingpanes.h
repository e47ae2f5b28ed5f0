// Stand-ins for the message panel and the main frame that record what the
// search engine sends them, for tests without windows.
#pragma once

#include "search/searchcontext.h"

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
    std::vector<std::string> Lines()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return lines;
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

// Installs the two recorders as the context's panes for one test.
struct RecordingPanes {
    RecordingPanes()
    {
        ResetSearchContext();
        g_hWndMessagePanel = &panel;
        g_hWndMainFrame = &frame;
    }
    ~RecordingPanes() { ResetSearchContext(); }
    RecordingMessagePanel panel;
    RecordingFrame frame;
};
