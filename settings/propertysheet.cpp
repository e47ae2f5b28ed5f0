// The property-sheet dialog and its tab and button rules (see
// propertysheet.h).
#include "settings/propertysheet.h"

#include "settings/propertypage.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>

CPropertySheet::CPropertySheet(const QString& caption, QWidget* parent, int selectPage)
    : QDialog(parent), m_tabs(new QTabWidget(this)), m_startPage(selectPage)
{
    setWindowTitle(caption);
    m_ok = new QPushButton(tr("OK"), this);
    m_cancel = new QPushButton(tr("Cancel"), this);
    m_apply = new QPushButton(tr("&Apply"), this);
    m_ok->setObjectName(QStringLiteral("IDOK"));
    m_cancel->setObjectName(QStringLiteral("IDCANCEL"));
    m_apply->setObjectName(QStringLiteral("ID_APPLY_NOW"));
    m_ok->setDefault(true);
    m_apply->setEnabled(false);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_apply);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    layout->addLayout(buttons);

    connect(m_ok, &QPushButton::clicked, this, &CPropertySheet::accept);
    connect(m_cancel, &QPushButton::clicked, this, &CPropertySheet::reject);
    connect(m_apply, &QPushButton::clicked, this, [this] { ApplyAll(); });
    connect(m_tabs, &QTabWidget::currentChanged, this, &CPropertySheet::OnTabChanged);
}

void CPropertySheet::AddPage(CPropertyPage* page)
{
    if (page == nullptr) return;
    page->AttachToSheet(this);
    m_pages.push_back(page);
    const QSignalBlocker block(m_tabs);  // pages start only when the sheet is shown
    m_tabs->addTab(page, page->Title());
}

CPropertyPage* CPropertySheet::GetPage(int index) const
{
    if (index < 0 || index >= GetPageCount()) return nullptr;
    return m_pages[static_cast<std::size_t>(index)];
}

void CPropertySheet::StartPages()
{
    if (m_activePage >= 0 || m_pages.empty()) return;
    const int start = std::clamp(m_startPage, 0, GetPageCount() - 1);
    {
        const QSignalBlocker block(m_tabs);
        m_tabs->setCurrentIndex(start);
    }
    m_activePage = start;
    GetPage(start)->OnSetActive();
}

void CPropertySheet::showEvent(QShowEvent* event)
{
    StartPages();
    QDialog::showEvent(event);
}

int CPropertySheet::DoModal()
{
    StartPages();
    return exec() == QDialog::Accepted ? IDOK : IDCANCEL;
}

void CPropertySheet::SetActivePage(int index)
{
    if (index >= 0 && index < GetPageCount()) m_tabs->setCurrentIndex(index);
}

void CPropertySheet::OnTabChanged(int index)
{
    if (index == m_activePage || index < 0) return;
    if (CPropertyPage* old = GetPage(m_activePage)) old->OnKillActive();
    m_activePage = index;
    if (CPropertyPage* page = GetPage(index)) page->OnSetActive();
}

bool CPropertySheet::ApplyAll()
{
    if (CPropertyPage* active = GetPage(m_activePage)) active->OnKillActive();
    bool ok = true;
    for (CPropertyPage* page : m_pages)
        if (page->IsCreated()) ok = page->OnApply() && ok;
    PageModifiedChanged();
    return ok;
}

void CPropertySheet::PageModifiedChanged()
{
    const bool any =
        std::any_of(m_pages.begin(), m_pages.end(), [](const CPropertyPage* p) { return p->IsModified(); });
    m_apply->setEnabled(any);
}

void CPropertySheet::DetachPages()
{
    disconnect(m_tabs, nullptr, this, nullptr);
    for (CPropertyPage* page : m_pages) page->AttachToSheet(nullptr);
    m_pages.clear();
    m_activePage = -1;
}

void CPropertySheet::accept()
{
    if (ApplyAll()) QDialog::accept();
}

void CPropertySheet::reject()
{
    QDialog::reject();
}
