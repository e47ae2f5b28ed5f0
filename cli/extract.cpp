// varnel-find --extract (see extract.h).
#include "cli/extract.h"

#include "office/excel/workbookloader.h"
#include "office/word/wordloader.h"
#include "platform/codepage.h"

#include <algorithm>
#include <cctype>

namespace {

// Files found through the workbook mask (*.xls matches .xls, .xlsx, .xlt,
// ...) go to the built-in Excel, as in a search.
bool IsWorkbookName(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
    std::string ext = path.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext.compare(0, 3, "xls") == 0 || ext.compare(0, 3, "xlt") == 0;
}

// A story's text with Word's marks turned into plain lines and tabs.
std::string PlainText(std::u16string_view text)
{
    std::u16string plain;
    plain.reserve(text.size());
    for (char16_t c : text) {
        switch (c) {
        case u'\r':
        case u'\v':
        case u'\f': plain.push_back(u'\n'); break;
        case u'\a': plain.push_back(u'\t'); break;
        case u'\x1E': plain.push_back(u'-'); break;
        case u'\x1F': break;
        default: plain.push_back(c);
        }
    }
    if (!plain.empty() && plain.back() != u'\n') plain.push_back(u'\n');
    return Utf16ToUtf8(plain);
}

int ExtractDocument(const std::string& path, std::FILE* out, std::FILE* err)
{
    office::WordContent content;
    office::ReadError error;
    if (!office::LoadWordFile(path, content, error)) {
        std::fprintf(err, "%s: %s\n", path.c_str(), error.detail.c_str());
        return 2;
    }
    for (const office::Story& story : content.stories) std::fputs(PlainText(story.text).c_str(), out);
    return 0;
}

int ExtractWorkbook(const std::string& path, std::FILE* out, std::FILE* err)
{
    office::Workbook book;
    office::ReadError error;
    if (!office::LoadWorkbook(path, book, error)) {
        std::fprintf(err, "%s: %s\n", path.c_str(), error.detail.c_str());
        return 2;
    }
    for (const office::Sheet& sheet : book.sheets) {
        std::fprintf(out, "[%s]\n", Utf16ToUtf8(sheet.name).c_str());
        // Cells are sorted by row, then column.
        std::size_t i = 0;
        while (i < sheet.cells.size()) {
            const std::uint32_t row = sheet.cells[i].row;
            std::string line;
            std::uint32_t column = 0;
            for (; i < sheet.cells.size() && sheet.cells[i].row == row; ++i) {
                const office::Cell& cell = sheet.cells[i];
                // Tabs for the empty cells before this one, bounded by the
                // sheet's width.
                for (; column < cell.column && column < office::kMaxColumns; ++column) line += '\t';
                if (cell.shown != office::kNoText) {
                    std::string text = Utf16ToUtf8(book.Text(cell.shown));
                    std::replace(text.begin(), text.end(), '\n', ' ');
                    std::replace(text.begin(), text.end(), '\t', ' ');
                    line += text;
                }
            }
            std::fprintf(out, "%s\n", line.c_str());
        }
    }
    return 0;
}

}  // namespace

int ExtractFile(const std::string& path, std::FILE* out, std::FILE* err)
{
    return IsWorkbookName(path) ? ExtractWorkbook(path, out, err) : ExtractDocument(path, out, err);
}
