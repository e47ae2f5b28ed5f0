// The folder tree's pane (see directoryview.h).
#include "folders/directoryview.h"

#include "folders/treerefresh.h"

#include <QVBoxLayout>

CDirectoryView::CDirectoryView(QWidget* parent) : QWidget(parent), m_wndTree(new CDirectoryTree(this))
{
    m_wndTree->setObjectName(QStringLiteral("IDC_FOLDER_TREE"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_wndTree);
}

void CDirectoryView::SetDriveSource(std::function<std::vector<CDriveEntry>()> source)
{
    m_driveSource = std::move(source);
}

void CDirectoryView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // The drives are read once, when the pane first appears.
    if (m_bFirstPaint) {
        m_bFirstPaint = 0;
        if (m_driveSource) m_wndTree->FillDrives(m_driveSource());
        else m_wndTree->FillDrives();
    }
}

void CDirectoryView::Reload()
{
    if (m_bFirstPaint) return;  // nothing listed yet: the first showing reads the drives
    CTreeRefresh::Reload(*m_wndTree, [this] {
        if (m_driveSource) m_wndTree->FillDrives(m_driveSource());
        else m_wndTree->FillDrives();
    });
}
