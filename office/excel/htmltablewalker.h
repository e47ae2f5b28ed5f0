// Turns the events of a web page's parser into the cells of one sheet, the
// way Excel lays out a page saved as a workbook: every table row (<tr>)
// that is not inside another row's cell is a sheet row, its <td> and <th>
// children are its cells, a cell's text is all the text inside it (nested
// tables included) with runs of white space folded to one space, and a
// colspan moves the next cell along. A page without table rows gives each
// line of its text as a row of its own. Cells are typed as Excel types what
// is typed in (numbers, TRUE and FALSE, else text).
//
// The parser may be restarted part way through a deep page (see
// htmlsaxparser.h): the table elements open at that point stay open here,
// "detached", and an end tag the new run cannot match closes the innermost
// detached element of that name and everything inside it, as the parser
// would have without the restart. Every event costs time independent of the
// nesting depth (amortised), and the text held for a cell or for a page
// without rows is charged to the file's memory budget, so the walk is
// linear in the page.
#pragma once

#include "office/containers/htmlevents.h"
#include "office/containers/readbudget.h"
#include "office/excel/workbook.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace office {

class HtmlTableWalker final : public HtmlEventSink {
public:
    // Cells go to the builder's current sheet.
    explicit HtmlTableWalker(WorkbookBuilder& builder);

    void StartElement(std::string_view name, const HtmlAttributes& attributes) override;
    void EndElement() override;
    void Characters(std::string_view utf8) override;
    void UnmatchedEndTag(std::string_view name) override;
    void DetachOpenElements() override;
    // A cell's text, or any text while no row has been seen.
    bool ReadsText() const override { return m_cellOpen || !m_anyRow; }
    bool Abandoned() const override { return m_builder.Failed() || !m_error.ok(); }

    // Ends whatever is still open and, for a page without rows, adds its
    // lines. False with the reason when the builder or the budget refused.
    bool Finish(ReadError& error);

private:
    // The table elements, which are all the walk looks at; others are Other.
    enum class Tag : std::uint8_t { Other, Td, Th, Tr, Table, Thead, Tbody, Tfoot, Count };
    // What an open element is to the walk: the row being read, the cell
    // being read, another table element (whose end tag may close the row
    // or cell after a restart), or nothing.
    enum class Role : std::uint8_t { None, Row, Cell, Table };
    struct Open {
        Tag tag = Tag::Other;
        Role role = Role::None;
    };

    static Tag TagOf(std::string_view name);
    bool ParentIsRow() const;
    void Leave(const Open& open);
    void CloseDetachedTop();
    void AutoCloseDetached(Tag starting);
    void StartRow();
    void FinishRow();
    void StartCell(const HtmlAttributes& attributes);
    void FinishCell();
    // Appends to a held text, charging what it grows by; false (and the walk
    // failed) when the budget refuses.
    bool Hold(std::string& text, std::string_view more);
    void AddPageLines();

    WorkbookBuilder& m_builder;
    BudgetHold m_hold;  // m_cellText and m_pageText
    ReadError m_error;  // a refusal of the budget

    std::vector<Open> m_live;
    std::size_t m_liveEnded = 0;  // m_live below this already ended with a detached element
    std::vector<Open> m_detached;
    // Positions in m_detached of each tag, innermost last.
    std::array<std::vector<std::uint32_t>, static_cast<std::size_t>(Tag::Count)> m_detachedByTag;

    bool m_restarted = false;  // a parser run after the first is reading
    bool m_anyRow = false;
    bool m_rowOpen = false;
    bool m_cellOpen = false;
    std::uint32_t m_row = 0;
    std::uint32_t m_column = 0;
    std::uint32_t m_span = 1;
    std::string m_cellText;  // UTF-8
    std::string m_pageText;  // UTF-8, until the first row
};

}  // namespace office
