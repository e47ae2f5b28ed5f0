// The built-in Excel's Worksheets collection of one workbook: Count and
// Item by 1-based index or by name. Hidden and very hidden sheets are
// members like any other.
#pragma once

#include "office/automation/excelworkbook.h"

namespace office {

class CExcelWorksheets : public CDispatchObject {
public:
    explicit CExcelWorksheets(std::shared_ptr<ExcelBookData> data) : m_data(std::move(data)) {}

    HRESULT Invoke(DISPID dispIdMember, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
                   EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

private:
    HRESULT Dispatch(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* info);
    std::shared_ptr<ExcelBookData> m_data;
};

}  // namespace office
