// Member exchange and change tracking of a sheet's page (see propertypage.h).
#include "settings/propertypage.h"

#include "settings/propertysheet.h"

#include <QCheckBox>

CPropertyPage::CPropertyPage(const QString& title, QWidget* parent) : QWidget(parent), m_title(title) {}

void CPropertyPage::UpdateData(bool saveAndValidate)
{
    DoDataExchange(saveAndValidate);
}

void CPropertyPage::SetModified(bool modified)
{
    m_bModified = modified;
    if (m_sheet != nullptr) m_sheet->PageModifiedChanged();
}

void CPropertyPage::OnSetActive()
{
    // Entering a tab shows the members, which hold everything taken so far.
    UpdateData(false);
    m_bCreated = true;
}

void CPropertyPage::OnKillActive()
{
    UpdateData(true);
}

bool CPropertyPage::OnApply()
{
    UpdateData(true);
    SetModified(false);
    return true;
}

void CPropertyPage::DDX_Check(bool saveAndValidate, QCheckBox* box, int& member)
{
    if (box == nullptr) return;
    if (saveAndValidate) member = box->isChecked() ? 1 : 0;
    else box->setChecked(member != 0);
}

QCheckBox* CPropertyPage::NewCheckBox(const char* objectName, const QString& text, QWidget* parent)
{
    auto* box = new QCheckBox(text, parent);
    box->setObjectName(QString::fromLatin1(objectName));
    connect(box, &QCheckBox::clicked, this, [this] { SetModified(true); });
    return box;
}
