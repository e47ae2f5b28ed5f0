// The match report of a workbook (see workbookmatches.h). The search asks
// Range.Find of every sheet's cells for every keyword, with only What and
// MatchCase given; here the same RangeFinder answers the same question
// with the same options, and is asked again after each hit for the next
// cells, until it comes round to the first one or enough are found.
#include "report/workbookmatches.h"

#include "office/excel/rangefind.h"
#include "office/excel/workbookloader.h"
#include "office/text/matchtext.h"
#include "platform/cancellation.h"
#include "report/snippet.h"

#include <algorithm>
#include <memory>
#include <optional>

namespace report {

namespace {

// Where in `text` a hit of the pattern lies, for the highlight: the
// literal, or for a pattern with wildcards its first plain stretch; the
// whole text when neither can be placed (a pattern of wildcards only).
bool Locate(std::u16string_view text, const office::FindPattern& pattern, std::size_t& start, std::size_t& end)
{
    const bool fold = !pattern.MatchCase();
    std::u16string needle;
    if (pattern.IsLiteral()) needle = pattern.Literal();
    else if (!pattern.Runs().empty()) needle = pattern.Runs().front();
    needle = office::PrepareForMatch(needle, fold, false);
    const office::MatchText view(text, fold, false);
    if (needle.empty()) return false;
    const std::size_t at = view.Text().find(needle);
    if (at == std::u16string_view::npos) return false;
    start = view.OriginalStart(at);
    end = view.OriginalEnd(at + needle.size());
    return end > start;
}

MatchHit HitOf(const office::Workbook& book, std::size_t sheetIndex, office::CellPos pos,
               const office::FindPattern& pattern)
{
    const office::Sheet& sheet = book.sheets[sheetIndex];
    MatchHit hit;
    hit.place = CellAddress(sheet.name, pos.row, pos.column);
    if (sheet.visibility != office::SheetVisibility::Visible) hit.place += " (hidden sheet)";
    // The cell, found by binary search in the sorted cells.
    const office::Cell* cell = nullptr;
    auto it = std::lower_bound(
        sheet.cells.begin(), sheet.cells.end(), pos,
        [](const office::Cell& c, office::CellPos p) { return c.row != p.row ? c.row < p.row : c.column < p.column; });
    if (it != sheet.cells.end() && it->row == pos.row && it->column == pos.column) cell = &*it;
    if (cell == nullptr) return hit;
    // A cell matches by the text it shows or by its formula; the snippet
    // is whichever of them holds the hit, the shown text first.
    std::u16string_view text;
    std::size_t start = 0;
    std::size_t end = 0;
    bool placed = false;
    for (std::uint32_t index : {cell->shown, cell->formula}) {
        if (index == office::kNoText || index >= book.TextCount()) continue;
        const std::u16string_view candidate = book.Text(index);
        if (text.empty()) text = candidate;
        if (Locate(candidate, pattern, start, end)) {
            text = candidate;
            placed = true;
            break;
        }
    }
    if (!placed) {
        start = 0;
        end = text.size();
    }
    const Snippet snippet = MakeSnippet(text, start, end);
    hit.snippet = snippet.text;
    hit.hitStart = snippet.hitStart;
    hit.hitEnd = snippet.hitEnd;
    return hit;
}

}  // namespace

MatchReport WorkbookMatches(const std::string& path, const std::vector<std::u16string>& keywords,
                            const _FindedConditions& conditions, std::size_t maxHits)
{
    MatchReport report;
    std::shared_ptr<office::Workbook> book;
    office::ReadError error;
    try {
        book = office::ReadWorkbookModel(path, error);
    } catch (const platform::OperationCancelled&) {
        throw;
    } catch (const std::exception& e) {
        error.detail = e.what();
    }
    if (!book) {
        platform::ThrowIfStopRequested();
        report.error = error.detail;
        return report;
    }
    report.opened = true;
    report.keywords.resize(keywords.size());
    office::RangeFinder finder(book);
    const office::CellArea all;  // Worksheet.Cells
    for (std::size_t s = 0; s < book->sheets.size(); ++s) {
        for (std::size_t j = 0; j < keywords.size(); ++j) {
            platform::ThrowIfStopRequested();
            KeywordMatches& entry = report.keywords[j];
            // A keyword with all its hits shown needs no more sheets: the
            // search's answer for it is already yes.
            if (entry.found && entry.hits.size() >= maxHits) continue;
            office::RangeFindOptions options;
            options.what = keywords[j];
            options.matchCase = conditions.MatchCase != 0;
            const std::optional<office::CellPos> first = finder.Find(s, all, options);
            if (!first) continue;
            entry.found = true;
            const office::FindPattern pattern(options.what, options.matchCase, options.lookAt);
            std::optional<office::CellPos> at = first;
            // Each round asks for the next matching cell in row order; the
            // finder wraps round to the first, which ends the walk.
            while (at && entry.hits.size() < maxHits) {
                entry.hits.push_back(HitOf(*book, s, *at, pattern));
                at = finder.Find(s, all, options, at);
                if (at && *at == *first) break;
            }
        }
    }
    return report;
}

}  // namespace report
