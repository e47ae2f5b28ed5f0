// COptionSheet: the modal "Option" sheet with the tabs "General" (the six
// match switches) and "File Categroy" (the four file categories). It
// changes the switches in memory only; they are stored when the program
// closes.
//
// Use: RunOptionSheet(parent) does the whole job for the Advanced menu's
// Option entry and the keyword panel's Option button (WM_SHOW_OPTIONS):
// it copies the ten switches into the pages, runs the sheet modally and
// copies the pages back whatever button closed it. Returns
// CPropertySheet::IDOK or IDCANCEL. Safe to call while a search runs.
#pragma once

#include "platform/wintypes.h"
#include "settings/optioncategory.h"
#include "settings/optiongeneral.h"
#include "settings/propertysheet.h"

class COptionSheet : public CPropertySheet {
    Q_OBJECT
public:
    COptionSheet(UINT captionId, QWidget* parent, int selectPage);
    ~COptionSheet() override;

    // The ten switches into the pages' members, and back.
    void CopyFromSwitches();
    void CopyToSwitches() const;

    COptionCategory m_pageCategory;
    COptionGeneral m_pageGeneral;
};

int RunOptionSheet(QWidget* parent);
