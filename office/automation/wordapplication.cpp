// Application object of the built-in Word (see wordapplication.h).
#include "office/automation/wordapplication.h"

#include "office/automation/worddocuments.h"
#include "office/automation/wordselection.h"
#include "platform/worddispids.h"

#include <new>

namespace office {

namespace {

HRESULT ReturnObject(VARIANT* result, IDispatch* object)
{
    VariantInit(result);
    result->vt = VT_DISPATCH;
    result->pdispVal = object;
    return S_OK;
}

bool IsGet(WORD flags)
{
    return (flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD)) != 0;
}

}  // namespace

CWordApplication::CWordApplication() : m_session(std::make_shared<CWordSession>()) {}

CWordApplication::~CWordApplication()
{
    m_session->CloseAll();
}

HRESULT CWordApplication::Invoke(DISPID dispIdMember, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                 EXCEPINFO* pExcepInfo, UINT* puArgErr)
{
    const CServerFailureTexts texts{u"Microsoft Word", u"Out of memory.", u"The command could not be carried out."};
    return GuardedCall(pExcepInfo, texts,
                       [&] { return Dispatch(dispIdMember, wFlags, pDispParams, pVarResult, pExcepInfo, puArgErr); });
}

HRESULT CWordApplication::Dispatch(DISPID dispIdMember, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                   EXCEPINFO*, UINT* puArgErr)
{
    CDispArgs args(pDispParams);
    switch (dispIdMember) {
    case WordDispid::ApplicationVisible:
        if ((wFlags & DISPATCH_PROPERTYPUT) != 0) {
            bool visible = false;
            if (args.Count() != 1) return DISP_E_BADPARAMCOUNT;
            if (!args.GetBool(0, visible)) {
                if (puArgErr != nullptr) *puArgErr = 0;
                return DISP_E_TYPEMISMATCH;
            }
            // There is no window to show; the setting is only remembered.
            m_visible = visible;
            return S_OK;
        }
        if (!IsGet(wFlags)) return DISP_E_MEMBERNOTFOUND;
        if (pVarResult == nullptr) return E_POINTER;
        VariantInit(pVarResult);
        pVarResult->vt = VT_BOOL;
        pVarResult->boolVal = m_visible ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    case WordDispid::ApplicationQuit:
        // SaveChanges, OriginalFormat, RouteDocument: nothing is ever saved.
        if ((wFlags & DISPATCH_METHOD) == 0) return DISP_E_MEMBERNOTFOUND;
        if (args.Count() > 3) return DISP_E_BADPARAMCOUNT;
        m_session->CloseAll();
        if (pVarResult != nullptr) VariantInit(pVarResult);
        return S_OK;
    case WordDispid::ApplicationDocuments:
        if (!IsGet(wFlags)) return DISP_E_MEMBERNOTFOUND;
        if (pVarResult == nullptr) return E_POINTER;
        return ReturnObject(pVarResult, new CWordDocuments(m_session));
    case WordDispid::ApplicationSelection: {
        if (!IsGet(wFlags)) return DISP_E_MEMBERNOTFOUND;
        if (pVarResult == nullptr) return E_POINTER;
        auto active = m_session->ActiveDocument();
        // No document open: Word answers Nothing.
        return ReturnObject(
            pVarResult,
            active ? new CWordSelection(std::move(active), m_session->Plans(), m_session->Calls()) : nullptr);
    }
    default: return DISP_E_MEMBERNOTFOUND;
    }
}

void RegisterWordServer()
{
    RegisterServer("Word.Application", []() -> IDispatch* {
        try {
            return new CWordApplication();
        } catch (const std::bad_alloc&) {
            return nullptr;  // the runtime reports a failed creation
        }
    });
}

}  // namespace office
