// COptionCategory: the "File Categroy" tab of the Option sheet (the tab's
// text is spelt as the program has always shown it), the four kinds of
// files to search in the group "Find File Category".
#pragma once

#include "settings/propertypage.h"

class QCheckBox;

class COptionCategory : public CPropertyPage {
    Q_OBJECT
public:
    explicit COptionCategory(QWidget* parent = nullptr);

    int m_bExcelFile = 0;
    int m_bHtmFile = 0;
    int m_bTextFile = 0;
    int m_bWordFile = 0;

protected:
    void DoDataExchange(bool saveAndValidate) override;

private:
    QCheckBox* m_wordFile = nullptr;
    QCheckBox* m_excelFile = nullptr;
    QCheckBox* m_textFile = nullptr;
    QCheckBox* m_htmFile = nullptr;
};
