// The built-in Excel's Application object, registered as
// "Excel.Application": Visible, DisplayAlerts, Quit and Workbooks. There is
// no window, so Visible and DisplayAlerts are only remembered.
#pragma once

#include "platform/oleauto.h"

namespace office {

class CExcelWorkbooks;

class CExcelApplication : public CDispatchObject {
public:
    CExcelApplication();

    HRESULT Invoke(DISPID dispIdMember, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
                   EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

protected:
    ~CExcelApplication() override;

private:
    HRESULT Dispatch(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result);
    CExcelWorkbooks* m_workbooks;
    bool m_visible = false;
    bool m_displayAlerts = true;
};

// Registers "Excel.Application" with the automation runtime.
void RegisterExcelServer();

}  // namespace office
