// Worksheets collection of the built-in Excel (see excelworksheets.h).
#include "office/automation/excelworksheets.h"

#include "office/automation/excelworksheet.h"
#include "office/text/casefold.h"
#include "platform/cancellation.h"
#include "platform/exceldispids.h"

#include <new>

namespace office {

HRESULT CExcelWorksheets::Invoke(DISPID dispIdMember, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                 EXCEPINFO* pExcepInfo, UINT* /*puArgErr*/)
{
    return GuardedCall(pExcepInfo, kExcelFailureTexts,
                       [&] { return Dispatch(dispIdMember, wFlags, pDispParams, pVarResult, pExcepInfo); });
}

HRESULT CExcelWorksheets::Dispatch(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* info)
{
    const CDispArgs args(params);
    const auto& sheets = m_data->book->sheets;
    switch (id) {
    case ExcelDispid::WorksheetsCount:
        if (!IsGet(flags)) return DISP_E_MEMBERNOTFOUND;
        if (result != nullptr) {
            VariantInit(result);
            result->vt = VT_I4;
            result->lVal = static_cast<LONG>(sheets.size());
        }
        return S_OK;
    case ExcelDispid::WorksheetsDefault:
    case ExcelDispid::WorksheetsItem: {
        if (!IsGet(flags)) return DISP_E_MEMBERNOTFOUND;
        if (args.Count() != 1) return DISP_E_BADPARAMCOUNT;
        std::size_t index = sheets.size();
        std::u16string name;
        long number = 0;
        if (args.GetLong(0, number) && !args.IsMissing(0)) {
            if (number >= 1 && static_cast<std::size_t>(number) <= sheets.size())
                index = static_cast<std::size_t>(number - 1);
        } else if (args.GetString(0, name) && !args.IsMissing(0)) {
            // Excel finds a sheet by name without regard to case.
            const std::u16string wanted = FullCaseFold(name);
            for (std::size_t i = 0; i < sheets.size(); ++i)
                if (FullCaseFold(sheets[i].name) == wanted) {
                    index = i;
                    break;
                }
        } else {
            return DISP_E_TYPEMISMATCH;
        }
        if (index >= sheets.size()) return ReportError(info, u"Excel", u"Subscript out of range", E_INVALIDARG);
        ReturnDispatch(result, new CExcelWorksheet(m_data, index));
        return S_OK;
    }
    default: return DISP_E_MEMBERNOTFOUND;
    }
}

}  // namespace office
