// Reads Excel's binary workbooks (.xls, .xlt): BIFF8 (Excel 97 to 2003) and
// BIFF5/7 (Excel 5 and 95) from the "Workbook" or "Book" stream of the
// compound file, with our own record walker. Gathers the sheets of the
// Worksheets collection (worksheets and Excel 4 macro sheets) with their
// names and visibility, the shared strings (continued over CONTINUE
// records), every kind of value cell, formula results and formula text
// (decoded from the formula tokens, see biffformula.h), and the number
// formats that make a number a date or a percentage. A workbook encrypted
// or obfuscated with Excel's default password is decrypted; any other
// protection makes it unreadable.
#pragma once

#include "office/excel/workbook.h"
#include "office/text/byteview.h"

#include <cstdint>
#include <string>
#include <vector>

namespace office {

class BiffReader {
public:
    // With `deferFormulaTexts`, the formula texts are left to decode on
    // request (Workbook::DecodeFormulaTexts): a search of the values never
    // pays for them. The workbook then keeps the stream until they are.
    explicit BiffReader(const WorkbookLimits& limits = {}, bool deferFormulaTexts = false);

    // Reads a compound file held in `bytes`. False with a reason in `error`
    // when the file is no workbook, is damaged, protected or too large.
    bool Read(ByteView bytes, Workbook& out, ReadError& error);

    // Reads a bare workbook stream (the content of "Workbook" or "Book").
    bool ReadStream(std::vector<std::uint8_t> stream, Workbook& out, ReadError& error);

private:
    WorkbookLimits m_limits;
    bool m_deferFormulaTexts = false;
};

}  // namespace office
