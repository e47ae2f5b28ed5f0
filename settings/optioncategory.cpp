// The Option sheet's file categories (see optioncategory.h).
#include "settings/optioncategory.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QVBoxLayout>

COptionCategory::COptionCategory(QWidget* parent) : CPropertyPage(QStringLiteral("File Categroy"), parent)
{
    setObjectName(QStringLiteral("IDD_OPTION_CATEGORY"));
    auto* group = new QGroupBox(QStringLiteral("Find File Category"), this);
    m_wordFile = NewCheckBox("IDC_WORD_FILE", QStringLiteral("MS Word File"), group);
    m_excelFile = NewCheckBox("IDC_EXCEL_FILE", QStringLiteral("MS Excel File"), group);
    m_textFile = NewCheckBox("IDC_TEXT_FILE", QStringLiteral("Text File"), group);
    m_htmFile = NewCheckBox("IDC_HTM_FILE", QStringLiteral("\"htm\" and \"html\""), group);

    auto* boxes = new QVBoxLayout(group);
    boxes->addWidget(m_wordFile);
    boxes->addWidget(m_excelFile);
    boxes->addWidget(m_textFile);
    boxes->addWidget(m_htmFile);
    boxes->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
}

void COptionCategory::DoDataExchange(bool saveAndValidate)
{
    DDX_Check(saveAndValidate, m_excelFile, m_bExcelFile);
    DDX_Check(saveAndValidate, m_htmFile, m_bHtmFile);
    DDX_Check(saveAndValidate, m_textFile, m_bTextFile);
    DDX_Check(saveAndValidate, m_wordFile, m_bWordFile);
}
