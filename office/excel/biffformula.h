// Turns the parsed formula of a .xls cell (Excel's tokens in reverse Polish
// order) back into the text the formula bar shows, "=SUM(A1:B2)*2", so that
// Range.Find can match a binary workbook's formulas by their text as it does
// for .xlsx, where the text is stored. Excel keeps the parentheses a person
// typed as tokens of their own and adds none, so the text is rebuilt without
// any knowledge of operator precedence.
//
// The tokens come from a hostile file: every token's size is checked before
// it is read, and a formula whose text, operand stack or token tree would
// grow past fixed caps is refused. Anything this decoder does not know (an
// unknown function, a constant array, a reference to another workbook, a
// macro command) makes the whole formula undecodable rather than wrong: the
// cell then keeps matching by its value alone.
#pragma once

#include "office/text/byteview.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace office {

// The workbook's link tables as a reader keeps them: looked up one entry at
// a time when a token needs it, so that a reader never has to lay the
// tables out per EXTERNSHEET entry or per sheet (a file lists tens of
// thousands of each, and such copies would grow with their product).
class BiffFormulaLinks {
public:
    virtual ~BiffFormulaLinks() = default;
    // The sheet part of a 3-D reference through EXTERNSHEET entry `ixti`,
    // as for BiffFormulaContext::sheetRefs.
    virtual std::optional<std::u16string> SheetRef(std::uint16_t ixti) const = 0;
    // Defined name `index` (1-based) as a formula on the reader's current
    // sheet writes it; empty when unknown.
    virtual std::u16string Name(std::uint16_t index) const = 0;
    // External name `index` (1-based) through EXTERNSHEET entry `ixti`;
    // empty when unknown.
    virtual std::u16string ExternName(std::uint16_t ixti, std::uint16_t index) const = 0;
};

// What a formula's tokens refer to outside themselves.
struct BiffFormulaContext {
    bool biff8 = true;
    // The cell that owns the formula; relative references of a shared
    // formula (ptgRefN, ptgAreaN) are offsets from it.
    std::uint32_t row = 0;
    std::uint32_t column = 0;
    // True for the tokens of a SHRFMLA record, where the relative 3-D
    // references are offsets as well.
    bool shared = false;
    // Per EXTERNSHEET entry: the sheet part of a 3-D reference as Excel
    // writes it before the "!" ("Sheet2", "'My Sheet'", "A:C"), or nothing
    // when it points outside this workbook.
    const std::vector<std::optional<std::u16string>>* sheetRefs = nullptr;
    // Defined names in NAME record order (ptgName is 1-based), each as it
    // appears in a formula on the owning sheet; empty when unknown.
    const std::vector<std::u16string>* names = nullptr;
    // Per EXTERNSHEET entry, the external names usable through ptgNameX
    // (add-in functions such as EDATE); empty when unknown.
    const std::vector<std::vector<std::u16string>>* externNames = nullptr;
    // When set, answers instead of the three tables above.
    const BiffFormulaLinks* links = nullptr;
    // Decodes an 8-bit string of a BIFF5 formula in the workbook's code page.
    std::function<std::u16string(const std::uint8_t*, std::size_t)> decode8;
};

class BiffFormulaDecoder {
public:
    // Caps on one formula: the text in UTF-16 units, the operand stack, and
    // the tokens that build it.
    static constexpr std::size_t kMaxTextUnits = 8192;
    static constexpr std::size_t kMaxStack = 1024;
    static constexpr std::size_t kMaxNodes = 16384;

    // One end of a cell reference as the tokens store it.
    struct RefEnd {
        std::uint32_t row = 0;
        std::uint32_t column = 0;
        bool rowRelative = false;
        bool columnRelative = false;
    };

    // Tokens decoded once for every cell that shows them (the cells of a
    // shared formula): the text without the references that move with the
    // cell, and those references with the places they go. Each cell then
    // costs the length of its own text, however long the tokens are.
    struct Prepared {
        struct Reference {
            std::size_t at = 0;  // where in `text` it is written
            bool area = false;
            RefEnd first;
            RefEnd last;  // of an area
        };
        std::u16string text;                // with the leading "="
        std::vector<Reference> references;  // in the order of `at`
        bool biff8 = true;

        // The formula as the cell at (row, column) shows it; nothing when
        // that is longer than kMaxTextUnits.
        std::optional<std::u16string> TextAt(std::uint32_t row, std::uint32_t column) const;
    };

    explicit BiffFormulaDecoder(const BiffFormulaContext& context);

    // The formula text with its leading "=", or nothing when the tokens are
    // damaged, too large, or hold something this decoder cannot show.
    std::optional<std::u16string> Decode(ByteView tokens) const;
    // The tokens made ready for TextAt of any cell; nothing when no cell
    // could show them. The context's row and column do not matter here.
    std::optional<Prepared> Prepare(ByteView tokens) const;

    // A1-style name of a cell ("B$2"); columns past Z go on to AA, AB, ...
    static std::u16string CellName(std::uint32_t row, std::uint32_t column, bool rowRelative, bool columnRelative);
    // A sheet name as a formula writes it before "!": quoted when it holds
    // anything but letters, digits, "_" and ".", starts with a digit or
    // reads like a cell reference.
    static std::u16string QuoteSheetName(const std::u16string& name);
    // A range of sheets ("Jan:Mar"), quoted as one when either name needs it.
    static std::u16string QuoteSheetRange(const std::u16string& first, const std::u16string& last);
    // Excel's name of a built-in function by its index, or nothing.
    static std::optional<std::u16string> FunctionName(std::uint16_t index);

private:
    BiffFormulaContext m_context;
};

}  // namespace office
