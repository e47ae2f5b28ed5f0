// Terminal message targets (see consolepanes.h).
#include "cli/consolepanes.h"

#include "search/searchcontext.h"

LRESULT CConsoleMessagePanel::OnMessage(UINT message, WPARAM, LPARAM lParam)
{
    if (message != WM_APPEND_MESSAGE) return 0;
    const std::string line = MessageLineOf(lParam);
    if (m_progressShown) {
        std::fputs("\r\033[K", m_out);
        m_progressShown = false;
    }
    std::fputs(line.c_str(), m_out);
    std::fputc('\n', m_out);
    std::fflush(m_out);
    return 0;
}

LRESULT CConsoleResultList::OnMessage(UINT message, WPARAM, LPARAM)
{
    if (message == WM_ADD_RESULT) {
        std::fprintf(m_out, "%d%%\t%s\n", static_cast<int>(g_resultFileInfo.nMatchDegree), g_resultFileInfo.szFilePath);
        std::fflush(m_out);
        ++m_count;
    } else if (message == WM_CLEAR_RESULTS) {
        m_count = 0;
    }
    return 0;
}

LRESULT CConsoleFrame::OnMessage(UINT message, WPARAM, LPARAM)
{
    if (message == WM_SEARCH_FINISHED) ++m_finished;
    return 0;
}
