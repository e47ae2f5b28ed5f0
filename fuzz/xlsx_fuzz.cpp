// Fuzz target for the Office Open XML workbook reader: the input is a zip
// package. A seed corpus of real .xlsx files lets the fuzzer reach the
// workbook, shared strings, styles and sheet parts.
#include "office/rangefind.h"
#include "office/xlsxreader.h"

#include <cstddef>
#include <cstdint>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    office::WorkbookLimits limits;
    limits.maxCells = 200000;
    limits.maxTextUnits = 4u << 20;
    auto book = std::make_shared<office::Workbook>();
    std::string error;
    if (office::XlsxReader(limits).Read(office::ByteView(data, size), *book, error)) {
        office::RangeFinder finder(book);
        office::RangeFindOptions options;
        options.what = u"x";
        for (std::size_t s = 0; s < book->sheets.size(); ++s) finder.Find(s, office::CellArea{}, options);
    }
    return 0;
}
