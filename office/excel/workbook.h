// The workbook model the built-in Excel searches: the sheets in workbook
// order with their names and visibility, and for every cell that holds
// something its value (number, text, boolean, error), whether a number is a
// date, and for a formula its text (when the reader could recover it) and
// its cached result.
//
// Cells are stored only where the file has them, and all texts live in one
// pool indexed by number, so memory follows the cells present and never a
// sheet's declared dimensions. Every reader builds the model through
// WorkbookBuilder, which enforces the caps on cells and text and charges
// what the model costs to the file's memory budget before it grows.
#pragma once

#include "office/containers/readbudget.h"
#include "office/containers/readerror.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace office {

enum class SheetVisibility : std::uint8_t { Visible, Hidden, VeryHidden };

enum class CellKind : std::uint8_t { Number, Text, Boolean, Error };

// How a number cell is shown, decided from its number format.
enum class NumberStyle : std::uint8_t { General, Date, Time, DateTime, Percent };

constexpr std::uint32_t kNoText = 0xFFFFFFFFu;

// Excel's sheet size; cells outside it are refused by the readers.
constexpr std::uint32_t kMaxRows = 1048576;
constexpr std::uint32_t kMaxColumns = 16384;

struct Cell {
    std::uint32_t row = 0;     // 0-based
    std::uint32_t column = 0;  // 0-based
    CellKind kind = CellKind::Number;
    NumberStyle style = NumberStyle::General;
    // Number value; a boolean as 0/1; an error as its BIFF error code.
    double number = 0;
    // The cell's text for CellKind::Text, otherwise kNoText.
    std::uint32_t text = kNoText;
    // Formula text as shown in the formula bar ("=A1*2"), kNoText when the
    // cell is a constant or the formula could not be decoded.
    std::uint32_t formula = kNoText;
    bool isFormula = false;
    // The text a person sees for the value (filled by Workbook::Finish).
    std::uint32_t shown = kNoText;
};

struct Sheet {
    std::u16string name;
    SheetVisibility visibility = SheetVisibility::Visible;
    // Sorted by row, then column, after Finish().
    std::vector<Cell> cells;
};

struct WorkbookLimits {
    std::size_t maxCells = 20'000'000;
    std::size_t maxTextUnits = std::size_t{256} * 1024 * 1024;  // UTF-16 units in the pool
    std::size_t maxSheets = 4096;
    // The opened file's memory budget, shared by every part of a builder
    // (not owned); none: only the caps above apply.
    ReadBudget* budget = nullptr;
};

class Workbook;

// What a reader leaves behind when it defers the formula texts of a
// workbook (decoding them can cost more than reading everything else):
// DecodeInto sets the `formula` of every formula cell of the finished model.
class FormulaTextSource {
public:
    virtual ~FormulaTextSource() = default;
    // Throws platform::OperationCancelled on Stop and ReadBudgetExceeded
    // when the texts pass the source's budget; may be called again then.
    virtual void DecodeInto(Workbook& book) = 0;
};

class Workbook {
public:
    std::vector<Sheet> sheets;
    bool date1904 = false;

    const std::u16string& Text(std::uint32_t index) const;
    std::size_t TextCount() const { return m_texts.size(); }
    std::size_t CellCount() const;

    // Formula texts the reader left to decode on request: until then the
    // formula cells have their values but no formula text.
    bool FormulaTextsPending() const { return m_formulaSource != nullptr; }
    void DeferFormulaTexts(std::shared_ptr<FormulaTextSource> source) { m_formulaSource = std::move(source); }
    // Decodes them, once; nothing when none are pending.
    void DecodeFormulaTexts();
    // Adds a text to the pool of a finished model (a deferred formula's).
    std::uint32_t AppendText(std::u16string text);

private:
    friend class WorkbookBuilder;
    std::vector<std::u16string> m_texts;
    std::shared_ptr<FormulaTextSource> m_formulaSource;
};

