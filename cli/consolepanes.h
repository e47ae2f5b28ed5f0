// The terminal's stand-ins for the message panel, the result list and the
// main frame. They are message targets like the windows: the worker sends
// them the same messages, and a send from the worker is a direct call under
// the target's lock. Results go to standard output, one record each; the
// log goes to standard error, sorted as the shell tools do: lines about
// files that could not be searched and errors that stop the search by
// default, the rest of the panel's log only when asked for.
#pragma once

#include "platform/messages.h"

#include <atomic>
#include <cstdio>
#include <string>

class CSearchScope;

class CConsoleMessagePanel : public CMessageTarget {
public:
    struct Options {
        bool verbose = false;     // every line of the panel's log
        bool noMessages = false;  // no lines about single files or folders
    };
    CConsoleMessagePanel(std::FILE* out, const CSearchScope* scope, Options options)
        : m_out(out), m_scope(scope), m_options(options)
    {
    }
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    // Whether a file or folder could not be searched, or the search could
    // not start.
    bool SawError() const { return m_error.load(); }

    enum class LineKind { Progress, Fatal, File, Other };
    // How a line of the panel's log is treated on a terminal.
    static LineKind KindOf(const std::string& line);

private:
    std::FILE* m_out;
    const CSearchScope* m_scope;
    Options m_options;
    std::atomic<bool> m_error{false};
};

class CConsoleResultList : public CMessageTarget {
public:
    struct Options {
        bool filesOnly = false;  // the path alone
        bool nullData = false;   // records end with NUL, not newline
        bool quiet = false;      // nothing printed; the first match stops the search
        bool color = false;
    };
    CConsoleResultList(std::FILE* out, const CSearchScope* scope, Options options)
        : m_out(out), m_scope(scope), m_options(options)
    {
    }
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    int Count() const { return m_count.load(); }

protected:
    std::FILE* m_out;
    const CSearchScope* m_scope;
    Options m_options;
    std::atomic<int> m_count{0};
};

class CConsoleFrame : public CMessageTarget {
public:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    int Finished() const { return m_finished.load(); }

private:
    std::atomic<int> m_finished{0};
};
