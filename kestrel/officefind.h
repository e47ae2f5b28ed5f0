// OfficeFind: Kestrel's only exported class. Each method searches one file
// in the Word or Excel application the caller lends it, writes which
// keywords occur into the caller's record, and returns
//    1  the file was searched (nMatchDegree and the keyword flags are valid)
//    0  the file could not be searched (no document/workbook, or an
//       automation call failed)
//   -1  Word only: another program holds the file open
//   -2  there are no keywords; nothing was opened or written
// No exception leaves a method, and no automation object obtained during a
// call stays referenced after it returns. The class has no state.
#pragma once

#include "kestrel/officerecords.h"
#include "kestrel/officewrappers.h"

#define KESTREL_API __attribute__((visibility("default")))

class KESTREL_API OfficeFind {
public:
    OfficeFind();
    ~OfficeFind();
    OfficeFind& operator=(const OfficeFind&);

    int SearchWord9(_ResultFileInfo&, const CArray<_FindKeyWord, _FindKeyWord>&, _FindedConditions, _Word9&);
    int SearchWord10(_ResultFileInfo&, const CArray<_FindKeyWord, _FindKeyWord>&, _FindedConditions, _Word10&);
    int SearchWord11(_ResultFileInfo&, const CArray<_FindKeyWord, _FindKeyWord>&, _FindedConditions, _Word11&);
    int SearchExcel9(_ResultFileInfo&, const CArray<_FindKeyWord, _FindKeyWord>&, _FindedConditions, _Excel9&);
    int SearchExcel10(_ResultFileInfo&, const CArray<_FindKeyWord, _FindKeyWord>&, _FindedConditions, _Excel10&);
    int SearchExcel11(_ResultFileInfo&, const CArray<_FindKeyWord, _FindKeyWord>&, _FindedConditions, _Excel11&);
};
