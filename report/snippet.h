// A hit shown in a line: up to about 80 characters of the paragraph or cell
// around it, on one line, without control characters, as UTF-8 with the
// hit's byte range. What is cut off at either side is marked with an
// ellipsis, so a reader can tell a whole paragraph from a piece.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace report {

struct Snippet {
    std::string text;          // UTF-8
    std::size_t hitStart = 0;  // bytes of `text`
    std::size_t hitEnd = 0;
};

constexpr std::size_t kSnippetWidth = 80;

// `text` holds the paragraph or cell; [start, end) is the hit in it, in
// UTF-16 units (clamped to the text). Only about `width` units around the
// hit are looked at, so the cost does not grow with the paragraph.
Snippet MakeSnippet(std::u16string_view text, std::size_t start, std::size_t end, std::size_t width = kSnippetWidth);

// Where the paragraph around [start, end) of a story begins and ends
// (paragraph, cell and row ends separate paragraphs), looking no further
// than `reach` units beyond the hit on either side.
struct TextSpan16 {
    std::size_t begin = 0;
    std::size_t end = 0;
};
TextSpan16 ParagraphAround(std::u16string_view story, std::size_t start, std::size_t end, std::size_t reach);

// Whether a unit ends a paragraph in a story of the built-in Word (a
// paragraph mark, or the end of a table cell or row).
constexpr bool IsParagraphEnd(char16_t c)
{
    return c == u'\r' || c == u'\a';
}

// A cell's address as Excel writes it in a formula: the sheet name (quoted
// when it needs it), "!", the column letters and the row number, e.g.
// Budget!C12 or 'Q1 plan'!AA3. `row` and `column` count from 0.
std::string CellAddress(std::u16string_view sheet, std::uint32_t row, std::uint32_t column);

}  // namespace report
