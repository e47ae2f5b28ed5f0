// Application object of the built-in Excel (see excelapplication.h).
#include "office/automation/excelapplication.h"

#include "office/automation/excelworkbook.h"
#include "office/automation/excelworkbooks.h"
#include "platform/cancellation.h"
#include "platform/exceldispids.h"

#include <new>

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
    try {
        return Dispatch(dispIdMember, wFlags, pDispParams, pVarResult);
    } catch (const std::bad_alloc&) {
        return ReportError(pExcepInfo, u"Excel", u"Not enough memory.", E_OUTOFMEMORY);
    } catch (const platform::OperationCancelled&) {
        return ReportError(pExcepInfo, u"Excel", u"The search was stopped.", E_ABORT);
    } catch (...) {
        return ReportError(pExcepInfo, u"Excel", u"Internal error.", E_UNEXPECTED);
    }
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
