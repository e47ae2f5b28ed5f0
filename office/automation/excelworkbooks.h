// The built-in Excel's Workbooks collection: opens workbooks (both the
// Excel 2000 and the Excel XP/2003 form of Open) and keeps them open until
// they are closed or Excel quits.
#pragma once

#include "platform/oleauto.h"

#include <vector>

namespace office {

class CExcelWorkbook;

class CExcelWorkbooks : public CDispatchObject {
public:
    CExcelWorkbooks() = default;

    HRESULT Invoke(DISPID dispIdMember, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
                   EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

    // Closes (releases) every open workbook.
    void CloseAll();
    // Drops a closed workbook from the collection.
    void Remove(CExcelWorkbook* workbook);

protected:
    ~CExcelWorkbooks() override;

private:
    HRESULT Dispatch(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* info, UINT* argErr);
    HRESULT Open(const CDispArgs& args, UINT maxArgs, VARIANT* result, EXCEPINFO* info, UINT* argErr);
    std::vector<CExcelWorkbook*> m_open;
};

}  // namespace office
