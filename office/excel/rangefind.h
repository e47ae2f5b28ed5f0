// Range.Find as the built-in Excel performs it: which cell of an area first
// matches a search text. A cell matches by what a person sees in it: a
// constant by the text the formula bar shows, a formula by its formula text
// or by the value it shows. `*` and `?` are wildcards and `~` escapes them;
// the text may match part of a cell or the whole cell, with or without
// regard to case (Unicode case folding). Texts and search text are compared
// in NFC and without format characters (soft hyphens, zero-width spaces and
// joiners), on both sides, so what looks alike matches.
#pragma once

#include "office/excel/sheettext.h"
#include "office/excel/workbook.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace office {

enum class FindLookIn { Formulas, Values, Comments };
enum class FindLookAt { Part, Whole };
enum class FindOrder { ByRows, ByColumns };
enum class FindDirection { Next, Previous };

struct RangeFindOptions {
    std::u16string what;
    FindLookIn lookIn = FindLookIn::Formulas;
    FindLookAt lookAt = FindLookAt::Part;
    FindOrder order = FindOrder::ByRows;
    FindDirection direction = FindDirection::Next;
    bool matchCase = false;
};

struct CellPos {
    std::uint32_t row = 0;
    std::uint32_t column = 0;
    bool operator==(const CellPos&) const = default;
};

// An inclusive rectangle of cells.
struct CellArea {
    std::uint32_t firstRow = 0;
    std::uint32_t firstColumn = 0;
    std::uint32_t lastRow = kMaxRows - 1;
    std::uint32_t lastColumn = kMaxColumns - 1;
    bool Contains(std::uint32_t row, std::uint32_t column) const
    {
        return row >= firstRow && row <= lastRow && column >= firstColumn && column <= lastColumn;
    }
};

// A search text compiled once: wildcards and escapes resolved, folded when
// case does not matter.
class FindPattern {
public:
    FindPattern(std::u16string_view typed, bool matchCase, FindLookAt lookAt);
    // `text` must already be folded when the pattern ignores case.
    bool Matches(std::u16string_view text) const;
    bool MatchCase() const { return m_matchCase; }
    // A pattern without wildcards matches where its literal text occurs.
    bool IsLiteral() const { return !m_wild; }
    bool IsWhole() const { return m_whole; }
    const std::u16string& Literal() const { return m_literal; }
    // The stretches of plain characters between wildcards (folded when
    // case does not matter): every text the pattern matches holds each of
    // them. None when the pattern is nothing but wildcards.
    const std::vector<std::u16string>& Runs() const { return m_runs; }

private:
    enum class Kind : std::uint8_t { Char, One, Many };
    struct Elem {
        Kind kind;
        char16_t ch;
    };
    bool Glob(std::u16string_view text) const;

    std::vector<Elem> m_elems;
    std::u16string m_literal;  // the whole pattern when it has no wildcard
    std::vector<std::u16string> m_runs;
    bool m_wild = false;
    bool m_matchCase = false;
    bool m_whole = false;
    bool m_empty = false;
};

// Searches one workbook; keeps each sheet's joined texts, the case-folded
// texts and the column-order index between calls, so that many searches of
// one workbook join and fold each text once. Formula texts a reader left
// pending are decoded by the first search that looks in formulas.
class RangeFinder {
public:
    explicit RangeFinder(std::shared_ptr<Workbook> book);

    // The first matching cell of `area` on sheet `sheet` (0-based) after
    // `after` (default: the area's top-left cell) in the search order,
    // wrapping around, or nothing. An empty search text finds nothing.
    std::optional<CellPos> Find(std::size_t sheet, const CellArea& area, const RangeFindOptions& options,
                                std::optional<CellPos> after = std::nullopt);

    const Workbook& Book() const { return *m_book; }

private:
    // All texts a sheet's cells match by, in row order, joined so that one
    // substring search over the sheet finds the first matching cell, or
    // for a wildcard pattern the few cells worth testing.
    struct FlatSheet {
        bool built = false;
        SheetText joined;  // not Ready() when the sheet is searched cell by cell
    };
    // Largest joined text of all sheets together (units, counted as if
    // all were UTF-16), well below 32-bit offsets.
    static constexpr std::size_t kMaxFlatUnits = std::size_t{64} * 1024 * 1024;

    const SheetText& Flat(std::size_t sheet, bool folded);
    std::optional<CellPos> FindLiteral(std::size_t sheet, const FindPattern& pattern, CellPos start);
    std::optional<CellPos> FindByRun(std::size_t sheet, const CellArea& area, const FindPattern& pattern,
                                     const RangeFindOptions& options, CellPos start);
    // A text as compared (see matchtext.h: NFC, without format characters,
    // folded when asked); valid until the next call.
    std::u16string_view Prepared(std::uint32_t text, bool fold);
    bool CellMatches(const Cell& cell, const FindPattern& pattern, FindLookIn lookIn, std::vector<std::uint8_t>& memo);
    const std::vector<std::uint32_t>& ColumnOrder(std::size_t sheet);

    std::shared_ptr<Workbook> m_book;
    // Prepared texts that differ from their original, one after another in
    // one pool; m_preparedSlot says per text and per folding which span of
    // the pool is its prepared form, or that it is not prepared yet, or that
    // preparing leaves it as it is.
    struct PreparedSpan {
        std::size_t offset;
        std::size_t length;
    };
    static constexpr std::uint32_t kNotPrepared = 0xFFFFFFFFu;
    static constexpr std::uint32_t kPreparedIsOriginal = 0xFFFFFFFEu;
    std::vector<std::uint32_t> m_preparedSlot[2];  // exact, folded
    std::vector<PreparedSpan> m_preparedSpans;
    std::u16string m_preparedPool;
    std::vector<std::vector<std::uint32_t>> m_columnOrder;
    std::vector<FlatSheet> m_flat[2];  // exact, folded
    std::size_t m_flatUnits = 0;
};

}  // namespace office
