// Range.Find matching (see rangefind.h).
#include "office/rangefind.h"

#include <unicode/uchar.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <cstring>

namespace office {

std::u16string FoldCase(std::u16string_view text)
{
    std::u16string out;
    if (text.empty()) return out;
    // Full folding may lengthen a text (ß -> ss) up to three times.
    out.resize(text.size() * 3 + 1);
    UErrorCode status = U_ZERO_ERROR;
    const int32_t len = u_strFoldCase(reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()),
                                      reinterpret_cast<const UChar*>(text.data()), static_cast<int32_t>(text.size()),
                                      U_FOLD_CASE_DEFAULT, &status);
    if (U_FAILURE(status) || len < 0) return std::u16string(text);
    out.resize(static_cast<std::size_t>(len));
    return out;
}

FindPattern::FindPattern(std::u16string_view what, bool matchCase, FindLookAt lookAt)
    : m_matchCase(matchCase), m_whole(lookAt == FindLookAt::Whole), m_empty(what.empty())
{
    std::u16string literal;
    auto flush = [&] {
        if (literal.empty()) return;
        const std::u16string text = matchCase ? literal : FoldCase(literal);
        for (char16_t c : text) m_elems.push_back({Kind::Char, c});
        literal.clear();
    };
    for (std::size_t i = 0; i < what.size(); ++i) {
        const char16_t c = what[i];
        if (c == u'~' && i + 1 < what.size() && (what[i + 1] == u'*' || what[i + 1] == u'?' || what[i + 1] == u'~')) {
            literal.push_back(what[++i]);
        } else if (c == u'*' || c == u'?') {
            flush();
            m_wild = true;
            // Runs of stars are one star.
            if (c == u'*' && !m_elems.empty() && m_elems.back().kind == Kind::Many) continue;
            m_elems.push_back({c == u'*' ? Kind::Many : Kind::One, 0});
        } else {
            literal.push_back(c);
        }
    }
    flush();
    if (!m_wild)
        for (const Elem& e : m_elems) m_literal.push_back(e.ch);
}

bool FindPattern::Matches(std::u16string_view text) const
{
    if (m_empty) return false;
    if (!m_wild) return m_whole ? text == m_literal : text.find(m_literal) != std::u16string_view::npos;
    return Glob(text);
}

bool FindPattern::Glob(std::u16string_view text) const
{
    // Iterative matching with one remembered star: linear in practice and
    // at worst pattern length times text length, never exponential. A part
    // match is a whole match with stars at both ends.
    const std::size_t n = text.size();
    const std::size_t m = m_elems.size();
    std::size_t t = 0;
    std::size_t p = 0;
    std::size_t starP = SIZE_MAX;
    std::size_t starT = 0;
    const bool anyStart = !m_whole;
    if (anyStart) {
        starP = 0;  // an implicit star before the pattern: p resumes at 0
        starT = 0;
    }
    auto unitLen = [&](std::size_t at) -> std::size_t {
        if (at + 1 < n && text[at] >= 0xD800 && text[at] <= 0xDBFF && text[at + 1] >= 0xDC00 && text[at + 1] <= 0xDFFF)
            return 2;
        return 1;
    };
    while (true) {
        if (p == m) {
            if (t == n || !m_whole) return true;  // a part match may end anywhere
        } else if (m_elems[p].kind == Kind::Many) {
            starP = p + 1;
            starT = t;
            p = starP;
            continue;
        } else if (t < n && (m_elems[p].kind == Kind::One || m_elems[p].ch == text[t])) {
            t += m_elems[p].kind == Kind::One ? unitLen(t) : 1;
            ++p;
            continue;
        }
        // Mismatch: let the last star swallow one more character.
        if (starP == SIZE_MAX || starT >= n) return false;
        starT += unitLen(starT);
        t = starT;
        p = starP;
    }
}

namespace {

// Substring search over UTF-16 text with glibc's memmem, which is much
// faster on long texts than a unit-by-unit loop; a hit at an odd byte
// offset straddles two units and is skipped.
std::size_t FindUnits(std::u16string_view text, std::u16string_view needle, std::size_t from)
{
    if (needle.empty() || from > text.size() || needle.size() > text.size() - from) return std::u16string_view::npos;
    const auto* base = reinterpret_cast<const char*>(text.data());
    const std::size_t end = text.size() * 2;
    std::size_t at = from * 2;
    while (at < end) {
        const void* hit = memmem(base + at, end - at, needle.data(), needle.size() * 2);
        if (hit == nullptr) return std::u16string_view::npos;
        const auto offset = static_cast<std::size_t>(static_cast<const char*>(hit) - base);
        if (offset % 2 == 0) return offset / 2;
        at = offset + 1;
    }
    return std::u16string_view::npos;
}

}  // namespace

