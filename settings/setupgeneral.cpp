// The Setup sheet's result-list switches (see setupgeneral.h).
#include "settings/setupgeneral.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QVBoxLayout>

CSetupGeneral::CSetupGeneral(QWidget* parent) : CPropertyPage(QStringLiteral("General"), parent)
{
    setObjectName(QStringLiteral("IDD_SETUP_GENERAL"));
    auto* group = new QGroupBox(QStringLiteral("Operate"), this);
    m_dcOpenFile = NewCheckBox("IDC_DC_OPEN_FILE", QStringLiteral("Double Click Open File"), group);
    m_openMultiFiles = NewCheckBox("IDC_OPEN_MULTI_FILES", QStringLiteral("Open Multi-Files"), group);
    m_openMultiDirs = NewCheckBox("IDC_OPEN_MULTI_DIRS", QStringLiteral("Open Multi-Directories"), group);

    auto* boxes = new QVBoxLayout(group);
    boxes->addWidget(m_dcOpenFile);
    boxes->addWidget(m_openMultiFiles);
    boxes->addWidget(m_openMultiDirs);
    boxes->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
}

void CSetupGeneral::DoDataExchange(bool saveAndValidate)
{
    DDX_Check(saveAndValidate, m_dcOpenFile, m_bDCOpenFile);
    DDX_Check(saveAndValidate, m_openMultiFiles, m_bOpenMultiFiles);
    DDX_Check(saveAndValidate, m_openMultiDirs, m_bOpenMultiDirs);
}