// Builds a Workbook while a reader walks a file, refusing what breaks the
// limits. Every Add* returns false once a limit is broken; the reader then
// stops and reports Error().
class WorkbookBuilder {
public:
    explicit WorkbookBuilder(const WorkbookLimits& limits = {});

    // Adds a sheet and makes it the current one.
    bool AddSheet(std::u16string name, SheetVisibility visibility);
    // Changes the current sheet's visibility (formats that state it late).
    void SetVisibility(SheetVisibility visibility)
    {
        if (m_current < m_book.sheets.size()) m_book.sheets[m_current].visibility = visibility;
    }

    // Adds a text to the pool and returns its index (kNoText on a limit).
    std::uint32_t AddText(std::u16string text);

    bool AddNumber(std::uint32_t row, std::uint32_t column, double value, NumberStyle style = NumberStyle::General);
    bool AddText(std::uint32_t row, std::uint32_t column, std::u16string text);
    bool AddTextIndex(std::uint32_t row, std::uint32_t column, std::uint32_t textIndex);
    bool AddBoolean(std::uint32_t row, std::uint32_t column, bool value);
    bool AddError(std::uint32_t row, std::uint32_t column, std::uint8_t code);
    // Adds any prepared cell to the current sheet; returns its position in
    // the sheet so a later record (a formula's string result) can fill it.
    bool AddCell(const Cell& cell, std::size_t* position = nullptr);
    Cell* CellAt(std::size_t position);

    void SetDate1904(bool value) { m_book.date1904 = value; }

    bool Failed() const { return !m_error.ok(); }
    const ReadError& Error() const { return m_error; }
    // The first failure stays; an empty `why` reads "damaged workbook".
    void Fail(ReadErrorKind kind, const std::string& why);
    void Fail(const ReadError& why);

    // Sorts each sheet's cells, keeps the last of duplicate cells, computes
    // every cell's shown text, and hands the model over. Throws
    // ReadBudgetExceeded when the shown texts pass the budget, and
    // platform::OperationCancelled when the search is stopped.
    Workbook Finish();

    // A builder for more sheets of this workbook that another thread may
    // fill: cells in it may refer to the texts already here (shared
    // strings), its own texts are numbered after them, and it counts
    // against the limits from what is here now.
    WorkbookBuilder Part() const;
    // Takes over the sheets and texts of a builder made by Part(), in the
    // order parts are appended, renumbering its texts after the ones added
    // here since. False (and failed) when the part failed or the whole
    // breaks a limit.
    bool Append(WorkbookBuilder&& part);

    // The file's memory budget, for what a reader holds beside the model.
    ReadBudget* Budget() const { return m_limits.budget; }

private:
    // Charges `bytes` that stay, plus `moving` bytes of an old buffer that
    // lives on while its contents move to a larger one; fails the builder
    // with the refusal when the budget has no room.
    // `sheet`: the sheet the charge is for, when it is not the current one.
    bool Charge(std::uint64_t bytes, std::uint64_t moving, const char* what, const Sheet* sheet = nullptr);
    void Moved() { m_hold.ShrinkTo(m_charged); }
    std::string SheetLabel() const;

    WorkbookLimits m_limits;
    Workbook m_book;
    std::size_t m_current = 0;
    std::size_t m_cells = 0;
    std::size_t m_textUnits = 0;
    ReadError m_error;
    // For a part: the index of its first own text, and what the whole had
    // counted when the part was made.
    std::uint32_t m_textBase = 0;
    std::size_t m_cellsBefore = 0;
    std::size_t m_textUnitsBefore = 0;
    // Memory of the cells and texts held here, and its charge.
    std::uint64_t m_charged = 0;
    BudgetHold m_hold;
};

// Excel's error texts for BIFF error codes ("#DIV/0!"); empty for an
// unknown code.
std::u16string_view ErrorText(std::uint8_t code);
// The BIFF code of an error text, or 0xFF when the text is no error.
std::uint8_t ErrorCode(std::u16string_view text);

}  // namespace office