RangeFinder::RangeFinder(std::shared_ptr<const Workbook> book) : m_book(std::move(book))
{
    m_columnOrder.resize(m_book->sheets.size());
    m_flat[0].resize(m_book->sheets.size());
    m_flat[1].resize(m_book->sheets.size());
}

const RangeFinder::FlatSheet& RangeFinder::Flat(std::size_t sheet, bool folded)
{
    FlatSheet& flat = m_flat[folded ? 1 : 0][sheet];
    if (flat.built) return flat;
    flat.built = true;
    const auto& cells = m_book->sheets[sheet].cells;
    // Cells may share one text (a shared string used a million times), so
    // the joined text can be far larger than the workbook's text pool; past
    // a cap for the whole workbook a sheet is searched cell by cell instead.
    std::size_t total = 0;
    for (const Cell& cell : cells) {
        if (cell.isFormula && cell.formula != kNoText) total += m_book->Text(cell.formula).size() + 1;
        if (cell.shown != kNoText) total += m_book->Text(cell.shown).size() + 1;
        if (total > kMaxFlatUnits - m_flatUnits) return flat;
    }
    m_flatUnits += total;
    flat.text.reserve(total);
    flat.starts.reserve(cells.size());
    auto append = [&](std::uint32_t text) {
        if (text == kNoText) return;
        flat.text += folded ? Folded(text) : m_book->Text(text);
        flat.text.push_back(kSeparator);
    };
    for (const Cell& cell : cells) {
        flat.starts.push_back(static_cast<std::uint32_t>(flat.text.size()));
        if (cell.isFormula) append(cell.formula);
        append(cell.shown);
    }
    return flat;
}

std::optional<CellPos> RangeFinder::FindLiteral(std::size_t sheet, const FindPattern& pattern, CellPos start)
{
    const FlatSheet& flat = Flat(sheet, !pattern.MatchCase());
    const auto& cells = m_book->sheets[sheet].cells;
    const std::u16string_view text(flat.text);
    // The first cell after `start` in row order.
    const auto next = std::upper_bound(cells.begin(), cells.end(), start, [](const CellPos& p, const Cell& c) {
        return p.row != c.row ? p.row < c.row : p.column < c.column;
    });
    const auto first = static_cast<std::size_t>(next - cells.begin());
    const std::size_t from = first < flat.starts.size() ? flat.starts[first] : text.size();
    auto cellAt = [&](std::size_t offset) {
        const auto it = std::upper_bound(flat.starts.begin(), flat.starts.end(), static_cast<std::uint32_t>(offset));
        const Cell& cell = cells[static_cast<std::size_t>(it - flat.starts.begin()) - 1];
        return CellPos{cell.row, cell.column};
    };
    std::size_t hit = FindUnits(text, pattern.Literal(), from);
    if (hit != std::u16string_view::npos) return cellAt(hit);
    hit = FindUnits(text, pattern.Literal(), 0);
    if (hit != std::u16string_view::npos && hit < from) return cellAt(hit);
    return std::nullopt;
}

const std::u16string& RangeFinder::Folded(std::uint32_t text)
{
    if (m_folded.size() < m_book->TextCount()) {
        m_folded.resize(m_book->TextCount());
        m_foldedReady.resize(m_book->TextCount(), 0);
    }
    if (text >= m_folded.size()) return m_book->Text(text);
    if (m_foldedReady[text] == 0) {
        // Most cell texts are ASCII; fold those without ICU, and keep no
        // copy of a text that folding leaves unchanged (numbers, dates).
        const std::u16string& original = m_book->Text(text);
        bool ascii = true;
        bool upper = false;
        for (char16_t c : original) {
            if (c >= 0x80) {
                ascii = false;
                break;
            }
            upper = upper || (c >= u'A' && c <= u'Z');
        }
        if (ascii && !upper) {
            m_foldedReady[text] = 2;
        } else if (ascii) {
            std::u16string lower(original);
            for (char16_t& c : lower)
                if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
            m_folded[text] = std::move(lower);
            m_foldedReady[text] = 1;
        } else {
            m_folded[text] = FoldCase(original);
            m_foldedReady[text] = 1;
        }
    }
    return m_foldedReady[text] == 2 ? m_book->Text(text) : m_folded[text];
}

