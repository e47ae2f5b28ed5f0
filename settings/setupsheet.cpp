// The Setup sheet and the Setup command (see setupsheet.h).
#include "settings/setupsheet.h"

#include "platform/stringtable.h"
#include "search/settingsstore.h"

CSetupSheet::CSetupSheet(UINT captionId, QWidget* parent, int selectPage)
    : CPropertySheet(QString::fromLocal8Bit(LoadString(captionId)), parent, selectPage)
{
    setObjectName(QStringLiteral("CSetupSheet"));
    AddPage(&m_pageGeneral);
}

CSetupSheet::~CSetupSheet()
{
    DetachPages();
}

void CSetupSheet::CopyFromSwitches()
{
    m_pageGeneral.m_bDCOpenFile = g_bDCOpenFile;
    m_pageGeneral.m_bOpenMultiFiles = g_bOpenMultiFiles;
    m_pageGeneral.m_bOpenMultiDirs = g_bOpenMultiDirs;
}

void CSetupSheet::CopyToSwitches() const
{
    g_bDCOpenFile = m_pageGeneral.m_bDCOpenFile;
    g_bOpenMultiFiles = m_pageGeneral.m_bOpenMultiFiles;
    g_bOpenMultiDirs = m_pageGeneral.m_bOpenMultiDirs;
}

int RunSetupSheet(QWidget* parent)
{
    CSetupSheet sheet(IDS_SETUP_CAPTION, parent, 0);
    sheet.CopyFromSwitches();
    const int result = sheet.DoModal();
    sheet.CopyToSwitches();
    return result;
}
