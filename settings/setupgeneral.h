// CSetupGeneral: the one "General" tab of the Setup sheet, the three
// result-list switches in the group "Operate".
#pragma once

#include "settings/propertypage.h"

class QCheckBox;

class CSetupGeneral : public CPropertyPage {
    Q_OBJECT
public:
    explicit CSetupGeneral(QWidget* parent = nullptr);

    int m_bDCOpenFile = 0;
    int m_bOpenMultiFiles = 0;
    int m_bOpenMultiDirs = 0;

protected:
    void DoDataExchange(bool saveAndValidate) override;

private:
    QCheckBox* m_dcOpenFile = nullptr;
    QCheckBox* m_openMultiFiles = nullptr;
    QCheckBox* m_openMultiDirs = nullptr;
};