bool RangeFinder::CellMatches(const Cell& cell, const FindPattern& pattern, FindLookIn lookIn,
                              std::vector<std::uint8_t>& memo)
{
    if (lookIn == FindLookIn::Comments) return false;  // comments are not read
    // Many cells may show one shared text; each text is matched once per
    // search, so the work follows the texts, not cells times text length.
    auto test = [&](std::uint32_t text) {
        if (text == kNoText) return false;
        if (text < memo.size() && memo[text] != 0) return memo[text] == 1;
        const bool match = pattern.Matches(pattern.MatchCase() ? std::u16string_view(m_book->Text(text))
                                                               : std::u16string_view(Folded(text)));
        if (text < memo.size()) memo[text] = match ? 1 : 2;
        return match;
    };
    if (lookIn == FindLookIn::Formulas && cell.isFormula && test(cell.formula)) return true;
    return test(cell.shown);
}

const std::vector<std::uint32_t>& RangeFinder::ColumnOrder(std::size_t sheet)
{
    auto& order = m_columnOrder[sheet];
    const auto& cells = m_book->sheets[sheet].cells;
    if (order.size() != cells.size()) {
        order.resize(cells.size());
        for (std::size_t i = 0; i < cells.size(); ++i) order[i] = static_cast<std::uint32_t>(i);
        std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
            return cells[a].column != cells[b].column ? cells[a].column < cells[b].column : cells[a].row < cells[b].row;
        });
    }
    return order;
}

std::optional<CellPos> RangeFinder::Find(std::size_t sheet, const CellArea& area, const FindOptions& options,
                                         std::optional<CellPos> after)
{
    if (sheet >= m_book->sheets.size() || options.what.empty()) return std::nullopt;
    const FindPattern pattern(options.what, options.matchCase, options.lookAt);
    const auto& cells = m_book->sheets[sheet].cells;
    const CellPos start = after.value_or(CellPos{area.firstRow, area.firstColumn});
    // The common search (all cells, part of a cell, no wildcard, formulas
    // and values, forwards by rows) is one substring search over the sheet.
    const CellArea whole;
    if (pattern.IsLiteral() && !pattern.IsWhole() && options.lookIn == FindLookIn::Formulas &&
        options.order == FindOrder::ByRows && options.direction == FindDirection::Next &&
        area.firstRow == whole.firstRow && area.firstColumn == whole.firstColumn && area.lastRow == whole.lastRow &&
        area.lastColumn == whole.lastColumn && pattern.Literal().find(kSeparator) == std::u16string::npos &&
        !Flat(sheet, !pattern.MatchCase()).starts.empty())
        return FindLiteral(sheet, pattern, start);
    const bool byColumns = options.order == FindOrder::ByColumns;
    const bool forward = options.direction == FindDirection::Next;
    // Position of a cell in the search order, to compare with `start`.
    auto key = [&](const Cell& c) {
        return byColumns ? (std::uint64_t{c.column} << 32) | c.row : (std::uint64_t{c.row} << 32) | c.column;
    };
    const std::uint64_t startKey =
        byColumns ? (std::uint64_t{start.column} << 32) | start.row : (std::uint64_t{start.row} << 32) | start.column;
    const std::vector<std::uint32_t>* order = byColumns ? &ColumnOrder(sheet) : nullptr;
    std::optional<CellPos> wrapped;
    std::vector<std::uint8_t> memo(m_book->TextCount(), 0);
    const std::size_t count = cells.size();
    for (std::size_t step = 0; step < count; ++step) {
        const std::size_t k = forward ? step : count - 1 - step;
        const Cell& cell = cells[order != nullptr ? (*order)[k] : k];
        if (!area.Contains(cell.row, cell.column)) continue;
        const std::uint64_t cellKey = key(cell);
        const bool beyond = forward ? cellKey > startKey : cellKey < startKey;
        if (!beyond && wrapped) continue;  // an earlier wrap-around match is already known
        if (!CellMatches(cell, pattern, options.lookIn, memo)) continue;
        if (beyond) return CellPos{cell.row, cell.column};
        wrapped = CellPos{cell.row, cell.column};
    }
    return wrapped;
}

}  // namespace office
