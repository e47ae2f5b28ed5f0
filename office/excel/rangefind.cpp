// Range.Find matching (see rangefind.h).
#include "office/excel/rangefind.h"

#include "office/text/casefold.h"
#include "office/text/matchtext.h"
#include "platform/cancellation.h"

#include <algorithm>
#include <string>

namespace office {

namespace {

// A cell's place in the search order, comparable as one number.
std::uint64_t OrderKey(std::uint32_t row, std::uint32_t column, bool byColumns)
{
    return byColumns ? (std::uint64_t{column} << 32) | row : (std::uint64_t{row} << 32) | column;
}

}  // namespace

FindPattern::FindPattern(std::u16string_view typed, bool matchCase, FindLookAt lookAt)
    : m_matchCase(matchCase), m_whole(lookAt == FindLookAt::Whole), m_empty(typed.empty())
{
    // In the form the cells' texts are compared in (NFC, without format
    // characters), before the wildcards are read.
    const std::u16string prepared = PrepareForMatch(typed, false, false);
    const std::u16string_view what = prepared;
    std::u16string literal;
    auto flush = [&] {
        if (literal.empty()) return;
        const std::u16string text = matchCase ? literal : FullCaseFold(literal);
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
    std::u16string run;
    for (const Elem& e : m_elems) {
        if (e.kind == Kind::Char) {
            run.push_back(e.ch);
        } else if (!run.empty()) {
            m_runs.push_back(std::move(run));
            run.clear();
        }
    }
    if (!run.empty()) m_runs.push_back(std::move(run));
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
    platform::StopCheck stop(65536);
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
        // Mismatch: let the last star swallow one more character. A long
        // cell text may take this way pattern-length times its length.
        stop();
        if (starP == SIZE_MAX || starT >= n) return false;
        starT += unitLen(starT);
        t = starT;
        p = starP;
    }
}

RangeFinder::RangeFinder(std::shared_ptr<Workbook> book) : m_book(std::move(book))
{
    m_columnOrder.resize(m_book->sheets.size());
    m_flat[0].resize(m_book->sheets.size());
    m_flat[1].resize(m_book->sheets.size());
}

const SheetText& RangeFinder::Flat(std::size_t sheet, bool folded)
{
    FlatSheet& flat = m_flat[folded ? 1 : 0][sheet];
    if (flat.built) return flat.joined;
    // A stop while joining leaves the sheet as never joined, not half.
    struct Unfinished {
        FlatSheet& flat;
        bool done = false;
        ~Unfinished()
        {
            if (done) return;
            flat.joined = SheetText();
            flat.built = false;
        }
    } unfinished{flat};
    flat.built = true;
    platform::StopCheck stop;
    const auto& cells = m_book->sheets[sheet].cells;
    const std::size_t count = cells.size();
    // The texts lie wherever the reader put them, shared strings in no
    // order at all; asking for those of cells a little ahead lets the
    // waits for memory overlap instead of adding up.
    constexpr std::size_t kAhead = 8;
    auto fetchEntries = [&](std::size_t i) {
        if (i >= count) return;
        if (cells[i].isFormula) __builtin_prefetch(&m_book->Text(cells[i].formula));
        __builtin_prefetch(&m_book->Text(cells[i].shown));
    };
    auto fetchUnits = [&](std::size_t i) {
        if (i >= count) return;
        if (cells[i].isFormula) __builtin_prefetch(m_book->Text(cells[i].formula).data());
        __builtin_prefetch(m_book->Text(cells[i].shown).data());
    };
    // Cells may share one text (a shared string used a million times), so
    // the joined text can be far larger than the workbook's text pool; past
    // a cap for the whole workbook a sheet is searched cell by cell instead.
    const std::size_t budget = kMaxFlatUnits - m_flatUnits;
    std::size_t total = 0;
    for (std::size_t i = 0; i < count; ++i) {
        stop();
        fetchEntries(i + 2 * kAhead);
        const Cell& cell = cells[i];
        if (cell.isFormula && cell.formula != kNoText) total += m_book->Text(cell.formula).size() + 1;
        if (cell.shown != kNoText) total += m_book->Text(cell.shown).size() + 1;
        if (total > budget) {
            unfinished.done = true;
            return flat.joined;
        }
    }
    flat.joined.Start(count, total, budget);
    // Each text goes straight into the joined text, an ASCII one lowered
    // on the way; a text beyond ASCII is folded once however many cells
    // show it.
    const SheetText::As as = folded ? SheetText::As::AsciiLowered : SheetText::As::Ascii;
    auto add = [&](std::uint32_t text) {
        if (text == kNoText) return true;
        SheetText::Added added = flat.joined.Add(m_book->Text(text), as);
        if (added == SheetText::Added::NeedsPreparing) {
            added = flat.joined.Add(Prepared(text, folded), SheetText::As::Prepared);
        }
        return added == SheetText::Added::Yes;
    };
    for (std::size_t i = 0; i < count; ++i) {
        stop();
        fetchEntries(i + 2 * kAhead);
        fetchUnits(i + kAhead);
        const Cell& cell = cells[i];
        flat.joined.NextCell();
        // Folding may lengthen texts past the budget counted above.
        if ((cell.isFormula && !add(cell.formula)) || !add(cell.shown)) {
            unfinished.done = true;
            return flat.joined;
        }
    }
    flat.joined.Finish();
    m_flatUnits += flat.joined.Units();
    unfinished.done = true;
    return flat.joined;
}

std::optional<CellPos> RangeFinder::FindLiteral(std::size_t sheet, const FindPattern& pattern, CellPos start)
{
    // The needle holds no separator, so the cell a hit begins in holds it.
    const SheetText& joined = Flat(sheet, !pattern.MatchCase());
    const auto& cells = m_book->sheets[sheet].cells;
    const SheetText::Needle needle(pattern.Literal());
    // The first cell after `start` in row order.
    const auto next = std::upper_bound(cells.begin(), cells.end(), start, [](const CellPos& p, const Cell& c) {
        return p.row != c.row ? p.row < c.row : p.column < c.column;
    });
    const auto split = static_cast<std::size_t>(next - cells.begin());
    std::optional<std::size_t> hit = joined.FindCell(needle, split, cells.size());
    if (!hit) hit = joined.FindCell(needle, 0, split);
    if (!hit) return std::nullopt;
    return CellPos{cells[*hit].row, cells[*hit].column};
}

std::optional<CellPos> RangeFinder::FindByRun(std::size_t sheet, const CellArea& area, const FindPattern& pattern,
                                              const RangeFindOptions& options, CellPos start)
{
    // Only cells whose texts hold every plain run of the pattern can
    // match; the joined texts lead to those holding the run that looks
    // rarest in the sheet, and each is then tested in full, so the result
    // is the cell-by-cell search's.
    const SheetText& joined = Flat(sheet, !pattern.MatchCase());
    const auto& cells = m_book->sheets[sheet].cells;
    const std::u16string* run = nullptr;
    std::size_t runFrequency = 0;
    for (const std::u16string& candidate : pattern.Runs()) {
        const std::size_t frequency = joined.Frequency(candidate);
        if (run == nullptr || frequency < runFrequency ||
            (frequency == runFrequency && candidate.size() > run->size())) {
            run = &candidate;
            runFrequency = frequency;
        }
    }
    if (run == nullptr) return std::nullopt;
    const SheetText::Needle needle(*run);
    std::vector<std::uint8_t> memo(m_book->TextCount(), 0);
    auto matches = [&](std::size_t i) {
        const Cell& cell = cells[i];
        return area.Contains(cell.row, cell.column) && CellMatches(cell, pattern, options.lookIn, memo);
    };
    // Calls `visit` with each cell of [first, end) that holds the run, in
    // row order, until it returns true. After a holder the search goes on
    // at the next cell's texts, so a hit that ran on into them from the
    // holder's (whose own test then fails) hides no cell.
    platform::StopCheck stop(1024);
    auto eachHolder = [&](std::size_t first, std::size_t end, auto&& visit) {
        while (first < end) {
            stop();
            const std::optional<std::size_t> holder = joined.FindCell(needle, first, end);
            if (!holder || visit(*holder)) return;
            first = *holder + 1;
        }
    };
    // Cells are in row order, so only those of the area's rows are looked at.
    auto rowStart = [&](std::uint64_t row) {
        const auto it =
            std::lower_bound(cells.begin(), cells.end(), row, [](const Cell& c, std::uint64_t r) { return c.row < r; });
        return static_cast<std::size_t>(it - cells.begin());
    };
    const std::size_t first = rowStart(area.firstRow);
    const std::size_t end = std::max(first, rowStart(std::uint64_t{area.lastRow} + 1));
    const bool byColumns = options.order == FindOrder::ByColumns;
    const bool forward = options.direction == FindDirection::Next;

    if (!byColumns && forward) {
        // In row order the first match after `start` is the answer, or
        // else, wrapping around, the first match before it.
        const auto after = std::upper_bound(cells.begin(), cells.end(), start, [](const CellPos& p, const Cell& c) {
            return p.row != c.row ? p.row < c.row : p.column < c.column;
        });
        const std::size_t split = std::clamp(static_cast<std::size_t>(after - cells.begin()), first, end);
        std::optional<std::size_t> found;
        auto take = [&](std::size_t i) {
            if (!matches(i)) return false;
            found = i;
            return true;
        };
        eachHolder(split, end, take);
        if (!found) eachHolder(first, split, take);
        if (!found) return std::nullopt;
        return CellPos{cells[*found].row, cells[*found].column};
    }

    // Any other order: of all matches, the nearest after `start` in the
    // search order, or else the nearest from the start of the order. A
    // holder that cannot be nearer than the best so far is not tested.
    const std::uint64_t startKey = OrderKey(start.row, start.column, byColumns);
    auto nearer = [&](std::uint64_t a, std::uint64_t b) { return forward ? a < b : a > b; };
    std::optional<std::uint64_t> beyondKey;
    std::optional<std::uint64_t> wrappedKey;
    CellPos beyond;
    CellPos wrapped;
    eachHolder(first, end, [&](std::size_t i) {
        const Cell& cell = cells[i];
        const std::uint64_t key = OrderKey(cell.row, cell.column, byColumns);
        const bool isBeyond = forward ? key > startKey : key < startKey;
        if (isBeyond ? beyondKey && !nearer(key, *beyondKey) : beyondKey || (wrappedKey && !nearer(key, *wrappedKey)))
            return false;
        if (!matches(i)) return false;
        (isBeyond ? beyondKey : wrappedKey) = key;
        (isBeyond ? beyond : wrapped) = CellPos{cell.row, cell.column};
        return false;
    });
    if (beyondKey) return beyond;
    if (wrappedKey) return wrapped;
    return std::nullopt;
}

std::u16string_view RangeFinder::Prepared(std::uint32_t text, bool fold)
{
    const std::u16string& original = m_book->Text(text);
    if (text >= m_book->TextCount()) return original;
    std::vector<std::uint32_t>& slots = m_preparedSlot[fold ? 1 : 0];
    if (slots.size() < m_book->TextCount()) slots.resize(m_book->TextCount(), kNotPrepared);
    std::uint32_t& slot = slots[text];
    if (slot == kNotPrepared) {
        // Keep no copy of a text that preparing leaves as it is: numbers,
        // dates, lower-case words, and with case most texts at all.
        const std::size_t offset = m_preparedPool.size();
        const bool normalize = NeedsNormalizing(original, false);
        if (normalize) {
            const std::u16string normalized = PrepareForMatch(original, false, false);
            if (fold) {
                AppendFullCaseFold(normalized, m_preparedPool);
            } else {
                m_preparedPool += normalized;
            }
        } else if (fold) {
            AppendFullCaseFold(original, m_preparedPool);
        }
        const std::u16string_view prepared = std::u16string_view(m_preparedPool).substr(offset);
        if ((!normalize && !fold) || prepared == std::u16string_view(original)) {
            m_preparedPool.resize(offset);
            slot = kPreparedIsOriginal;
        } else {
            slot = static_cast<std::uint32_t>(m_preparedSpans.size());
            m_preparedSpans.push_back({offset, prepared.size()});
        }
    }
    if (slot == kPreparedIsOriginal) return original;
    const PreparedSpan& span = m_preparedSpans[slot];
    return std::u16string_view(m_preparedPool).substr(span.offset, span.length);
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
        const bool match = pattern.Matches(Prepared(text, !pattern.MatchCase()));
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

std::optional<CellPos> RangeFinder::Find(std::size_t sheet, const CellArea& area, const RangeFindOptions& options,
                                         std::optional<CellPos> after)
{
    if (sheet >= m_book->sheets.size() || options.what.empty()) return std::nullopt;
    if (options.lookIn == FindLookIn::Formulas && m_book->FormulaTextsPending()) {
        m_book->DecodeFormulaTexts();
        // Joined texts made for searches of values lack them.
        for (auto& flats : m_flat) {
            for (FlatSheet& flat : flats) flat = FlatSheet();
        }
        m_flatUnits = 0;
    }
    const FindPattern pattern(options.what, options.matchCase, options.lookAt);
    const auto& cells = m_book->sheets[sheet].cells;
    const CellPos start = after.value_or(CellPos{area.firstRow, area.firstColumn});
    // The common search (all cells, part of a cell, no wildcard, formulas
    // and values, forwards by rows) is one substring search over the sheet.
    const CellArea whole;
    if (pattern.IsLiteral() && !pattern.IsWhole() && options.lookIn == FindLookIn::Formulas &&
        options.order == FindOrder::ByRows && options.direction == FindDirection::Next &&
        area.firstRow == whole.firstRow && area.firstColumn == whole.firstColumn && area.lastRow == whole.lastRow &&
        area.lastColumn == whole.lastColumn &&
        pattern.Literal().find(SheetText::kWideSeparator) == std::u16string::npos &&
        Flat(sheet, !pattern.MatchCase()).Ready())
        return FindLiteral(sheet, pattern, start);
    // Any other pattern with plain characters is searched for them first.
    if (options.lookIn != FindLookIn::Comments && !pattern.Runs().empty() && Flat(sheet, !pattern.MatchCase()).Ready())
        return FindByRun(sheet, area, pattern, options, start);
    // A pattern of wildcards alone, or a sheet too large to join: every
    // cell is tested.
    const bool byColumns = options.order == FindOrder::ByColumns;
    const bool forward = options.direction == FindDirection::Next;
    const std::uint64_t startKey = OrderKey(start.row, start.column, byColumns);
    const std::vector<std::uint32_t>* order = byColumns ? &ColumnOrder(sheet) : nullptr;
    std::optional<CellPos> wrapped;
    std::vector<std::uint8_t> memo(m_book->TextCount(), 0);
    const std::size_t count = cells.size();
    platform::StopCheck stop(1024);
    for (std::size_t step = 0; step < count; ++step) {
        stop();
        const std::size_t k = forward ? step : count - 1 - step;
        const Cell& cell = cells[order != nullptr ? (*order)[k] : k];
        if (!area.Contains(cell.row, cell.column)) continue;
        const std::uint64_t cellKey = OrderKey(cell.row, cell.column, byColumns);
        const bool beyond = forward ? cellKey > startKey : cellKey < startKey;
        if (!beyond && wrapped) continue;  // an earlier wrap-around match is already known
        if (!CellMatches(cell, pattern, options.lookIn, memo)) continue;
        if (beyond) return CellPos{cell.row, cell.column};
        wrapped = CellPos{cell.row, cell.column};
    }
    return wrapped;
}

}  // namespace office
