// Result lines with their match reports (see matchoutput.h). The report is
// made while the worker waits in its send, from the same keyword array,
// switches and file kind the search has just used for the file.
#include "cli/matchoutput.h"

#include "cli/searchscope.h"
#include "platform/cancellation.h"
#include "search/searchcontext.h"

#include <nlohmann/json.hpp>

namespace {

// A count of characters of a UTF-8 text, for a hit range a JSON reader can
// use on the decoded string.
std::size_t Characters(const std::string& utf8, std::size_t bytes)
{
    std::size_t n = 0;
    for (std::size_t i = 0; i < bytes && i < utf8.size(); ++i) {
        if ((static_cast<unsigned char>(utf8[i]) & 0xC0) != 0x80) ++n;
    }
    return n;
}

// A field of a tab-separated line holds no tab or line end.
std::string Field(std::string s)
{
    for (char& c : s) {
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    }
    return s;
}

}  // namespace

std::string CMatchResultList::Lines(const report::MatchReport& r)
{
    std::string out;
    for (const report::KeywordMatches& k : r.keywords) {
        if (!k.found || k.hits.empty()) continue;
        out += "\t" + Field(k.keyword) + "\t" + Field(k.hits[0].place) + "\t" + Field(k.hits[0].snippet) + "\n";
    }
    return out;
}

std::string CMatchResultList::Json(int degree, const std::string& path, const report::MatchReport& r)
{
    nlohmann::ordered_json object;
    object["path"] = path;
    object["degree"] = degree;
    if (!r.opened) object["error"] = r.error;
    nlohmann::ordered_json keywords = nlohmann::ordered_json::array();
    for (const report::KeywordMatches& k : r.keywords) {
        nlohmann::ordered_json hits = nlohmann::ordered_json::array();
        for (const report::MatchHit& h : k.hits) {
            hits.push_back({{"place", h.place},
                            {"snippet", h.snippet},
                            {"hit", {Characters(h.snippet, h.hitStart), Characters(h.snippet, h.hitEnd)}}});
        }
        keywords.push_back({{"keyword", k.keyword}, {"found", k.found}, {"hits", std::move(hits)}});
    }
    object["keywords"] = std::move(keywords);
    // Paths and keywords are bytes; what is not UTF-8 shows as U+FFFD
    // rather than making the line unreadable.
    return object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

LRESULT CMatchResultList::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    // Paths only, or nothing at all: the report would not be shown.
    if (message != WM_ADD_RESULT || m_options.quiet || m_options.filesOnly)
        return CConsoleResultList::OnMessage(message, wParam, lParam);
    const std::string path = g_resultFileInfo.szFilePath;
    const int degree = static_cast<int>(g_resultFileInfo.nMatchDegree);
    report::MatchReport r;
    try {
        r = report::BuildMatchReport(path, g_resultFileInfo.nFileKind, g_arrKeywords, g_conditions.Snapshot());
    } catch (const platform::OperationCancelled&) {
        // Ctrl+C while the report was read: the result stands without it.
        r.error = "stopped";
    } catch (const std::exception& e) {
        r.error = e.what();
    }
    if (m_format == Format::Json) {
        const std::string shown = m_scope != nullptr ? m_scope->Display(path) : path;
        std::fputs(Json(degree, shown, r).c_str(), m_out);
        ++m_count;
    } else {
        CConsoleResultList::OnMessage(message, wParam, lParam);
        std::fputs(Lines(r).c_str(), m_out);
    }
    std::fflush(m_out);
    return 0;
}
