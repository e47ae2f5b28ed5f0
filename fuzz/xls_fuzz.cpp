// Fuzz target for the binary workbook readers and the text workbook formats
// an ".xls" may hold. The first byte chooses whether the rest is a whole
// file (compound file, Excel 2 to 4 record stream, HTML, XML Spreadsheet
// 2003, delimited text, chosen by content as Excel does) or a bare BIFF5/8
// workbook stream, which reaches the record walker without libgsf in
// between. Whatever loads is searched once, so the find engine sees every
// kind of cell the readers make. A web page is also read with every
// attribute renamed (the path of crowded tags), which must give the same
// cells, and with the parser restarted every few elements, which must
// neither crash nor fail where one run succeeds.
#include "office/biffreader.h"
#include "office/rangefind.h"
#include "office/workbookloader.h"
#include "office/xlstextreader.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace {

// The cells of every sheet, in order, as one string.
std::u16string Cells(const office::Workbook& book)
{
    std::u16string out;
    for (const office::Sheet& sheet : book.sheets) {
        out += sheet.name + u'\x01';
        for (const office::Cell& c : sheet.cells) {
            out += static_cast<char16_t>(c.row & 0xFFFF);
            out += static_cast<char16_t>(c.row >> 16);
            out += static_cast<char16_t>(c.column);
            out += static_cast<char16_t>(c.kind);
            out += book.Text(c.shown) + u'\x02';
        }
    }
    return out;
}

struct PageRead {
    bool ok = false;
    std::u16string cells;
};

PageRead ReadPage(const std::uint8_t* data, std::size_t size, const office::WorkbookLimits& limits,
                  const office::HtmlReadLimits& html)
{
    PageRead r;
    office::WorkbookBuilder builder(limits);
    std::string error;
    const std::string_view page(reinterpret_cast<const char*>(data), size);
    r.ok = office::XlsTextReader::ReadHtml(page, u"fuzz", builder, error, html);
    if (!r.ok && error.empty()) __builtin_trap();
    if (r.ok) r.cells = Cells(builder.Finish());
    return r;
}

void CheckPage(const std::uint8_t* data, std::size_t size, const office::WorkbookLimits& limits)
{
    office::HtmlReadLimits none;
    none.keptAttributes = static_cast<std::size_t>(-1);
    const PageRead plain = ReadPage(data, size, limits, none);
    office::HtmlReadLimits all;
    all.keptAttributes = 0;
    const PageRead renamed = ReadPage(data, size, limits, all);
    if (renamed.ok != plain.ok || renamed.cells != plain.cells) __builtin_trap();
    office::HtmlReadLimits shallow;
    shallow.parserDepth = 8;
    if (ReadPage(data, size, limits, shallow).ok != plain.ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1) return 0;
    office::WorkbookLimits limits;
    limits.maxCells = 200000;  // keep each run small; the limit path is exercised too
    limits.maxTextUnits = 4u << 20;
    auto book = std::make_shared<office::Workbook>();
    std::string error;
    bool ok = false;
    if ((data[0] & 1) != 0) {
        std::vector<std::uint8_t> stream(data + 1, data + size);
        ok = office::BiffReader(limits).ReadStream(std::move(stream), *book, error);
    } else {
        const office::ByteView file(data + 1, size - 1);
        ok = office::LoadWorkbookBytes(file, u"fuzz", *book, error, limits);
        if (office::DetectWorkbookKind(file) == office::WorkbookKind::Html) CheckPage(data + 1, size - 1, limits);
    }
    if (ok) {
        office::RangeFinder finder(book);
        office::RangeFindOptions options;
        options.what = u"a*1?";
        for (std::size_t s = 0; s < book->sheets.size(); ++s) finder.Find(s, office::CellArea{}, options);
    }
    return 0;
}
