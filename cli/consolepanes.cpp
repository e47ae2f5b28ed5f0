// Terminal message targets (see consolepanes.h).
#include "cli/consolepanes.h"

#include "cli/searchscope.h"
#include "platform/stringtable.h"
#include "search/searchcontext.h"

#include <cstring>

namespace {

bool EndsWith(const std::string& line, const std::string& end)
{
    return line.size() >= end.size() && line.compare(line.size() - end.size(), end.size(), end) == 0;
}

// The endings of the lines about one file or folder: "<path>:<reason>".
constexpr UINT kFileLineEnds[] = {IDS_FILE_RUINED, IDS_FILE_IN_USE, IDS_PATH_TOO_LONG, IDS_FOLDER_UNREADABLE};

}  // namespace

CConsoleMessagePanel::LineKind CConsoleMessagePanel::KindOf(const std::string& line)
{
    for (UINT id : {IDS_INITIALIZATION, IDS_ANALYZE_KEYWORDS, IDS_SEARCH_SELECTED_DIRS, IDS_OFFICE_2000, IDS_OFFICE_XP,
                    IDS_OFFICE_2003, IDS_SEARCH_FINISHED, IDS_USER_STOPPED})
        if (line == LoadString(id)) return LineKind::Progress;
    for (UINT id : {IDS_NO_KEYWORD, IDS_NO_FOLDER, IDS_NO_FILE_TYPE, IDS_WORD_START_FAILED, IDS_EXCEL_START_FAILED,
                    IDS_TOO_MANY_KEYWORDS, IDS_KEYWORD_TOO_LONG})
        if (line == LoadString(id)) return LineKind::Fatal;
    for (UINT id : kFileLineEnds)
        if (EndsWith(line, LoadString(id))) return LineKind::File;
    return LineKind::Other;
}

LRESULT CConsoleMessagePanel::OnMessage(UINT message, WPARAM, LPARAM lParam)
{
    if (message != WM_APPEND_MESSAGE) return 0;
    std::string line = MessageLineOf(lParam);
    const LineKind kind = KindOf(line);
    if (kind == LineKind::Fatal || kind == LineKind::File) m_error = true;
    if (kind == LineKind::Progress && !m_options.verbose) return 0;
    if (kind == LineKind::File) {
        if (m_options.noMessages) return 0;
        // The path as the user wrote the operand, before the reason.
        for (UINT id : kFileLineEnds) {
            const std::string end = LoadString(id);
            if (m_scope == nullptr || !EndsWith(line, end)) continue;
            line = m_scope->Display(line.substr(0, line.size() - end.size())) + end;
            break;
        }
    }
    std::fputs(line.c_str(), m_out);
    std::fputc('\n', m_out);
    std::fflush(m_out);
    return 0;
}

LRESULT CConsoleResultList::OnMessage(UINT message, WPARAM, LPARAM)
{
    if (message == WM_CLEAR_RESULTS) {
        m_count = 0;
        return 0;
    }
    if (message != WM_ADD_RESULT) return 0;
    if (m_count++ > 0 && m_options.quiet) return 0;
    if (m_options.quiet) {
        // One match decides the exit status: the search need not go on.
        StopSearchRun();
        return 0;
    }
    const std::string path = m_scope != nullptr ? m_scope->Display(g_resultFileInfo.szFilePath)
                                                : std::string(g_resultFileInfo.szFilePath);
    const int degree = static_cast<int>(g_resultFileInfo.nMatchDegree);
    if (!m_options.filesOnly) {
        if (m_options.color) std::fprintf(m_out, "\033[32m%d%%\033[0m\t", degree);
        else std::fprintf(m_out, "%d%%\t", degree);
    }
    if (m_options.color) std::fprintf(m_out, "\033[35m%s\033[0m", path.c_str());
    else std::fputs(path.c_str(), m_out);
    std::fputc(m_options.nullData ? '\0' : '\n', m_out);
    std::fflush(m_out);
    return 0;
}

LRESULT CConsoleFrame::OnMessage(UINT message, WPARAM, LPARAM)
{
    if (message == WM_SEARCH_FINISHED) ++m_finished;
    return 0;
}
