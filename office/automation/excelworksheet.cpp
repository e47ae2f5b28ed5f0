// Worksheet object of the built-in Excel (see excelworksheet.h).
#include "office/automation/excelworksheet.h"

#include "office/automation/excelrange.h"
#include "platform/exceldispids.h"

namespace office {

HRESULT CExcelWorksheet::Invoke(DISPID dispIdMember, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                EXCEPINFO* pExcepInfo, UINT* /*puArgErr*/)
{
    return GuardedCall(pExcepInfo, kExcelFailureTexts,
                       [&] { return Dispatch(dispIdMember, wFlags, pDispParams, pVarResult); });
}

HRESULT CExcelWorksheet::Dispatch(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result)
{
    const CDispArgs args(params);
    const Sheet& sheet = m_data->book->sheets[m_sheet];
    switch (id) {
    case ExcelDispid::WorksheetSelect:
        if ((flags & DISPATCH_METHOD) == 0) return DISP_E_MEMBERNOTFOUND;
        if (args.Count() > 1) return DISP_E_BADPARAMCOUNT;
        // Nothing to show on screen; a hidden sheet is selectable so that
        // its contents are searched like any other sheet's.
        return S_OK;
    case ExcelDispid::WorksheetCells:
        if (!IsGet(flags)) return DISP_E_MEMBERNOTFOUND;
        ReturnDispatch(result, new CExcelRange(m_data, m_sheet, CellArea{}));
        return S_OK;
    case ExcelDispid::WorksheetName:
        if (!IsGet(flags)) return DISP_E_MEMBERNOTFOUND;
        if (result != nullptr) {
            VariantInit(result);
            result->vt = VT_BSTR;
            result->bstrVal = SysAllocStringFrom(sheet.name);
        }
        return S_OK;
    case ExcelDispid::WorksheetVisible:
        if (!IsGet(flags)) return DISP_E_MEMBERNOTFOUND;
        if (result != nullptr) {
            // xlSheetVisible, xlSheetHidden, xlSheetVeryHidden
            VariantInit(result);
            result->vt = VT_I4;
            result->lVal = sheet.visibility == SheetVisibility::Visible  ? -1
                           : sheet.visibility == SheetVisibility::Hidden ? 0
                                                                         : 2;
        }
        return S_OK;
    default: return DISP_E_MEMBERNOTFOUND;
    }
}

}  // namespace office
