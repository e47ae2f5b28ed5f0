// An open document of the built-in Word as the automation client sees it.
// Close forgets it without saving: the file on disk is never written, and
// nothing a search replaced in memory survives.
#pragma once

#include "office/automation/wordsession.h"
#include "office/word/worddocument.h"
#include "platform/oleauto.h"

#include <memory>

namespace office {

class CWordDocumentObject : public CDispatchObject {
public:
    CWordDocumentObject(std::shared_ptr<WordDocument> document, std::weak_ptr<CWordSession> session);

    HRESULT Invoke(DISPID dispIdMember, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
                   EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

    const std::shared_ptr<WordDocument>& Document() const { return m_document; }

private:
    std::shared_ptr<WordDocument> m_document;
    std::weak_ptr<CWordSession> m_session;
};

}  // namespace office
