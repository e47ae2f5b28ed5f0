// Reads Office Open XML workbooks (.xlsx, .xlsm, .xltx, .xltm) through the
// shared zip and XML utilities: the workbook part with the sheets of its
// Worksheets collection (worksheets and Excel 4 macro sheets) and their
// visibility, relationships, shared strings (rich runs joined, phonetic
// runs left out), inline strings, formulas with their cached values,
// booleans, errors, and the number formats of styles.xml that make a
// number a date.
#pragma once

#include "office/excel/workbook.h"
#include "office/text/byteview.h"

#include <string>

namespace office {

class XlsxReader {
public:
    explicit XlsxReader(const WorkbookLimits& limits = {});
    // Reads a zip package held in `bytes`. False with a reason when it is
    // no workbook, is damaged or breaks a limit.
    bool Read(ByteView bytes, Workbook& out, ReadError& error);

private:
    WorkbookLimits m_limits;
};

}  // namespace office
