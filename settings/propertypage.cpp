// Member exchange and change tracking of a sheet's page (see propertypage.h).
#include "settings/propertypage.h"

#include "settings/propertysheet.h"

#include <QCheckBox>
#include <QMetaProperty>

CPropertyPage::CPropertyPage(const QString& title, QWidget* parent) : QWidget(parent), m_title(title) {}

void CPropertyPage::UpdateData(bool saveAndValidate)
{
    // Showing the members is no change of the user's.
    const bool wasLoading = m_bLoading;
    m_bLoading = !saveAndValidate;
    DoDataExchange(saveAndValidate);
    m_bLoading = wasLoading;
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
    TrackChanges(box);
    return box;
}

void CPropertyPage::TrackChanges(QWidget* control)
{
    // The value's own change signal is heard rather than the click: a key
    // or an accessibility action changes the value without a click.
    const QMetaProperty value = control != nullptr ? control->metaObject()->userProperty() : QMetaProperty();
    if (!value.hasNotifySignal()) return;
    const int slot = staticMetaObject.indexOfSlot("OnControlChanged()");
    connect(control, value.notifySignal(), this, staticMetaObject.method(slot));
}

void CPropertyPage::OnControlChanged()
{
    if (!m_bLoading) SetModified(true);
}
