// The built-in Excel's Worksheet object: Select (which succeeds for hidden
// and very hidden sheets too, so that they can be searched), Cells, Name
// and Visible.
#pragma once

#include "office/automation/excelworkbook.h"

namespace office {

class CExcelWorksheet : public CDispatchObject {
public:
    CExcelWorksheet(std::shared_ptr<ExcelBookData> data, std::size_t sheet) : m_data(std::move(data)), m_sheet(sheet) {}

    HRESULT Invoke(DISPID dispIdMember, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
                   EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

private:
    HRESULT Dispatch(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result);
    std::shared_ptr<ExcelBookData> m_data;
    std::size_t m_sheet;
};

}  // namespace office
