// Fuzz target for the Office Open XML workbook reader: the input is a zip
// package. A seed corpus of real .xlsx files lets the fuzzer reach the
// workbook, shared strings, styles and sheet parts.
//
// The budget is what a machine with 1 GB of memory gives one file (a
// quarter of it): memory past libFuzzer's limit is memory it never saw.
#include "office/containers/readbudget.h"
#include "office/excel/rangefind.h"
#include "office/excel/xlsxreader.h"

#include <cstddef>
#include <cstdint>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    office::ReadBudget budget(std::uint64_t{256} << 20);
    office::WorkbookLimits limits;
    limits.maxCells = 200000;
    limits.maxTextUnits = 4u << 20;
    limits.budget = &budget;
    auto book = std::make_shared<office::Workbook>();
    office::ReadError error;
    bool ok = false;
    try {
        ok = office::XlsxReader(limits).Read(office::ByteView(data, size), *book, error);
    } catch (const office::ReadBudgetExceeded&) {
        return 0;  // the workbook builder throws it; LoadWorkbookBytes turns it into an error
    }
    if (!ok && error.ok()) __builtin_trap();
    if (ok) {
        office::RangeFinder finder(book);
        office::RangeFindOptions options;
        options.what = u"x";
        for (std::size_t s = 0; s < book->sheets.size(); ++s) finder.Find(s, office::CellArea{}, options);
    }
    return 0;
}
