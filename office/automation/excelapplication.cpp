// Application object of the built-in Excel (see excelapplication.h).
#include "office/automation/excelapplication.h"

#include "office/automation/excelworkbook.h"
#include "office/automation/excelworkbooks.h"
#include "platform/exceldispids.h"

namespace office {

CExcelApplication::CExcelApplication() : m_workbooks(new CExcelWorkbooks) {}

CExcelApplication::~CExcelApplication()
{
    m_workbooks->CloseAll();
    m_workbooks->Release();
}

HRESULT CExcelApplication::Invoke(DISPID dispIdMember, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                  EXCEPINFO* pExcepInfo, UINT* /*puArgErr*/)
{
    return GuardedCall(pExcepInfo, kExcelFailureTexts,
                       [&] { return Dispatch(dispIdMember, wFlags, pDispParams, pVarResult); });
}

HRESULT CExcelApplication::Dispatch(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result)
{
    const CDispArgs args(params);
    switch (id) {
    case ExcelDispid::ApplicationVisible:
    case ExcelDispid::ApplicationDisplayAlerts: {
        bool& value = id == ExcelDispid::ApplicationVisible ? m_visible : m_displayAlerts;
        if (IsPut(flags)) {
            bool b = false;
            if (args.Count() != 1 || args.IsMissing(0)) return DISP_E_BADPARAMCOUNT;
            if (!args.GetBool(0, b)) return DISP_E_TYPEMISMATCH;
            value = b;
            return S_OK;
        }
        if (!IsGet(flags)) return DISP_E_MEMBERNOTFOUND;
        if (result != nullptr) {
            VariantInit(result);
            result->vt = VT_BOOL;
            result->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
        }
        return S_OK;
    }
    case ExcelDispid::ApplicationQuit:
        if ((flags & DISPATCH_METHOD) == 0) return DISP_E_MEMBERNOTFOUND;
        if (args.Count() != 0) return DISP_E_BADPARAMCOUNT;
        // Workbooks are only read, so there is nothing to save or ask.
        m_workbooks->CloseAll();
        return S_OK;
    case ExcelDispid::ApplicationWorkbooks:
        if (!IsGet(flags)) return DISP_E_MEMBERNOTFOUND;
        m_workbooks->AddRef();
        ReturnDispatch(result, m_workbooks);
        return S_OK;
    default: return DISP_E_MEMBERNOTFOUND;
    }
}

void RegisterExcelServer()
{
    RegisterServer("Excel.Application", [] { return static_cast<IDispatch*>(new CExcelApplication); });
}

}  // namespace office
