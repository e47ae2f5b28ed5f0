// Reads the workbooks of Excel 2, 3 and 4 (BIFF2, BIFF3, BIFF4), which are
// no compound files: the file itself is the record stream. A worksheet file
// holds one sheet and no name for it, so the sheet takes the name Excel
// gives it, the file's base name. An Excel 4 workbook (BIFF4W) holds its
// sheets as substreams inside its globals, each after a header record that
// names it and each with number formats of its own.
//
// Cells give their texts, numbers (shown through their number formats, so
// that dates read as dates), booleans, errors and formula results. The
// formula text of these versions is not decoded. A damaged or truncated
// stream is an error, never a silently shortened workbook.
#pragma once

#include "office/excel/workbook.h"
#include "office/text/byteview.h"

#include <string>

namespace office {

class OldBiffReader {
public:
    explicit OldBiffReader(const WorkbookLimits& limits = {});

    // Whether `bytes` begin with the BOF record of Excel 2, 3 or 4.
    static bool IsOldBiff(ByteView bytes);

    // Reads the stream in `bytes`. `sheetName` names the sheet of a
    // worksheet file. False with a reason in `error` when the stream is
    // damaged, protected, too large or holds no sheets of its own.
    bool Read(ByteView bytes, const std::u16string& sheetName, Workbook& out, ReadError& error);

private:
    WorkbookLimits m_limits;
};

}  // namespace office
