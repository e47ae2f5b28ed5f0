// Workbook object of the built-in Excel (see excelworkbook.h).
#include "office/automation/excelworkbook.h"

#include "office/automation/excelworkbooks.h"
#include "office/automation/excelworksheets.h"
#include "platform/exceldispids.h"

namespace office {

void ReturnDispatch(VARIANT* result, IDispatch* object)
{
    if (result == nullptr) {
        if (object != nullptr) object->Release();
        return;
    }
    VariantInit(result);
    result->vt = VT_DISPATCH;
    result->pdispVal = object;
}

CExcelWorkbook::CExcelWorkbook(std::shared_ptr<ExcelBookData> data, CExcelWorkbooks* owner)
    : m_data(std::move(data)), m_owner(owner)
{
}

HRESULT CExcelWorkbook::Invoke(DISPID dispIdMember, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
                               EXCEPINFO* pExcepInfo, UINT* /*puArgErr*/)
{
    return GuardedCall(pExcepInfo, kExcelFailureTexts,
                       [&] { return Dispatch(dispIdMember, wFlags, pDispParams, pVarResult, pExcepInfo); });
}

HRESULT CExcelWorkbook::Dispatch(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* /*info*/)
{
    const CDispArgs args(params);
    switch (id) {
    case ExcelDispid::WorkbookWorksheets:
        if (!IsGet(flags)) return DISP_E_MEMBERNOTFOUND;
        ReturnDispatch(result, new CExcelWorksheets(m_data));
        return S_OK;
    case ExcelDispid::WorkbookName:
        if (!IsGet(flags)) return DISP_E_MEMBERNOTFOUND;
        if (result != nullptr) {
            VariantInit(result);
            result->vt = VT_BSTR;
            result->bstrVal = SysAllocStringFrom(m_data->name);
        }
        return S_OK;
    case ExcelDispid::WorkbookClose: {
        if ((flags & DISPATCH_METHOD) == 0) return DISP_E_MEMBERNOTFOUND;
        if (args.Count() > 3) return DISP_E_BADPARAMCOUNT;
        // SaveChanges, Filename and RouteWorkbook change nothing: the
        // built-in Excel never writes a workbook.
        CExcelWorkbooks* owner = m_owner;
        m_owner = nullptr;
        if (owner != nullptr) owner->Remove(this);
        return S_OK;
    }
    default: return DISP_E_MEMBERNOTFOUND;
    }
}

}  // namespace office
