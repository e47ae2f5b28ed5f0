// The terminal's stand-ins for the message panel, the result list and the
// main frame. They are message targets like the windows: the worker sends
// them the same messages, and a send from the worker is a direct call under
// the target's lock. Results go to standard output, one line each; every
// log line goes to standard error, in order.
#pragma once

#include "platform/messages.h"

#include <atomic>
#include <cstdio>
#include <string>

class CConsoleMessagePanel : public CMessageTarget {
public:
    explicit CConsoleMessagePanel(std::FILE* out) : m_out(out) {}
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    // A progress line is shown on a terminal; log lines must clear it first.
    void SetProgressShown(bool shown) { m_progressShown = shown; }
    bool ProgressShown() const { return m_progressShown; }

private:
    std::FILE* m_out;
    std::atomic<bool> m_progressShown{false};
};

class CConsoleResultList : public CMessageTarget {
public:
    explicit CConsoleResultList(std::FILE* out) : m_out(out) {}
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    int Count() const { return m_count.load(); }

protected:
    std::FILE* m_out;
    std::atomic<int> m_count{0};
};

class CConsoleFrame : public CMessageTarget {
public:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    int Finished() const { return m_finished.load(); }

private:
    std::atomic<int> m_finished{0};
};
