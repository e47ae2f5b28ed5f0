// Word's Documents collection: Open reads a file with the reader its bytes
// call for and makes it the active document. A file that cannot be read
// fails the call, as Word does with a damaged or protected file.
#pragma once

#include "office/automation/wordsession.h"
#include "platform/oleauto.h"

#include <memory>

namespace office {

// Open's identifiers and argument counts of the three type-library
// generations (Office 2000, XP, 2003).
constexpr DISPID kDispidDocumentsOpen9 = 0xF;
constexpr DISPID kDispidDocumentsOpen10 = 0x12;
constexpr DISPID kDispidDocumentsOpen11 = 0x13;
constexpr DISPID kDispidDocumentsCount = 0x2;

class WordDocuments : public CDispatchObject {
public:
    explicit WordDocuments(std::shared_ptr<WordSession> session);

    HRESULT Invoke(DISPID dispIdMember, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
                   EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

private:
    HRESULT Open(UINT maxArgs, DISPPARAMS* params, VARIANT* result, EXCEPINFO* info, UINT* argErr);

    std::shared_ptr<WordSession> m_session;
};

}  // namespace office
