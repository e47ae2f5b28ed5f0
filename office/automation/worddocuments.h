// Word's Documents collection: Open reads a file with the reader its bytes
// call for and makes it the active document. A file that cannot be read
// fails the call, as Word does with a damaged or protected file.
#pragma once

#include "office/automation/wordsession.h"
#include "platform/oleauto.h"

#include <memory>

namespace office {

class CWordDocuments : public CDispatchObject {
public:
    explicit CWordDocuments(std::shared_ptr<CWordSession> session);

    HRESULT Invoke(DISPID dispIdMember, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
                   EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

private:
    HRESULT Open(UINT maxArgs, DISPPARAMS* params, VARIANT* result, EXCEPINFO* info, UINT* argErr);

    std::shared_ptr<CWordSession> m_session;
};

}  // namespace office
