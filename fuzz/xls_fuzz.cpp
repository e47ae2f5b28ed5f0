// Fuzz target for the binary workbook readers and the text workbook formats
// an ".xls" may hold. An input that starts like a BIFF5/8 BOF record (type
// 0x0809) is a bare workbook stream and goes straight to the record walker,
// without libgsf in between; anything else is a whole file, read by content
// as Excel does (compound file, Excel 2 to 4 record stream, zip package,
// HTML, XML Spreadsheet 2003, delimited text). Whole files are taken as they
// are, so real workbooks serve as seeds unchanged. Whatever loads is
// searched once, so the find engine sees every kind of cell the readers
// make.
//
// The budget is what a machine with 1 GB of memory gives one file (a
// quarter of it): a file that would need more must be refused through the
// budget, and anything that takes the process past libFuzzer's memory limit
// is memory the budget never saw. A web page is also read with every
// attribute renamed (the path of crowded tags), which must give the same
// cells, and with the parser restarted every few elements, which must
// neither crash nor fail where one run succeeds.
#include "office/containers/readbudget.h"
#include "office/excel/biffreader.h"
#include "office/excel/rangefind.h"
#include "office/excel/workbookloader.h"
#include "office/excel/xlstextreader.h"

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
    office::ReadError error;
    const std::string_view page(reinterpret_cast<const char*>(data), size);
    r.ok = office::XlsTextReader::ReadHtml(page, u"fuzz", builder, error, html);
    if (!r.ok && error.ok()) __builtin_trap();
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
    office::ReadBudget budget(std::uint64_t{256} << 20);
    office::WorkbookLimits limits;
    limits.maxCells = 200000;  // keep each run small; the limit path is exercised too
    limits.maxTextUnits = 4u << 20;
    limits.budget = &budget;
    auto book = std::make_shared<office::Workbook>();
    office::ReadError error;
    bool ok = false;
    const bool bareStream = size >= 4 && data[0] == 0x09 && data[1] == 0x08;
    try {
        if (bareStream) {
            std::vector<std::uint8_t> stream(data, data + size);
            ok = office::BiffReader(limits).ReadStream(std::move(stream), *book, error);
        } else {
            const office::ByteView file(data, size);
            ok = office::LoadWorkbookBytes(file, u"fuzz", *book, error, limits);
            if (office::DetectWorkbookKind(file) == office::WorkbookKind::Html) CheckPage(data, size, limits);
        }
    } catch (const office::ReadBudgetExceeded&) {
        return 0;  // the record walker throws it; LoadWorkbookBytes turns it into an error
    }
    if (!ok && error.ok()) __builtin_trap();
    if (ok) {
        office::RangeFinder finder(book);
        office::RangeFindOptions options;
        options.what = u"a*1?";
        for (std::size_t s = 0; s < book->sheets.size(); ++s) finder.Find(s, office::CellArea{}, options);
    }
    return 0;
}
