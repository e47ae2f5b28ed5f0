// The Option sheet and the Option command (see optionsheet.h).
#include "settings/optionsheet.h"

#include "platform/stringtable.h"
#include "search/searchcontext.h"

COptionSheet::COptionSheet(UINT captionId, QWidget* parent, int selectPage)
    : CPropertySheet(QString::fromLocal8Bit(LoadString(captionId)), parent, selectPage)
{
    setObjectName(QStringLiteral("COptionSheet"));
    AddPage(&m_pageGeneral);
    AddPage(&m_pageCategory);
}

COptionSheet::~COptionSheet()
{
    DetachPages();
}

void COptionSheet::CopyFromSwitches()
{
    m_pageGeneral.m_bMatchCase = g_conditions.MatchCase;
    m_pageGeneral.m_bMatchWholeWord = g_conditions.MatchWholeWord;
    m_pageGeneral.m_bMatchWildcards = g_conditions.MatchWildcards;
    m_pageGeneral.m_bMatchSoundsLike = g_conditions.MatchSoundsLike;
    m_pageGeneral.m_bMatchAllWordForms = g_conditions.MatchAllWordForms;
    m_pageGeneral.m_bClearSeriesSpace = g_conditions.ClearSeriesSpace;
    m_pageCategory.m_bWordFile = g_bWordFile;
    m_pageCategory.m_bExcelFile = g_bExcelFile;
    m_pageCategory.m_bTextFile = g_bTextFile;
    m_pageCategory.m_bHtmFile = g_bHtmFile;
}

void COptionSheet::CopyToSwitches() const
{
    g_conditions.MatchCase = m_pageGeneral.m_bMatchCase;
    g_conditions.MatchWholeWord = m_pageGeneral.m_bMatchWholeWord;
    g_conditions.MatchWildcards = m_pageGeneral.m_bMatchWildcards;
    g_conditions.MatchSoundsLike = m_pageGeneral.m_bMatchSoundsLike;
    g_conditions.MatchAllWordForms = m_pageGeneral.m_bMatchAllWordForms;
    g_conditions.ClearSeriesSpace = m_pageGeneral.m_bClearSeriesSpace;
    g_bWordFile = m_pageCategory.m_bWordFile;
    g_bExcelFile = m_pageCategory.m_bExcelFile;
    g_bTextFile = m_pageCategory.m_bTextFile;
    g_bHtmFile = m_pageCategory.m_bHtmFile;
}

int RunOptionSheet(QWidget* parent)
{
    COptionSheet sheet(IDS_OPTION_CAPTION, parent, 0);
    sheet.CopyFromSwitches();
    const int result = sheet.DoModal();
    // Whatever closed the sheet: Cancel still keeps the tabs left before.
    sheet.CopyToSwitches();
    return result;
}
