// Web page events to sheet cells (see htmltablewalker.h).
#include "office/excel/htmltablewalker.h"

#include "office/excel/xlstextreader.h"
#include "platform/cancellation.h"
#include "platform/codepage.h"

#include <algorithm>
#include <charconv>

namespace office {

namespace {

// A cell spans at most this many columns, however wide its colspan.
constexpr unsigned kMaxSpan = 1000;

std::size_t Index(auto tag)
{
    return static_cast<std::size_t>(tag);
}

// Excel's reading of a cell: white space runs (with the no-break space)
// fold to one space, and none stands at either end.
std::u16string CollapseSpace(std::u16string_view text)
{
    std::u16string out;
    bool space = false;
    for (char16_t c : text) {
        if (c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == 0xA0) {
            space = true;
            continue;
        }
        if (space && !out.empty()) out.push_back(u' ');
        space = false;
        out.push_back(c);
    }
    return out;
}

// The columns a cell takes: its colspan's leading digits, at least one.
unsigned SpanOf(const HtmlAttributes& attributes)
{
    std::string_view value;
    unsigned n = 1;
    if (attributes.Find("colspan", value)) std::from_chars(value.data(), value.data() + value.size(), n);
    return n == 0 ? 1 : std::min(n, kMaxSpan);
}

}  // namespace

HtmlTableWalker::HtmlTableWalker(WorkbookBuilder& builder) : m_builder(builder), m_hold(builder.Budget()) {}

HtmlTableWalker::Tag HtmlTableWalker::TagOf(std::string_view name)
{
    // The parser gives names in lower case.
    if (name.size() < 2 || name.size() > 5 || name[0] != 't') return Tag::Other;
    if (name == "td") return Tag::Td;
    if (name == "th") return Tag::Th;
    if (name == "tr") return Tag::Tr;
    if (name == "table") return Tag::Table;
    if (name == "thead") return Tag::Thead;
    if (name == "tbody") return Tag::Tbody;
    if (name == "tfoot") return Tag::Tfoot;
    return Tag::Other;
}

void HtmlTableWalker::StartElement(std::string_view name, const HtmlAttributes& attributes)
{
    const Tag tag = TagOf(name);
    if (m_live.size() <= m_liveEnded && !m_detached.empty()) AutoCloseDetached(tag);
    Open open{tag, tag == Tag::Other ? Role::None : Role::Table};
    if (tag == Tag::Tr && !m_rowOpen) {
        // A row inside the cell of another row is only text of that cell.
        open.role = Role::Row;
        StartRow();
    } else if ((tag == Tag::Td || tag == Tag::Th) && m_rowOpen && !m_cellOpen && m_column < kMaxColumns &&
               ParentIsRow()) {
        open.role = Role::Cell;
        StartCell(attributes);
    }
    m_live.push_back(open);
}

// Whether an element starting now is a child of the row being read. After
// a restart only the detached table elements are known, so the innermost of
// them stands for the parent unless the current run has opened one of its
// own (that has not ended with a detached element).
bool HtmlTableWalker::ParentIsRow() const
{
    if (m_live.size() > m_liveEnded) return m_live.back().role == Role::Row;
    return !m_detached.empty() && m_detached.back().role == Role::Row;
}

void HtmlTableWalker::EndElement()
{
    if (m_live.empty()) return;
    const Open open = m_live.back();
    m_live.pop_back();
    m_liveEnded = std::min(m_liveEnded, m_live.size());
    Leave(open);
}

void HtmlTableWalker::Leave(const Open& open)
{
    if (open.role == Role::Cell) FinishCell();
    else if (open.role == Role::Row) FinishRow();
}

void HtmlTableWalker::Characters(std::string_view utf8)
{
    if (Abandoned()) return;
    if (m_cellOpen) {
        Hold(m_cellText, utf8);
    } else if (!m_anyRow && (!m_live.empty() || m_restarted)) {
        // The lines of a page without rows are the text of its elements;
        // what stands outside every element (a stray "<" before the first
        // tag) is markup debris, not a line.
        Hold(m_pageText, utf8);
    }
}

void HtmlTableWalker::UnmatchedEndTag(std::string_view name)
{
    const Tag tag = TagOf(name);
    if (tag == Tag::Other) return;
    const auto& positions = m_detachedByTag[Index(tag)];
    if (positions.empty()) return;
    const std::uint32_t target = positions.back();
    // Everything opened inside it ends with it, the current run's elements
    // too (their ends, when the parser reports them, then change nothing).
    for (std::size_t i = m_live.size(); i > m_liveEnded; --i) {
        Leave(m_live[i - 1]);
        m_live[i - 1] = Open{};
    }
    m_liveEnded = m_live.size();
    while (m_detached.size() > target) CloseDetachedTop();
}

void HtmlTableWalker::DetachOpenElements()
{
    for (const Open& open : m_live) {
        // Only table elements can end the row or the cell being read.
        if (open.role == Role::None) continue;
        m_detachedByTag[Index(open.tag)].push_back(static_cast<std::uint32_t>(m_detached.size()));
        m_detached.push_back(open);
    }
    m_live.clear();
    m_liveEnded = 0;
    m_restarted = true;
}

void HtmlTableWalker::CloseDetachedTop()
{
    const Open open = m_detached.back();
    m_detached.pop_back();
    m_detachedByTag[Index(open.tag)].pop_back();
    Leave(open);
}

// The ends the parser implies for the element open before a new one, which
// a new run cannot imply for the detached ones: a cell ends the cell before
// it, a row the row and cell before it, a table section all three.
void HtmlTableWalker::AutoCloseDetached(Tag starting)
{
    const auto cellish = [](Tag t) { return t == Tag::Td || t == Tag::Th; };
    const auto section = [](Tag t) { return t == Tag::Thead || t == Tag::Tbody || t == Tag::Tfoot; };
    while (!m_detached.empty()) {
        const Tag top = m_detached.back().tag;
        bool closes = false;
        if (cellish(starting)) closes = cellish(top);
        else if (starting == Tag::Tr) closes = cellish(top) || top == Tag::Tr;
        else if (section(starting)) closes = cellish(top) || top == Tag::Tr || section(top);
        if (!closes) return;
        CloseDetachedTop();
    }
}

void HtmlTableWalker::StartRow()
{
    m_rowOpen = true;
    m_column = 0;
    if (!m_anyRow) {
        // The page's text as lines is wanted only while no row is seen.
        m_anyRow = true;
        std::string().swap(m_pageText);
        m_hold.ShrinkTo(m_cellText.capacity());
    }
}

void HtmlTableWalker::FinishRow()
{
    if (m_cellOpen) FinishCell();
    m_rowOpen = false;
    ++m_row;
}

void HtmlTableWalker::StartCell(const HtmlAttributes& attributes)
{
    m_cellOpen = true;
    m_cellText.clear();
    m_span = SpanOf(attributes);
}

void HtmlTableWalker::FinishCell()
{
    m_cellOpen = false;
    if (!Abandoned()) XlsTextReader::AddTypedCell(m_builder, m_row, m_column, CollapseSpace(Utf8ToUtf16(m_cellText)));
    m_column += m_span;
}

bool HtmlTableWalker::Hold(std::string& text, std::string_view more)
{
    const std::size_t need = text.size() + more.size();
    if (need > text.capacity()) {
        // Grown by doubling, charged for the old buffer and the new one
        // while both live, then for what stays.
        const std::size_t others = m_cellText.capacity() + m_pageText.capacity() - text.capacity();
        const std::size_t grown = std::max(need, 2 * text.capacity());
        const std::uint64_t peak = std::uint64_t{others} + text.capacity() + grown;
        if (!m_hold.TryCover(peak)) {
            m_error = {ReadErrorKind::TooLarge, m_hold.Refusal(peak, "the text of a web page's cells")};
            return false;
        }
        text.reserve(grown);
        m_hold.ShrinkTo(std::uint64_t{others} + text.capacity());
    }
    text.append(more);
    return true;
}

void HtmlTableWalker::AddPageLines()
{
    platform::StopCheck stop(1024);
    std::string_view rest = m_pageText;
    while (!rest.empty() && !Abandoned()) {
        stop();
        const std::size_t end = std::min(rest.find('\n'), rest.size());
        const std::u16string line = CollapseSpace(Utf8ToUtf16(rest.substr(0, end)));
        if (!line.empty()) XlsTextReader::AddTypedCell(m_builder, m_row++, 0, line);
        rest.remove_prefix(std::min(end + 1, rest.size()));
    }
}

bool HtmlTableWalker::Finish(ReadError& error)
{
    while (!m_live.empty()) EndElement();
    while (!m_detached.empty()) CloseDetachedTop();
    if (!m_anyRow) AddPageLines();
    std::string().swap(m_cellText);
    std::string().swap(m_pageText);
    m_hold.Reset();
    if (!m_error.ok()) {
        error = m_error;
        return false;
    }
    if (m_builder.Failed()) {
        error = m_builder.Error();
        return false;
    }
    return true;
}

}  // namespace office
