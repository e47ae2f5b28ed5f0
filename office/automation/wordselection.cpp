// Selection of the built-in Word (see wordselection.h).
#include "office/automation/wordselection.h"

#include "office/automation/wordfindobject.h"
#include "platform/worddispids.h"

#include <new>

namespace office {

CWordSelection::CWordSelection(std::shared_ptr<WordDocument> document, std::shared_ptr<FindPlanCache> plans,
                               std::shared_ptr<FindCallMemo> calls)
    : m_document(std::move(document)), m_plans(std::move(plans)), m_calls(std::move(calls))
{
}

HRESULT CWordSelection::Invoke(DISPID dispIdMember, WORD wFlags, DISPPARAMS*, VARIANT* pVarResult,
                               EXCEPINFO* pExcepInfo, UINT*)
{
    if (dispIdMember != WordDispid::SelectionFind) return DISP_E_MEMBERNOTFOUND;
    if ((wFlags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD)) == 0) return DISP_E_MEMBERNOTFOUND;
    if (pVarResult == nullptr) return E_POINTER;
    CWordFindObject* find = new (std::nothrow) CWordFindObject(m_document, m_plans, m_calls);
    if (find == nullptr) return ReportError(pExcepInfo, u"Microsoft Word", u"Out of memory.", E_OUTOFMEMORY);
    VariantInit(pVarResult);
    pVarResult->vt = VT_DISPATCH;
    pVarResult->pdispVal = find;  // the caller owns the one reference
    return S_OK;
}

}  // namespace office
