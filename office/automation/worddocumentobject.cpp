// Document object of the built-in Word (see worddocumentobject.h).
#include "office/automation/worddocumentobject.h"

#include "office/automation/readahead.h"
#include "platform/worddispids.h"

namespace office {

CWordDocumentObject::CWordDocumentObject(std::shared_ptr<WordDocument> document, std::weak_ptr<CWordSession> session)
    : m_document(std::move(document)), m_session(std::move(session))
{
}

HRESULT CWordDocumentObject::Invoke(DISPID dispIdMember, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                    EXCEPINFO*, UINT*)
{
    if (dispIdMember != WordDispid::DocumentClose || (wFlags & DISPATCH_METHOD) == 0) return DISP_E_MEMBERNOTFOUND;
    // SaveChanges, OriginalFormat, RouteDocument: nothing is ever saved.
    if (pDispParams != nullptr && pDispParams->cArgs > 3) return DISP_E_BADPARAMCOUNT;
    // The session may hold the last reference but one: keep this object
    // alive until the call returns.
    AddRef();
    // What Find derived from this text tells the read-ahead what to derive
    // from the next ones.
    if (m_document) CReadAhead::Instance().NoteViews(*m_document);
    if (auto session = m_session.lock()) session->Remove(this);
    Release();
    if (pVarResult != nullptr) VariantInit(pVarResult);
    return S_OK;
}

}  // namespace office
