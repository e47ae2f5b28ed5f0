// COptionGeneral: the "General" tab of the Option sheet, the six match
// switches in the group "Find Conditions".
#pragma once

#include "settings/propertypage.h"

class QCheckBox;

class COptionGeneral : public CPropertyPage {
    Q_OBJECT
public:
    explicit COptionGeneral(QWidget* parent = nullptr);

    int m_bMatchCase = 0;
    int m_bMatchAllWordForms = 0;
    int m_bClearSeriesSpace = 0;
    int m_bMatchSoundsLike = 0;
    int m_bMatchWholeWord = 0;
    int m_bMatchWildcards = 0;

protected:
    void DoDataExchange(bool saveAndValidate) override;

private:
    QCheckBox* m_matchCase = nullptr;
    QCheckBox* m_matchWholeWord = nullptr;
    QCheckBox* m_matchWildcards = nullptr;
    QCheckBox* m_matchSoundsLike = nullptr;
    QCheckBox* m_matchAllWordForms = nullptr;
    QCheckBox* m_clearSeriesSpace = nullptr;
};
