// "Word.Application" of the built-in Office: the object Varnel starts by
// ProgID and Kestrel drives. It owns the documents it has open until they
// are closed or it quits; releasing it closes whatever is still open.
#pragma once

#include "office/automation/wordsession.h"
#include "platform/oleauto.h"

#include <memory>

namespace office {

class CWordApplication : public CDispatchObject {
public:
    CWordApplication();

    HRESULT Invoke(DISPID dispIdMember, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
                   EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

protected:
    ~CWordApplication() override;

private:
    HRESULT Dispatch(DISPID dispIdMember, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
                     EXCEPINFO* pExcepInfo, UINT* puArgErr);

    std::shared_ptr<CWordSession> m_session;
    bool m_visible = false;
};

// Registers "Word.Application" with the automation runtime.
void RegisterWordServer();

}  // namespace office
