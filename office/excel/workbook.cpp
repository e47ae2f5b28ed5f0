// Workbook model and its limit-checking builder (see workbook.h).
#include "office/excel/workbook.h"

#include "office/excel/cellformat.h"
#include "platform/cancellation.h"
#include "platform/codepage.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <utility>

namespace office {

namespace {

struct ErrorName {
    std::uint8_t code;
    std::u16string_view text;
};

constexpr std::array<ErrorName, 7> kErrors{{
    {0x00, u"#NULL!"},
    {0x07, u"#DIV/0!"},
    {0x0F, u"#VALUE!"},
    {0x17, u"#REF!"},
    {0x1D, u"#NAME?"},
    {0x24, u"#NUM!"},
    {0x2A, u"#N/A"},
}};

const std::u16string kEmpty;

// What a pooled text costs: its string object, and its characters when they
// do not fit in the object itself.
std::uint64_t TextBytes(const std::u16string& text)
{
    constexpr std::size_t kInPlace = 16 / sizeof(char16_t) - 1;
    return sizeof(std::u16string) + (text.capacity() > kInPlace ? (text.capacity() + 1) * sizeof(char16_t) : 0);
}

}  // namespace

std::u16string_view ErrorText(std::uint8_t code)
{
    for (const auto& e : kErrors)
        if (e.code == code) return e.text;
    return {};
}

std::uint8_t ErrorCode(std::u16string_view text)
{
    for (const auto& e : kErrors)
        if (e.text == text) return e.code;
    return 0xFF;
}

const std::u16string& Workbook::Text(std::uint32_t index) const
{
    return index < m_texts.size() ? m_texts[index] : kEmpty;
}

void Workbook::DecodeFormulaTexts()
{
    if (!m_formulaSource) return;
    // Kept until it has finished: a stop in the middle leaves it to be
    // asked again.
    m_formulaSource->DecodeInto(*this);
    m_formulaSource.reset();
}

std::uint32_t Workbook::AppendText(std::u16string text)
{
    if (m_texts.size() >= kNoText) return kNoText;
    m_texts.push_back(std::move(text));
    return static_cast<std::uint32_t>(m_texts.size() - 1);
}

std::size_t Workbook::CellCount() const
{
    std::size_t n = 0;
    for (const auto& s : sheets) n += s.cells.size();
    return n;
}

WorkbookBuilder::WorkbookBuilder(const WorkbookLimits& limits) : m_limits(limits), m_hold(limits.budget) {}

bool WorkbookBuilder::Charge(std::uint64_t bytes, std::uint64_t moving, const char* what, const Sheet* sheet)
{
    if (m_hold.TryCover(m_charged + bytes + moving)) {
        m_charged += bytes;
        return true;
    }
    const std::string label = sheet != nullptr ? " of sheet '" + Utf16ToUtf8(sheet->name) + "'" : SheetLabel();
    Fail(ReadErrorKind::TooLarge, m_hold.Refusal(m_charged + bytes + moving, what + label));
    return false;
}

std::string WorkbookBuilder::SheetLabel() const
{
    if (m_current >= m_book.sheets.size()) return {};
    return " of sheet '" + Utf16ToUtf8(m_book.sheets[m_current].name) + "'";
}

void WorkbookBuilder::Fail(ReadErrorKind kind, const std::string& why)
{
    if (m_error.ok()) m_error = {kind, why.empty() ? std::string("damaged workbook") : why};
}

void WorkbookBuilder::Fail(const ReadError& why)
{
    Fail(why.kind, why.detail);
}

bool WorkbookBuilder::AddSheet(std::u16string name, SheetVisibility visibility)
{
    if (Failed()) return false;
    if (m_book.sheets.size() >= m_limits.maxSheets) {
        Fail(ReadErrorKind::TooLarge, "too many sheets");
        return false;
    }
    Sheet sheet;
    sheet.name = std::move(name);
    sheet.visibility = visibility;
    m_book.sheets.push_back(std::move(sheet));
    m_current = m_book.sheets.size() - 1;
    return true;
}

std::uint32_t WorkbookBuilder::AddText(std::u16string text)
{
    if (Failed()) return kNoText;
    if (text.size() > m_limits.maxTextUnits - m_textUnits ||
        m_book.m_texts.size() >= std::size_t{kNoText} - 1 - m_textBase) {
        Fail(ReadErrorKind::TooLarge, "too much text");
        return kNoText;
    }
    auto& texts = m_book.m_texts;
    const std::uint64_t moving = texts.size() == texts.capacity() ? texts.size() * sizeof(std::u16string) : 0;
    if (!Charge(TextBytes(text), moving, "the texts")) return kNoText;
    m_textUnits += text.size();
    texts.push_back(std::move(text));
    if (moving != 0) Moved();
    return static_cast<std::uint32_t>(m_textBase + texts.size() - 1);
}

bool WorkbookBuilder::AddCell(const Cell& cell, std::size_t* position)
{
    if (Failed()) return false;
    if (m_current >= m_book.sheets.size()) {
        Fail(ReadErrorKind::Damaged, "cell outside a sheet");
        return false;
    }
    if (cell.row >= kMaxRows || cell.column >= kMaxColumns) {
        Fail(ReadErrorKind::Damaged, "cell outside the sheet's grid");
        return false;
    }
    if (m_cells >= m_limits.maxCells) {
        Fail(ReadErrorKind::TooLarge, "too many cells");
        return false;
    }
    auto& cells = m_book.sheets[m_current].cells;
    const std::uint64_t moving = cells.size() == cells.capacity() ? cells.size() * sizeof(Cell) : 0;
    if (!Charge(sizeof(Cell), moving, "the cells")) return false;
    cells.push_back(cell);
    if (moving != 0) Moved();
    ++m_cells;
    if (position != nullptr) *position = cells.size() - 1;
    return true;
}

Cell* WorkbookBuilder::CellAt(std::size_t position)
{
    if (m_current >= m_book.sheets.size()) return nullptr;
    auto& cells = m_book.sheets[m_current].cells;
    return position < cells.size() ? &cells[position] : nullptr;
}

bool WorkbookBuilder::AddNumber(std::uint32_t row, std::uint32_t column, double value, NumberStyle style)
{
    Cell c;
    c.row = row;
    c.column = column;
    c.kind = CellKind::Number;
    c.number = value;
    c.style = style;
    return AddCell(c);
}

bool WorkbookBuilder::AddText(std::uint32_t row, std::uint32_t column, std::u16string text)
{
    if (text.empty()) return !Failed();  // an empty text is an empty cell
    const std::uint32_t index = AddText(std::move(text));
    if (index == kNoText) return false;
    return AddTextIndex(row, column, index);
}

bool WorkbookBuilder::AddTextIndex(std::uint32_t row, std::uint32_t column, std::uint32_t textIndex)
{
    Cell c;
    c.row = row;
    c.column = column;
    c.kind = CellKind::Text;
    c.text = textIndex;
    return AddCell(c);
}

bool WorkbookBuilder::AddBoolean(std::uint32_t row, std::uint32_t column, bool value)
{
    Cell c;
    c.row = row;
    c.column = column;
    c.kind = CellKind::Boolean;
    c.number = value ? 1 : 0;
    return AddCell(c);
}

bool WorkbookBuilder::AddError(std::uint32_t row, std::uint32_t column, std::uint8_t code)
{
    Cell c;
    c.row = row;
    c.column = column;
    c.kind = CellKind::Error;
    c.number = code;
    return AddCell(c);
}

WorkbookBuilder WorkbookBuilder::Part() const
{
    WorkbookBuilder part(m_limits);
    part.m_book.date1904 = m_book.date1904;
    part.m_textBase = static_cast<std::uint32_t>(m_textBase + m_book.m_texts.size());
    part.m_cells = part.m_cellsBefore = m_cells;
    part.m_textUnits = part.m_textUnitsBefore = m_textUnits;
    part.m_error = m_error;
    return part;
}

bool WorkbookBuilder::Append(WorkbookBuilder&& part)
{
    if (part.Failed()) Fail(part.Error());
    if (Failed()) return false;
    const std::size_t cells = part.m_cells - part.m_cellsBefore;
    const std::size_t units = part.m_textUnits - part.m_textUnitsBefore;
    const std::size_t base = m_textBase + m_book.m_texts.size();
    if (part.m_book.sheets.size() > m_limits.maxSheets - m_book.sheets.size()) {
        Fail(ReadErrorKind::TooLarge, "too many sheets");
        return false;
    }
    if (cells > m_limits.maxCells - m_cells) {
        Fail(ReadErrorKind::TooLarge, "too many cells");
        return false;
    }
    if (units > m_limits.maxTextUnits - m_textUnits || part.m_book.m_texts.size() > std::size_t{kNoText} - 1 - base) {
        Fail(ReadErrorKind::TooLarge, "too much text");
        return false;
    }
    // Texts that were here when the part was made keep their numbers; the
    // part's own move to the end of the pool as it stands now.
    const auto renumber = [&](std::uint32_t& index) {
        if (index != kNoText && index >= part.m_textBase)
            index = static_cast<std::uint32_t>(index - part.m_textBase + base);
    };
    // The part's cells and texts become this builder's, and so does their
    // charge; the pool's larger buffer is charged while the old one lives.
    auto& texts = m_book.m_texts;
    const std::size_t added = part.m_book.m_texts.size();
    const std::uint64_t moving =
        (texts.capacity() - texts.size() < added ? texts.size() + added : added) * sizeof(std::u16string);
    if (!Charge(0, moving, "the texts", part.m_book.sheets.empty() ? nullptr : &part.m_book.sheets.front()))
        return false;
    m_hold.Absorb(part.m_hold);
    m_charged += std::exchange(part.m_charged, 0);
    platform::StopCheck stop;
    for (Sheet& sheet : part.m_book.sheets) {
        for (Cell& cell : sheet.cells) {
            stop();
            renumber(cell.text);
            renumber(cell.formula);
            renumber(cell.shown);
        }
        m_book.sheets.push_back(std::move(sheet));
    }
    texts.insert(texts.end(), std::make_move_iterator(part.m_book.m_texts.begin()),
                 std::make_move_iterator(part.m_book.m_texts.end()));
    std::vector<std::u16string>().swap(part.m_book.m_texts);
    Moved();
    m_cells += cells;
    m_textUnits += units;
    if (!m_book.sheets.empty()) m_current = m_book.sheets.size() - 1;
    return true;
}

Workbook WorkbookBuilder::Finish()
{
    platform::StopCheck stop;
    for (std::size_t index = 0; index < m_book.sheets.size(); ++index) {
        m_current = index;
        auto& cells = m_book.sheets[index].cells;
        // Stable so that of two records for one cell the later one wins.
        // Writers store cells in order, so the sort is usually skipped; when
        // it is not, its buffer of up to one copy of the cells is charged.
        // The stop request is looked at even from inside the sort (the
        // workbook is thrown away then, so the order it leaves is no matter).
        const auto before = [&stop](const Cell& a, const Cell& b) {
            stop();
            return a.row != b.row ? a.row < b.row : a.column < b.column;
        };
        if (!std::is_sorted(cells.begin(), cells.end(), before)) {
            platform::ThrowIfStopRequested();
            BudgetHold buffer(m_limits.budget);
            buffer.Add(cells.size() * sizeof(Cell), "sorting the cells" + SheetLabel());
            std::stable_sort(cells.begin(), cells.end(), before);
        }
        std::size_t out = 0;
        for (std::size_t i = 0; i < cells.size(); ++i) {
            stop();
            if (out > 0 && cells[out - 1].row == cells[i].row && cells[out - 1].column == cells[i].column)
                cells[out - 1] = cells[i];
            else cells[out++] = cells[i];
        }
        cells.resize(out);
        if (cells.capacity() != cells.size()) {
            // The smaller copy is made before the larger one goes.
            BudgetHold copy(m_limits.budget);
            copy.Add(cells.size() * sizeof(Cell), "the cells" + SheetLabel());
            cells.shrink_to_fit();
        }
    }
    // Shown texts of non-text cells go into the pool once per cell; a text
    // cell shows its own text. Reserving first spares the pool's growth
    // from moving a million strings several times over.
    // A reader may have set a number's shown text already (from the text
    // the file writes, when General shows exactly that).
    std::size_t shownTexts = 0;
    for (const auto& sheet : m_book.sheets)
        for (const auto& cell : sheet.cells) shownTexts += cell.kind == CellKind::Text || cell.shown != kNoText ? 0 : 1;
    auto& texts = m_book.m_texts;
    if (!Charge(shownTexts * sizeof(std::u16string), texts.size() * sizeof(std::u16string), "the shown values"))
        throw ReadBudgetExceeded(m_error.detail);
    texts.reserve(texts.size() + shownTexts);
    Moved();
    // Formatting millions of numbers takes seconds: Stop is looked for.
    for (std::size_t index = 0; index < m_book.sheets.size(); ++index) {
        m_current = index;
        for (auto& cell : m_book.sheets[index].cells) {
            stop();
            if (cell.kind == CellKind::Text) {
                cell.shown = cell.text;
                continue;
            }
            if (cell.shown != kNoText) continue;
            std::u16string shown = ShownValue(cell, m_book.date1904);
            // The string object was charged with the reserve.
            if (!Charge(TextBytes(shown) - sizeof(std::u16string), 0, "the shown values"))
                throw ReadBudgetExceeded(m_error.detail);
            cell.shown = static_cast<std::uint32_t>(m_textBase + texts.size());
            texts.push_back(std::move(shown));
        }
    }
    return std::move(m_book);
}

}  // namespace office
