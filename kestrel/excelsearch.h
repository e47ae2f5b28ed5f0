// The search of one workbook in Excel, shared by the three Excel
// generations.
#pragma once

#include "kestrel/officerecords.h"
#include "kestrel/officewrappers.h"

namespace kestrel {

// Runs the whole workbook search for `generation` (9, 10 or 11) and
// returns OfficeFind's result code. Never throws.
int SearchWorkbook(_ResultFileInfo& info, const CKeywordArray& keywords, _FindedConditions conditions,
                   CExcelApplicationDriver& excel, int generation);

}  // namespace kestrel
