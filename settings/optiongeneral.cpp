// The Option sheet's match switches (see optiongeneral.h).
#include "settings/optiongeneral.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QVBoxLayout>

COptionGeneral::COptionGeneral(QWidget* parent) : CPropertyPage(QStringLiteral("General"), parent)
{
    setObjectName(QStringLiteral("IDD_OPTION_GENERAL"));
    auto* group = new QGroupBox(QStringLiteral("Find Conditions"), this);
    m_matchCase = NewCheckBox("IDC_MATCH_CASE", QStringLiteral("Match Case"), group);
    m_matchWholeWord = NewCheckBox("IDC_MATCH_WHOLE_WORD", QStringLiteral("Match Whole Word"), group);
    m_matchWildcards = NewCheckBox("IDC_MATCH_WILDCARDS", QStringLiteral("Match Wildcards"), group);
    m_matchSoundsLike = NewCheckBox("IDC_MATCH_SOUNDS_LIKE", QStringLiteral("Match Sounds Like"), group);
    m_matchAllWordForms = NewCheckBox("IDC_MATCH_ALL_WORD_FORMS", QStringLiteral("Match All Word Forms"), group);
    m_clearSeriesSpace = NewCheckBox("IDC_CLEAR_SERIES_SPACE", QStringLiteral("Clear Series Space"), group);

    // Two columns as the boxes have always stood: case and whole word,
    // wildcards and sounds-like, then word forms and spaces on the left.
    auto* grid = new QGridLayout(group);
    grid->addWidget(m_matchCase, 0, 0);
    grid->addWidget(m_matchWholeWord, 0, 1);
    grid->addWidget(m_matchWildcards, 1, 0);
    grid->addWidget(m_matchSoundsLike, 1, 1);
    grid->addWidget(m_matchAllWordForms, 2, 0);
    grid->addWidget(m_clearSeriesSpace, 3, 0);
    grid->setRowStretch(4, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
}

void COptionGeneral::DoDataExchange(bool saveAndValidate)
{
    DDX_Check(saveAndValidate, m_matchCase, m_bMatchCase);
    DDX_Check(saveAndValidate, m_matchAllWordForms, m_bMatchAllWordForms);
    DDX_Check(saveAndValidate, m_clearSeriesSpace, m_bClearSeriesSpace);
    DDX_Check(saveAndValidate, m_matchSoundsLike, m_bMatchSoundsLike);
    DDX_Check(saveAndValidate, m_matchWholeWord, m_bMatchWholeWord);
    DDX_Check(saveAndValidate, m_matchWildcards, m_bMatchWildcards);
}
