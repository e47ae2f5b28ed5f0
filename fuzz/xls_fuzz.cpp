// Fuzz target for the binary workbook readers and the text workbook formats
// an ".xls" may hold. The first byte chooses whether the rest is a whole
// file (compound file, Excel 2 to 4 record stream, HTML, XML Spreadsheet
// 2003, delimited text, chosen by content as Excel does) or a bare BIFF5/8
// workbook stream, which reaches the record walker without libgsf in
// between. Whatever loads is searched once, so the find engine sees every
// kind of cell the readers make.
#include "office/biffreader.h"
#include "office/rangefind.h"
#include "office/workbookloader.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

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
        ok = office::LoadWorkbookBytes(office::ByteView(data + 1, size - 1), u"fuzz", *book, error, limits);
    }
    if (ok) {
        office::RangeFinder finder(book);
        office::RangeFindOptions options;
        options.what = u"a*1?";
        for (std::size_t s = 0; s < book->sheets.size(); ++s) finder.Find(s, office::CellArea{}, options);
    }
    return 0;
}
