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
// is memory the budget never saw.
#include "office/biffreader.h"
#include "office/rangefind.h"
#include "office/readbudget.h"
#include "office/workbookloader.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    office::ReadBudget budget(std::uint64_t{256} << 20);
    office::WorkbookLimits limits;
    limits.maxCells = 200000;  // keep each run small; the limit path is exercised too
    limits.maxTextUnits = 4u << 20;
    limits.budget = &budget;
    auto book = std::make_shared<office::Workbook>();
    std::string error;
    bool ok = false;
    const bool bareStream = size >= 4 && data[0] == 0x09 && data[1] == 0x08;
    try {
        if (bareStream) {
            std::vector<std::uint8_t> stream(data, data + size);
            ok = office::BiffReader(limits).ReadStream(std::move(stream), *book, error);
        } else {
            ok = office::LoadWorkbookBytes(office::ByteView(data, size), u"fuzz", *book, error, limits);
        }
    } catch (const office::ReadBudgetExceeded&) {
        return 0;  // the record walker throws it; LoadWorkbookBytes turns it into an error
    }
    if (!ok && error.empty()) __builtin_trap();
    if (ok) {
        office::RangeFinder finder(book);
        office::RangeFindOptions options;
        options.what = u"a*1?";
        for (std::size_t s = 0; s < book->sheets.size(); ++s) finder.Find(s, office::CellArea{}, options);
    }
    return 0;
}
