// CSetupSheet: the modal "Setup" sheet with one "General" tab holding the
// three result-list switches (double-click opens, Open File and Open
// Directory with several rows). Changes stay in memory until the program
// closes.
//
// Use: RunSetupSheet(parent) for the Advanced menu's Setup entry: copies
// the three switches into the page, runs the sheet modally, copies the
// page back whatever button closed it. Returns CPropertySheet::IDOK or
// IDCANCEL.
#pragma once

#include "platform/wintypes.h"
#include "settings/propertysheet.h"
#include "settings/setupgeneral.h"

class CSetupSheet : public CPropertySheet {
    Q_OBJECT
public:
    CSetupSheet(UINT captionId, QWidget* parent, int selectPage);
    ~CSetupSheet() override;

    void CopyFromSwitches();
    void CopyToSwitches() const;

    CSetupGeneral m_pageGeneral;
};

int RunSetupSheet(QWidget* parent);
